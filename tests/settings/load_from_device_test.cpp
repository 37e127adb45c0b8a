#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/texts.h"
#include "device/device_slot.h"
#include "settings/speed_settings.h"
#include "tests/support/sim_device_test.h"

namespace spelvane::testing {
namespace {

class LoadTest : public SimDeviceTest {};

TEST_F(LoadTest, RegistersFoundAtTheirLastPositionAndHBlankFromFirstNonZeroLight) {
    MemoryLayout layout;
    layout.addresses = {9, 2, 9, 5};
    layout.lights = {{0x11, 300, 1, 2, 0x0000}, {0x22, 301, 3, 4, 0x0120}, {0x33, 302, 5, 6, 0x0100}};
    reader.addDevice(device(layout));
    ASSERT_TRUE(discover());

    const SpeedValues& values = record().values;
    EXPECT_EQ(values.addressCount, 4);
    EXPECT_EQ(values.shutterIndex, 2);
    EXPECT_EQ(values.hblankIndex, 3);
    EXPECT_EQ(values.hblankPresent, 1);
    EXPECT_EQ(values.hblank, 0x0120);
    EXPECT_EQ(values.lightCount, 3);
    EXPECT_EQ(values.lights[2].words[0], 0x33);
    EXPECT_EQ(values.lights[1].words[4], 0x0120);
    EXPECT_EQ(values.halfClock, 0);
    EXPECT_TRUE(dialog.messages().empty());
}

TEST_F(LoadTest, WithoutRegister5ThereIsNoHBlank) {
    MemoryLayout layout;
    layout.addresses = {2, 9, 3};
    layout.lights = {{0, 10, 400, 11}};
    reader.addDevice(device(layout));
    ASSERT_TRUE(discover());
    EXPECT_EQ(record().values.hblankPresent, 0);
    EXPECT_EQ(record().values.hblankIndex, -1);
    EXPECT_EQ(record().values.hblank, 0);
    EXPECT_EQ(record().values.shutterIndex, 1);
}

TEST_F(LoadTest, NoLightsMeansTwoRequestsAndNoHBlank) {
    MemoryLayout layout;
    layout.addresses = {9, 5};
    reader.addDevice(device(layout));
    ASSERT_TRUE(discover());
    EXPECT_EQ(deviceRequests().size(), 2u);
    EXPECT_EQ(record().values.lightCount, 0);
    EXPECT_EQ(record().values.hblankPresent, 1);
    EXPECT_EQ(record().values.hblank, 0);
}

TEST_F(LoadTest, AddressCountIsWhatTheDeviceDelivered) {
    MemoryLayout layout;
    layout.addresses = {9, 2, 3, 5};  // register 5 sits beyond what is delivered
    layout.lights = {{0, 100, 1, 2, 77}};
    SimDevice simulated = device(layout);
    simulated.extraLines = {"short_address_list = 3"};
    reader.addDevice(simulated);
    ASSERT_TRUE(discover());
    EXPECT_EQ(record().values.addressCount, 3);
    EXPECT_EQ(record().values.hblankPresent, 0);
    EXPECT_EQ(record().values.hblank, 0);
}

struct HalfClockCase {
    uint8_t byte3;
    uint8_t byte13;
    uint8_t expected;
};

class LoadHalfClockTest : public SimDeviceTest, public ::testing::WithParamInterface<HalfClockCase> {};

TEST_P(LoadHalfClockTest, NeedsBothFlags) {
    MemoryLayout layout;
    layout.lights = {{0, 100, 256, 0, 0}};
    SimDevice simulated = device(layout);
    simulated.memory[3] = GetParam().byte3;
    simulated.memory[13] = GetParam().byte13;
    reader.addDevice(simulated);
    ASSERT_TRUE(discover());
    EXPECT_EQ(record().values.halfClock, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Flags, LoadHalfClockTest,
                         ::testing::Values(HalfClockCase{0x40, 0x00, 0}, HalfClockCase{0x00, 0x01, 0},
                                           HalfClockCase{0xC0, 0x03, 1}));

TEST_F(LoadTest, LightReadValueFollowsTheDeviceVersion) {
    for (uint16_t version : {uint16_t{258}, uint16_t{259}}) {
        SCOPED_TRACE(version);
        resetProgramState();
        setDialogPort(&dialog);
        setTiming(&clock);
        SimulatedReader fresh;
        MemoryLayout layout;
        layout.lights = {{0, 100, 256, 0, 0}, {0, 100, 256, 0, 0}};
        SimDevice simulated = device(layout);
        simulated.deviceVersion = version;
        fresh.addDevice(simulated);
        fresh.enableTrace();
        fresh.apply();
        ASSERT_TRUE(appState().discoverDevices(window()));
        int lightReads = 0;
        for (const auto& request : fresh.trace()) {
            if (request.command != kReadSelectedLight) continue;
            ++lightReads;
            EXPECT_EQ(request.value, version < 259 ? 144 : 112);
        }
        EXPECT_EQ(lightReads, 2);
        appState().releaseDevices();
    }
}

TEST_F(LoadTest, WithoutDeviceNothingIsAskedOrShown) {
    SpeedSettings settings;
    const LoadResult result = settings.loadFromDevice();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failure, nullptr);
    EXPECT_TRUE(dialog.messages().empty());
}

struct FailureCase {
    const char* name;
    std::vector<std::string> lines;  // faults in the device section
    int memoryIndex;                 // byte of the image to overwrite, -1: none
    uint8_t memoryValue;
    std::vector<uint8_t> addresses;
    const char* message;
};

class LoadFailureTest : public SimDeviceTest, public ::testing::WithParamInterface<FailureCase> {
protected:
    void addFailingDevice() {
        const FailureCase& failure = GetParam();
        MemoryLayout layout;
        if (!failure.addresses.empty()) layout.addresses = failure.addresses;
        layout.lights.assign(failure.addresses.size() > 7 ? 1 : 2, std::vector<uint16_t>{0, 100, 256});
        SimDevice simulated = device(layout);
        simulated.extraLines = failure.lines;
        if (failure.memoryIndex >= 0) simulated.memory[failure.memoryIndex] = failure.memoryValue;
        reader.addDevice(simulated);
    }
};

TEST_P(LoadFailureTest, ShowsTheTextClosesTheDeviceAndGivesUp) {
    addFailingDevice();
    EXPECT_FALSE(discover());
    const auto messages = dialog.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, GetParam().message);
    EXPECT_EQ(messages[0].title, kAppTitle);
    EXPECT_EQ(messages[0].buttons, kButtonsOk);
    EXPECT_EQ(messages[0].owner, window());
    const auto cursors = dialog.cursors();
    ASSERT_GE(cursors.size(), 2u);
    EXPECT_EQ(cursors[1], CursorShape::Arrow);  // before the message, after the wait cursor
    EXPECT_EQ(record().device, nullptr);
    EXPECT_EQ(record().info, nullptr) << "the closed slot's block is gone";
    ASSERT_NE(appState().devices, nullptr);
    EXPECT_EQ(appState().devices[0].handle, 0u);
    EXPECT_EQ(appState().devices[0].info, nullptr);
}

TEST_P(LoadFailureTest, NeverReadsBeyondTheRecord) {
    addFailingDevice();
    discover();
    for (const auto& request : deviceRequests()) {
        if (request.command == kReadMemory && request.value == kAddressListOffset) {
            EXPECT_LE(request.length, kMaxAddresses) << request.line;
        }
        if (request.command == kSelectLight) {
            EXPECT_LE(request.value, kMaxLights) << request.line;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LoadFailureTest,
    ::testing::Values(
        FailureCase{"HeaderRead", {"fail = 15 1"}, -1, 0, {}, kHeaderFailed},
        FailureCase{"Signature", {}, 1, 'X', {}, kNotInitialized},
        FailureCase{"AddressRead", {"fail = 15 2"}, -1, 0, {}, kAddressesFailed},
        FailureCase{"NoShutter", {}, -1, 0, {2, 5, 3}, kNoShutter},
        FailureCase{"LightSelect", {"fail = 4 2"}, -1, 0, {}, kLightsFailed},
        FailureCase{"LightRead", {"fail = 14 1"}, -1, 0, {}, kLightsFailed},
        // Beyond what the record can hold: refused, not clipped.
        FailureCase{"SeventeenAddresses", {}, 4, 17, {}, kAddressesFailed},
        FailureCase{"SixLights", {}, 5, 6, {}, kLightsFailed},
        FailureCase{"EightAddressesWithLights", {}, -1, 0, {1, 2, 3, 4, 6, 7, 8, 9},
                    kLightsFailed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoadTest, ManyAddressesWithoutLightsAreHeld) {
    MemoryLayout layout;
    layout.addresses = {1, 2, 3, 4, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16, 5, 9};
    reader.addDevice(device(layout));
    ASSERT_TRUE(discover());
    EXPECT_EQ(record().values.addressCount, 16);
    EXPECT_EQ(record().values.shutterIndex, 15);
    EXPECT_EQ(record().values.hblankIndex, 14);
}

}  // namespace
}  // namespace spelvane::testing
