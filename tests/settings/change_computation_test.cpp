#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/closing_notice.h"
#include "app/texts.h"
#include "settings/reference_comparison.h"
#include "settings/speed_settings.h"
#include "tests/support/settings_file_test.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

// Registers 9, 5, 2, 3; every light holds the given shutter and HBlank.
MemoryLayout uniformLayout(int lights, uint16_t shutter, uint16_t hblank, bool halfClock = false) {
    MemoryLayout layout;
    layout.halfClock = halfClock;
    for (int i = 0; i < lights; ++i) layout.lights.push_back({uint16_t(0xA0 + i), shutter, hblank, 2, 3});
    return layout;
}

class ChangeTest : public SimDeviceTest {
protected:
    void startWith(const MemoryLayout& layout) {
        reader.addDevice(device(layout));
        ASSERT_TRUE(discover());
    }
    void setControls(bool halfClock, uint16_t hblank) { choice = OperatorChoice{halfClock, hblank}; }
    std::string storeOne() {
        messageLog().clear();
        storeDeviceChange(record(), choice);
        return logText();
    }
    OperatorChoice choice;
};

TEST_F(ChangeTest, EqualControlsChangeNothing) {
    startWith(uniformLayout(2, 1000, 300));
    setControls(false, 300);
    EXPECT_EQ(storeOne(), "Store -> device: TYPE1\r\nNo changes\r\n");
    EXPECT_TRUE(laterRequests().empty());
}

TEST_F(ChangeTest, OnlyHBlankLeavesShuttersAndHeader) {
    startWith(uniformLayout(3, 1000, 300));
    const auto before = reader.memory(0);
    setControls(false, 0x155);
    const std::string log = storeOne();
    EXPECT_EQ(log.rfind("Store -> device: TYPE1\r\nWrite register adresses...OK\r\n", 0), 0u) << log;
    const auto memory = reader.memory(0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lightWord(memory, i, 2), 0x155);
        EXPECT_EQ(lightWord(memory, i, 1), 1000);
    }
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 16, memory.begin()));
    EXPECT_EQ(record().values.hblank, 0x155);
}

struct HalfClockCase {
    const char* name;
    bool from;
    bool to;
    uint16_t hblankBefore;
    uint16_t hblankAfter;
    uint16_t shutterBefore;
    uint16_t shutterAfter;
};

class ChangeHalfClockTest : public ChangeTest, public ::testing::WithParamInterface<HalfClockCase> {};

TEST_P(ChangeHalfClockTest, ShutterKeepsTheExposure) {
    const HalfClockCase& change = GetParam();
    startWith(uniformLayout(2, change.shutterBefore, change.hblankBefore, change.from));
    setControls(change.to, change.hblankAfter);
    const std::string log = storeOne();
    EXPECT_NE(log.find("Refresh header info ...OK\r\nChecks writing...OK\r\n"), std::string::npos) << log;

    const auto memory = reader.memory(0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(lightWord(memory, i, 1), change.shutterAfter);
        EXPECT_EQ(lightWord(memory, i, 2), change.hblankAfter);
    }
    // Switching either way leaves the first flag set; the second tells the mode.
    EXPECT_EQ(headerByte(memory, 3) & 0x40, 0x40);
    EXPECT_EQ(headerByte(memory, 13) & 0x01, change.to ? 0x01 : 0x00);
    EXPECT_EQ(record().values.halfClock, change.to ? 1 : 0);
    EXPECT_EQ(record().values.lights[1].words[1], change.shutterAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, ChangeHalfClockTest,
    ::testing::Values(HalfClockCase{"OnAtEqualHBlank", false, true, 0x100, 0x100, 1001, 500},
                      HalfClockCase{"OnWhileHBlankDoubles", false, true, 256, 512, 1000, 456},
                      HalfClockCase{"OffAtEqualHBlank", true, false, 300, 300, 700, 1400}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChangeTest, MissingHBlankRegisterIsAppendedAndFoundAfterRestart) {
    MemoryLayout layout;
    layout.addresses = {9, 2, 3, 4};
    layout.lights = {{0, 800, 1, 2, 3}, {0, 801, 1, 2, 3}};
    startWith(layout);
    setControls(false, 0x200);
    storeOne();
    const auto memory = reader.memory(0);
    EXPECT_EQ(headerByte(memory, 4), 5);
    EXPECT_EQ(memory[16 + 4], 5);
    EXPECT_EQ(lightWord(memory, 1, 5), 0x200);
    EXPECT_EQ(lightWord(memory, 1, 1), 801);

    ASSERT_TRUE(restart());
    EXPECT_EQ(record().values.addressCount, 5);
    EXPECT_EQ(record().values.hblankIndex, 4);
    EXPECT_EQ(record().values.hblank, 0x200);
    setControls(false, 0x200);
    EXPECT_EQ(storeOne(), "Store -> device: TYPE1\r\nNo changes\r\n");
}

TEST_F(ChangeTest, FullAddressListGetsNoHBlankRegister) {
    MemoryLayout layout;
    layout.addresses = {9, 1, 2, 3, 4, 6, 7};
    layout.lights = {{0, 800, 1, 2, 3, 4, 6, 7}};
    startWith(layout);
    setControls(false, 0x200);
    const std::string log = storeOne();
    EXPECT_EQ(log.rfind("Store -> device: TYPE1\r\n", 0), 0u);
    EXPECT_NE(log.find("nothing written"), std::string::npos) << log;
    EXPECT_TRUE(laterRequests().empty());
}

TEST_F(ChangeTest, ShutterBeyond16BitsIsRefusedAndTheNextDeviceStillStored) {
    reader.addDevice(device(uniformLayout(2, 40000, 300, true), "ZEB-A1"));
    reader.addDevice(device(uniformLayout(2, 1000, 300, true), "KYT-A1"));
    ASSERT_TRUE(discover());
    ASSERT_EQ(appState().openCount, 2);
    setControls(false, 300);
    messageLog().clear();
    const OperationSummary summary = appState().storeChanges(choice);
    const std::string log = logText();
    EXPECT_NE(log.find("light 0 would become 80000"), std::string::npos) << log;
    EXPECT_EQ(storeClosingNotice(appState(), {true, summary}),
              std::string(kRestartNotice) + "\n\nZEB-A1 was not changed: the change was refused (see the log).");
    EXPECT_EQ(lightWord(reader.memory(0), 0, 1), 40000);
    EXPECT_EQ(lightWord(reader.memory(1), 0, 1), 2000);
}

TEST(ChangeComputation, ShutterOf65535StillFitsOneAboveIsRefused) {
    // Half Clock off and HBlank 104 -> 103: shutter x 2 x 2521 / 2520.
    struct Case {
        uint16_t shutter;
        ChangePlan::Outcome outcome;
        uint16_t stored;
    };
    for (Case c : {Case{32755, ChangePlan::Outcome::Change, 65535}, Case{32756, ChangePlan::Outcome::Refused, 32756}}) {
        SpeedValues current = makeValues(true, {9, 5}, {{1, c.shutter, 104}});
        OperatorChoice choice;
        choice.halfClock = false;
        choice.hblank = 103;
        const ChangePlan plan = computeChange(current, choice);
        EXPECT_EQ(plan.outcome, c.outcome) << c.shutter << ": " << plan.refusal;
        if (plan.outcome == ChangePlan::Outcome::Change) EXPECT_EQ(plan.target.lights[0].words[1], c.stored);
    }
}

// A reader held to a reference, every light and the header's flag pair:
// registers 9 and 5, lights {0, shutter, HBlank}. Half written: light 0
// took HBlank 300 (0x12c), light 1 kept 256.
TEST(ReferenceComparison, EveryFieldOfEveryLight) {
    using Outcome = ReferenceComparison::Outcome;
    using Field = StoredFieldChange::Field;
    const SpeedValues whole = makeValues(false, {9, 5}, {{0, 1000, 300}, {0, 1000, 300}});
    const SpeedValues halfWritten = makeValues(false, {9, 5}, {{0, 1000, 300}, {0, 1000, 256}});
    const SpeedValues firstKept = makeValues(false, {9, 5}, {{0, 1000, 256}, {0, 1000, 300}});
    // The console's options name an HBlank for every light; the dialog's
    // trackbar is held against the HBlank it shows (the first light's).
    const auto options = [](std::optional<bool> halfClock, std::optional<uint16_t> hblank) {
        return Reference{std::nullopt, OperatorChoice{halfClock, hblank, OperatorChoice::HBlankMeets::EveryLight}};
    };
    const auto dialog = [](bool halfClock, uint16_t hblank) {
        return Reference{std::nullopt, OperatorChoice{halfClock, hblank}};
    };
    // Lights holding HBlank 0x3ff, 0 and 0x100: the dialog shows 0x3ff.
    const SpeedValues mixed = makeValues(true, {9, 5}, {{0, 0x12, 0x3ff}, {0, 0x12, 0}, {0, 0x12, 0x100}});
    const StoredFieldChange halfClockOff{Field::HalfClock, -1, -1, -1, 1, 0};
    const auto word = [](int light, int index, uint32_t from, uint32_t to) {
        return StoredFieldChange{Field::LightWord, index, light, index == 1 ? 9 : 5, from, to};
    };
    const StoredFieldChange halfClockOn{Field::HalfClock, -1, -1, -1, 0, 1};
    const struct {
        const char* name;
        SpeedValues held;
        Reference reference;
        Outcome outcome;
        std::vector<StoredFieldChange> differences;
    } cases[] = {
        {"holds the HBlank", whole, options(std::nullopt, 300), Outcome::Holds, {}},
        {"holds the Half Clock", whole, options(false, std::nullopt), Outcome::Holds, {}},
        {"light 1 kept its HBlank", halfWritten, options(std::nullopt, 300), Outcome::Differs, {word(1, 2, 256, 300)}},
        {"light 0 kept its HBlank", firstKept, options(false, 300), Outcome::Differs, {word(0, 2, 256, 300)}},
        {"Half Clock alone leaves each light its HBlank", halfWritten, options(true, std::nullopt), Outcome::Differs,
         {halfClockOn, word(0, 1, 1000, 500), word(1, 1, 1000, 500)}},
        // Each shutter from its own light's line time: 1000 x 2673 / (2717 x 2).
        {"Half Clock and HBlank rescale each light from its own", halfWritten, options(true, 300), Outcome::Differs,
         {halfClockOn, word(0, 1, 1000, 500), word(1, 1, 1000, 491), word(1, 2, 256, 300)}},
        {"the dialog's trackbar at the HBlank it shows writes no light", halfWritten, dialog(false, 300),
         Outcome::Holds, {}},
        {"the dialog's Half Clock alone doubles each shutter at its light's own HBlank", mixed, dialog(false, 0x3ff),
         Outcome::Differs, {halfClockOff, word(0, 1, 0x12, 0x24), word(1, 1, 0x12, 0x24), word(2, 1, 0x12, 0x24)}},
        {"the dialog's trackbar moved: into every light", mixed, dialog(true, 0x100), Outcome::Differs,
         {word(0, 2, 0x3ff, 0x100), word(1, 2, 0, 0x100)}},
        {"store, sync and check --hblank N: every light as named", mixed, options(std::nullopt, 0x3ff),
         Outcome::Differs, {word(1, 2, 0, 0x3ff), word(2, 2, 0x100, 0x3ff)}},
        {"store --half-clock off alone: as the dialog", mixed, options(false, std::nullopt), Outcome::Differs,
         {halfClockOff, word(0, 1, 0x12, 0x24), word(1, 1, 0x12, 0x24), word(2, 1, 0x12, 0x24)}},
        {"a file section that the reader holds", whole, Reference{whole, {}}, Outcome::Holds, {}},
        {"a file section against a half-written reader", halfWritten, Reference{whole, {}}, Outcome::Differs,
         {word(1, 2, 256, 300)}},
        {"a shutter the reader would refuse", makeValues(true, {9, 5}, {{0, 40000, 300}}), options(false, std::nullopt),
         Outcome::Refused, {}},
    };
    for (const auto& c : cases) {
        const ReferenceComparison comparison = compareWithReference(c.held, c.reference);
        EXPECT_EQ(comparison.outcome, c.outcome) << c.name << ": " << comparison.refusal;
        EXPECT_EQ(comparison.differences, c.differences) << c.name;
        // What the store writes makes the reader hold it.
        if (c.outcome == Outcome::Differs) {
            EXPECT_EQ(compareWithReference(comparison.target, c.reference).outcome, Outcome::Holds) << c.name;
        }
    }
}

// The operator who left the trackbar where the dialog put it chose no
// HBlank: the light that keeps another one is not written.
TEST_F(ChangeTest, StoreOfTheHBlankTheDialogShowsWritesNoLight) {
    MemoryLayout layout = uniformLayout(2, 1000, 300);
    layout.lights[1][2] = 256;
    startWith(layout);
    setControls(false, 300);
    EXPECT_EQ(storeOne(), "Store -> device: TYPE1\r\nNo changes\r\n");
    EXPECT_TRUE(laterRequests().empty());
}

TEST_F(ChangeTest, LargeHBlankRescalesWithoutOverflow) {
    // 40000 x 62417 does not fit 32 bits; the true quotient is 362889.
    startWith(uniformLayout(1, 40000, 60000));
    setControls(true, 1023);
    const std::string log = storeOne();
    EXPECT_NE(log.find("would become 362889"), std::string::npos) << log;
    EXPECT_TRUE(laterRequests().empty());
    // Every change refused: no restart is asked for.
    EXPECT_EQ(storeClosingNotice(appState(), {true, appState().storeChanges(choice)}),
              std::string(kNothingWritten) + "\n\nKVDEV-A1 was not changed: the change was refused (see the log).");
}

TEST_F(ChangeTest, TwoDevicesShareOneBannerWithARuleBetween) {
    reader.addDevice(device(uniformLayout(1, 1000, 300), "ZEB-A1"));
    SimDevice second = device(uniformLayout(1, 1000, 300), "KYT-A1");
    second.typeName = "TYPE2";
    reader.addDevice(second);
    ASSERT_TRUE(discover());
    setControls(false, 300);
    messageLog().clear();
    appState().storeChanges(choice);
    const std::string rule = kLogRule;
    EXPECT_EQ(logText(), rule + "                          STORE CHANGES\r\n" + rule +
                             "Store -> device: TYPE1\r\nNo changes\r\n" + rule +
                             "Store -> device: TYPE2\r\nNo changes\r\n");
}

TEST_F(ChangeTest, EveryReaderOfAStoreGetsTheOneChoice) {
    reader.addDevice(device(uniformLayout(1, 1000, 300), "ZEB-A1"));
    reader.addDevice(device(uniformLayout(1, 1000, 350), "KYT-A1"));
    ASSERT_TRUE(discover());
    appState().storeChanges(OperatorChoice{false, 400});
    EXPECT_EQ(lightWord(reader.memory(0), 0, 2), 400);
    EXPECT_EQ(lightWord(reader.memory(1), 0, 2), 400);
}

}  // namespace
}  // namespace spelvane::testing
