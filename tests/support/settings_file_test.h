#pragma once
// Shared by the backup and restore tests: a scratch working directory (the
// backup writes into the current directory) and settings records that need
// no device.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/message_log.h"
#include "app/texts.h"
#include "device/library_records.h"
#include "platform/local_time.h"
#include "settings/settings_file.h"
#include "settings/speed_values.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/fake_timing.h"
#include "tests/support/program_state.h"
#include "tests/support/scratch_directory.h"

namespace spelvane::testing {

// An information block as the library would fill it, with the given type.
inline DeviceInfo makeInfo(const char* typeName) {
    DeviceInfo info{};
    info.size = sizeof(DeviceInfo);
    std::strncpy(info.typeName, typeName, sizeof info.typeName);
    return info;
}

// Values shaped like a loaded device: addresses and light words as given,
// register positions and HBlank found as the load finds them.
inline SpeedValues makeValues(bool halfClock, std::initializer_list<uint8_t> addresses,
                              std::initializer_list<std::initializer_list<uint16_t>> lights) {
    SpeedValues values{};
    values.header.bytes[0] = 'W';
    values.header.bytes[1] = 'I';
    values.header.bytes[2] = 'Q';
    values.halfClock = halfClock ? 1 : 0;
    for (uint8_t address : addresses) values.addresses[values.addressCount++] = address;
    for (const auto& light : lights) {
        int w = 0;
        for (uint16_t word : light) values.lights[values.lightCount].words[w++] = word;
        ++values.lightCount;
    }
    values.header.bytes[SettingsHeader::kAddressCountByte] = static_cast<uint8_t>(values.addressCount);
    values.header.bytes[SettingsHeader::kLightCountByte] = static_cast<uint8_t>(values.lightCount);
    if (halfClock) {
        values.header.bytes[SettingsHeader::kHalfClockByte1] |= SettingsHeader::kHalfClockBit1;
        values.header.bytes[SettingsHeader::kHalfClockByte2] |= SettingsHeader::kHalfClockBit2;
    }
    scanRegisterPositions(values);
    values.hblank = hblankOfLights(values, values.lightCount);
    return values;
}

inline std::string stampedName(const std::string& displayName, int64_t calendarTime) {
    platform::LocalTime local{};
    EXPECT_TRUE(platform::toLocalTime(calendarTime, local));
    char name[kSettingsFileNameSize];
    buildSettingsFileName(name, displayName.c_str(), local);
    return name;
}

// The section of the worked example: TYPE1, Half Clock on, registers 9 and 5,
// two lights.
inline const char* exampleSection() {
    return "DEVICE=TYPE1\r\r\n"
           "HCLOCK=1\r\r\n"
           "NADDR=2\r\r\n"
           "ADDRS=09,05\r\r\n"
           "NLIGHT=2\r\r\n"
           "LIGHT0=0010,0200,0150\r\r\n"
           "LIGHT1=0020,0180,0150\r\r\n"
           "------------------------------------------------------\r\r\n";
}

inline SpeedValues exampleValues() {
    return makeValues(true, {9, 5}, {{16, 512, 336}, {32, 384, 336}});
}

// A clean program state with a scripted clock, the log captured, and the
// process inside a scratch directory.
class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetProgramState();
        timing_ = std::make_unique<FakeTiming>();
    }
    void TearDown() override {
        timing_.reset();
        resetProgramState();
    }

    // Binds settings record i to an information block of the given type.
    void bindRecord(int i, DeviceInfo& info, const SpeedValues& values) {
        AppState& state = appState();
        state.settings[i].info = &info;
        state.settings[i].values = values;
        if (state.openCount < i + 1) state.openCount = i + 1;
    }

    // A display name so long that no file can carry it: the backup cannot
    // create its file, on any system.
    static void useUncreatableName() {
        std::memset(appState().displayName, 'N', sizeof appState().displayName - 1);
    }

    std::string log() const { return messageLog().text() ? messageLog().text() : ""; }

    ScratchDirectory scratch_;
    std::unique_ptr<FakeTiming> timing_;
};

}  // namespace spelvane::testing
