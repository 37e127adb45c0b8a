// Discovery, pairing and release, through the simulated reader where a
// device must be read, and through the scripted library where the simulator
// cannot describe the case (empty names, negative counts).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/message_log.h"
#include "app/texts.h"
#include "device/call_gate.h"
#include "device/device_slot.h"
#include "device/discovery.h"
#include "tests/device/fake_library.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/fake_timing.h"
#include "tests/support/program_state.h"
#include "app/dialog_port.h"
#include "platform/machine_lock.h"
#include "platform/timing.h"
#include "tests/support/sim_fixture.h"

namespace spelvane {
namespace {

using testing::SimDevice;

const std::string kOnlyOne = kOneDeviceOnlyText;
const std::string kNoDevices = kNoDevicesText;
WindowHandle const kDialog = reinterpret_cast<WindowHandle>(0x2024);

SimDevice readableDevice(const std::string& name) {
    SimDevice device;
    device.name = name;
    testing::MemoryLayout layout;
    layout.lights = {{0x10, 0x400, 0x120, 0x150, 1}, {0x20, 0x600, 0x120, 0x150, 1}};
    device.memory = testing::makeMemory(layout);
    return device;
}

// Puts every global back to its start and then this test's fakes in place.
void restart(testing::FakeDialog& dialog, testing::FakeTiming& clock) {
    testing::resetProgramState();
    setDialogPort(&dialog);
    setTiming(&clock);
}

class Discovery : public ::testing::Test {
protected:
    void SetUp() override { restart(dialog, clock); }
    void TearDown() override {
        setSlotArrayAllocator(nullptr);
        testing::resetProgramState();
    }

    bool discover(const std::vector<SimDevice>& devices, const std::vector<std::string>& globals = {}) {
        for (const auto& device : devices) sim.addDevice(device);
        for (const auto& line : globals) sim.addGlobalLine(line);
        sim.enableTrace();
        sim.apply();
        return state.discoverDevices(kDialog);
    }

    std::vector<std::string> shownTexts() const {
        std::vector<std::string> texts;
        for (const auto& message : dialog.messages()) {
            EXPECT_EQ(message.owner, kDialog);
            EXPECT_EQ(message.title, kAppTitle);
            EXPECT_EQ(message.buttons, kButtonsOk);
            texts.push_back(message.text);
        }
        return texts;
    }

    // The wait cursor first, the arrow before every message box and last.
    void expectCursorsAround(size_t messageCount) const {
        auto cursors = dialog.cursors();
        ASSERT_GE(cursors.size(), 2u);
        EXPECT_EQ(cursors.front(), CursorShape::Wait);
        EXPECT_EQ(cursors.back(), CursorShape::Arrow);
        size_t arrows = 0;
        for (auto shape : cursors) arrows += shape == CursorShape::Arrow;
        EXPECT_GE(arrows, messageCount);
    }

    int32_t lastRecordedError() {
        char text[256] = {};
        ErrorTextRequest request{0, text, 256};
        gateCall(0, kErrorText, &request);
        return static_cast<int32_t>(request.code);
    }

    testing::FakeDialog dialog;
    testing::FakeTiming clock;
    testing::SimulatedReader sim;
    AppState& state = appState();
};

TEST_F(Discovery, OneDeviceIsOpenedBoundAndRead) {
    EXPECT_TRUE(discover({readableDevice("KVDEV-A1")}));
    EXPECT_TRUE(shownTexts().empty());
    expectCursorsAround(0);
    EXPECT_EQ(state.listMarker, kListMarkerBuilt);
    ASSERT_EQ(state.deviceCount, 1);
    EXPECT_EQ(state.openCount, 1);
    EXPECT_EQ(state.settings[0].device, &state.devices[0]);
    EXPECT_EQ(state.settings[0].info, state.devices[0].info.get());
    EXPECT_NE(state.devices[0].handle, 0u);
    EXPECT_EQ(state.settings[1].device, nullptr);
    EXPECT_STREQ(state.displayName, "KVDEV-A1");
    EXPECT_EQ(state.settings[0].values.hblank, 0x120);
}

TEST_F(Discovery, ReadersHeldByAnotherProgramAreNotAskedAndTheReleaseGivesTheLockBack) {
    platform::MachineLock otherProgram;
    ASSERT_TRUE(otherProgram.tryAcquire(kReaderLockName));
    EXPECT_FALSE(discover({readableDevice("KVDEV-A1")}));
    EXPECT_EQ(shownTexts(), std::vector<std::string>{kReadersBusyText});
    expectCursorsAround(1);
    EXPECT_TRUE(sim.trace().empty()) << "the library was asked";
    EXPECT_EQ(state.openCount, 0);

    otherProgram.release();
    EXPECT_TRUE(state.discoverDevices(kDialog));
    EXPECT_FALSE(otherProgram.tryAcquire(kReaderLockName)) << "held while the devices are open";
    state.releaseDevices();
    EXPECT_TRUE(otherProgram.tryAcquire(kReaderLockName)) << "given back with the devices";
}

TEST_F(Discovery, MatchedPairIsFoundInEitherOrderAndShownUnderItsKytName) {
    for (bool zebFirst : {true, false}) {
        SCOPED_TRACE(zebFirst ? "ZEB first" : "KYT first");
        restart(dialog, clock);
        testing::SimulatedReader pairSim;
        std::vector<std::string> names = zebFirst ? std::vector<std::string>{"ZEB-A1", "KYT-A1"}
                                                  : std::vector<std::string>{"KYT-A1", "ZEB-A1"};
        for (const auto& name : names) pairSim.addDevice(readableDevice(name));
        pairSim.apply();
        EXPECT_TRUE(state.discoverDevices(kDialog));
        EXPECT_TRUE(shownTexts().empty());
        ASSERT_EQ(state.openCount, 2);
        EXPECT_EQ(state.settings[0].device, &state.devices[0]);
        EXPECT_EQ(state.settings[1].device, &state.devices[1]);
        EXPECT_EQ(state.devices[0].name(), names[0]);
        EXPECT_EQ(state.settings[1].info, state.devices[1].info.get());
        EXPECT_STREQ(state.displayName, "KYT-A1");
        EXPECT_EQ(state.settings[1].values.hblank, 0x120);
    }
}

TEST_F(Discovery, PairTestNeedsEqualRestAndOneOfEachFamily) {
    EXPECT_TRUE(formsDevicePair("ZEB-A1", "KYT-A1"));
    EXPECT_TRUE(formsDevicePair("KYT", "ZEB"));
    EXPECT_FALSE(formsDevicePair("ZEB-A1", "ZEB-A1"));
    EXPECT_FALSE(formsDevicePair("KYT1", "KYT2"));
    EXPECT_FALSE(formsDevicePair("ZEB-A1", "KYT-A12"));
    EXPECT_FALSE(formsDevicePair("zeb-A1", "KYT-A1")) << "prefixes are case-sensitive";
    EXPECT_FALSE(formsDevicePair("KY", "ZE"));
    EXPECT_FALSE(formsDevicePair("", ""));
    EXPECT_FALSE(formsDevicePair("ABC-A1", "KYT-A1"));
}

TEST_F(Discovery, UnmatchedPairsAreRefusedWithoutOpeningAnything) {
    const std::vector<std::vector<std::string>> pairs = {
        {"ZEB-A1", "ZEB-A1"}, {"KYT1", "KYT2"}, {"ZEB-A1", "KYT-A12"}, {"KY", "ZEB"}, {"Z", "K"}};
    for (const auto& names : pairs) {
        SCOPED_TRACE(names[0] + " / " + names[1]);
        testing::FakeDialog pairDialog;
        restart(pairDialog, clock);
        testing::SimulatedReader pairSim;
        for (const auto& name : names) pairSim.addDevice(readableDevice(name));
        pairSim.apply();
        EXPECT_TRUE(state.discoverDevices(kDialog));
        auto messages = pairDialog.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, kOnlyOne);
        EXPECT_EQ(pairDialog.cursors(),
                  (std::vector<CursorShape>{CursorShape::Wait, CursorShape::Arrow, CursorShape::Arrow}));
        EXPECT_EQ(state.deviceCount, 2);
        EXPECT_EQ(state.openCount, 0);
        EXPECT_EQ(state.devices[0].handle, 0u);
        EXPECT_EQ(state.devices[1].handle, 0u);
        EXPECT_STREQ(state.displayName, "");
    }
}

TEST_F(Discovery, ThreeDevicesAreRefused) {
    EXPECT_TRUE(discover({readableDevice("KVDEV-A1"), readableDevice("KVDEV-A2"), readableDevice("KVDEV-A3")}));
    EXPECT_EQ(shownTexts(), std::vector<std::string>{kOnlyOne});
    expectCursorsAround(1);
    EXPECT_EQ(state.deviceCount, 3);
    EXPECT_EQ(state.openCount, 0);
}

TEST_F(Discovery, NoDeviceOrFailedEnumerationEndsTheDialog) {
    for (const char* mode : {"enumerate = none", "enumerate = fail"}) {
        SCOPED_TRACE(mode);
        testing::FakeDialog caseDialog;
        restart(caseDialog, clock);
        testing::SimulatedReader caseSim;
        caseSim.addDevice(readableDevice("KVDEV-A1"));
        caseSim.addGlobalLine(mode);
        caseSim.apply();
        EXPECT_FALSE(state.discoverDevices(kDialog));
        auto messages = caseDialog.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, kNoDevices);
        EXPECT_EQ(caseDialog.cursors(), (std::vector<CursorShape>{CursorShape::Wait, CursorShape::Arrow}));
        EXPECT_EQ(state.devices, nullptr);
        EXPECT_EQ(state.deviceCount, 0);
        EXPECT_EQ(state.listMarker, kListMarkerBuilt);
    }
}

const char* missingLibrary(const char*) { return "missing-folder/qzsd7.dll"; }

TEST_F(Discovery, MissingLibraryEndsTheDialog) {
    setLibraryPathResolver(missingLibrary);
    EXPECT_FALSE(discover({readableDevice("KVDEV-A1")}));
    EXPECT_EQ(shownTexts(), std::vector<std::string>{kNoDevices});
    EXPECT_EQ(state.devices, nullptr);
}

DeviceSlot* noSlots(size_t) { return nullptr; }

TEST_F(Discovery, SlotArrayThatCannotBeAllocatedRecordsOutOfMemory) {
    setSlotArrayAllocator(noSlots);
    EXPECT_FALSE(discover({readableDevice("KVDEV-A1")}));
    EXPECT_EQ(shownTexts(), std::vector<std::string>{kNoDevices});
    EXPECT_EQ(state.devices, nullptr);
    EXPECT_EQ(state.deviceCount, 0);
    EXPECT_EQ(lastRecordedError(), 12);
}

TEST_F(Discovery, ReportedCountAboveTheIdArrayIsClamped) {
    EXPECT_TRUE(discover({readableDevice("KVDEV-A1")}, {"report_count = 70"}));
    EXPECT_EQ(state.deviceCount, 64);
    EXPECT_EQ(shownTexts(), std::vector<std::string>{kOnlyOne});
    ASSERT_NE(messageLog().text(), nullptr);
    EXPECT_NE(std::string(messageLog().text()).find("70"), std::string::npos);
}

TEST_F(Discovery, SecondDeviceOfPairFailingToOpenLeavesTheFirst) {
    SimDevice second = readableDevice("KYT-A1");
    second.extraLines = {"fail_open = 1"};
    EXPECT_TRUE(discover({readableDevice("ZEB-A1"), second}));
    EXPECT_TRUE(shownTexts().empty());
    EXPECT_EQ(state.openCount, 1);
    EXPECT_EQ(state.settings[0].device, &state.devices[0]);
    EXPECT_EQ(state.settings[1].device, nullptr);
    EXPECT_STREQ(state.displayName, "ZEB-A1");
}

TEST_F(Discovery, FirstDeviceOfPairFailingToOpenOpensNothing) {
    SimDevice first = readableDevice("KYT-A1");
    first.extraLines = {"fail_open = 1"};
    EXPECT_TRUE(discover({first, readableDevice("ZEB-A1")}));
    EXPECT_EQ(state.openCount, 0);
    EXPECT_EQ(state.devices[1].handle, 0u);
    EXPECT_TRUE(shownTexts().empty());
}

TEST_F(Discovery, UnreadableSettingsEndTheDialogButKeepTheName) {
    SimDevice blank;
    blank.name = "KVDEV-B7";
    blank.memory.assign(256, 0);  // never set up: no "WIQ"
    EXPECT_FALSE(discover({blank}));
    EXPECT_EQ(shownTexts(), std::vector<std::string>{kNotInitialized});
    expectCursorsAround(1);
    EXPECT_EQ(state.settings[0].device, nullptr);
    EXPECT_EQ(state.devices[0].handle, 0u);
    EXPECT_STREQ(state.displayName, "KVDEV-B7");
}

TEST_F(Discovery, PairWhoseSecondDeviceCannotBeReadFails) {
    SimDevice blank;
    blank.name = "ZEB-A1";
    blank.memory.assign(256, 0);
    EXPECT_FALSE(discover({readableDevice("KYT-A1"), blank}));
    EXPECT_EQ(state.openCount, 2);
    EXPECT_NE(state.settings[0].device, nullptr);
    EXPECT_EQ(state.settings[1].device, nullptr);
    EXPECT_STREQ(state.displayName, "KYT-A1");
}

TEST_F(Discovery, ReleaseClosesEveryDeviceAndIsSafeTwice) {
    ASSERT_TRUE(discover({readableDevice("ZEB-A1"), readableDevice("KYT-A1")}));
    state.releaseDevices();
    EXPECT_EQ(state.devices, nullptr);
    EXPECT_EQ(state.deviceCount, 0);
    EXPECT_EQ(state.listMarker, kListMarkerReleased);
    int closed = 0;
    for (const auto& record : sim.trace()) closed += record.functionCode == kCloseDevice && record.result != 0;
    EXPECT_EQ(closed, 2);

    state.releaseDevices();
    EXPECT_EQ(state.devices, nullptr);
    EXPECT_EQ(state.deviceCount, 0);
    EXPECT_EQ(state.listMarker, kListMarkerReleased);
}

TEST_F(Discovery, SecondDiscoveryReleasesTheFirstList) {
    ASSERT_TRUE(discover({readableDevice("KVDEV-A1")}));
    DeviceSlot* first = state.devices;
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(state.discoverDevices(kDialog));
    EXPECT_EQ(state.openCount, 1);
    int closed = 0;
    for (const auto& record : sim.trace()) closed += record.functionCode == kCloseDevice && record.result != 0;
    EXPECT_EQ(closed, 1) << "the first list's device was closed before the second enumeration";
}

// Cases the simulator cannot describe.
class ScriptedDiscovery : public ::testing::Test {
protected:
    void SetUp() override { restart(dialog, clock); }
    void TearDown() override { testing::resetProgramState(); }

    testing::FakeDialog dialog;
    testing::FakeTiming clock;
    AppState& state = appState();
};

TEST_F(ScriptedDiscovery, NegativeCountMeansNoDevices) {
    testing::FakeLibrary library;
    library.deviceNames = {"KVDEV-A1"};
    library.enumerateCount = -3;
    EXPECT_FALSE(state.discoverDevices(kDialog));
    ASSERT_EQ(dialog.messages().size(), 1u);
    EXPECT_EQ(dialog.messages()[0].text, kNoDevices);
    EXPECT_EQ(state.devices, nullptr);
}

TEST_F(ScriptedDiscovery, SingleDeviceWithEmptyNameIsNotOpened) {
    testing::FakeLibrary library;
    library.deviceNames = {""};
    EXPECT_TRUE(state.discoverDevices(kDialog));
    EXPECT_TRUE(dialog.messages().empty());
    EXPECT_EQ(state.openCount, 0);
    EXPECT_EQ(library.recordedErrors(), std::vector<int32_t>{2});
    EXPECT_TRUE(library.callsOf(kOpenDevice).empty());
    auto enumerations = library.callsOf(kEnumerate);
    ASSERT_EQ(enumerations.size(), 1u);
    EXPECT_EQ(enumerations[0].value, 64) << "capacity of the id array";
}

TEST_F(ScriptedDiscovery, PairWithAnEmptyNameIsRefused) {
    testing::FakeLibrary library;
    library.deviceNames = {"", "KYT"};
    EXPECT_TRUE(state.discoverDevices(kDialog));
    ASSERT_EQ(dialog.messages().size(), 1u);
    EXPECT_EQ(dialog.messages()[0].text, kOnlyOne);
    EXPECT_TRUE(library.callsOf(kOpenDevice).empty());
}

}  // namespace
}  // namespace spelvane
