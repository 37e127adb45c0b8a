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

namespace spelvane::testing {

// Moves the process into a fresh directory for the life of the object and
// removes it afterwards, so no test leaves .set files behind.
class ScratchDirectory {
public:
    ScratchDirectory() : previous_(std::filesystem::current_path()) {
        static int serial = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = "spelvane-settings-" + std::string(info ? info->name() : "x") + "-" +
                           std::to_string(++serial) + "-" +
                           std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFFF);
        path_ = std::filesystem::temp_directory_path() / leaf;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        std::filesystem::current_path(path_);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

    std::vector<std::string> setFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            if (entry.path().extension() == ".set") names.push_back(entry.path().filename().string());
        return names;
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

inline std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeWholeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

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
        lastFileStamp = 0;
    }
    void TearDown() override {
        timing_.reset();
        resetProgramState();
        lastFileStamp = 0;
    }

    // Binds settings record i to an information block of the given type.
    void bindRecord(int i, DeviceInfo& info, const SpeedValues& values) {
        AppState& state = appState();
        state.settings[i].info = &info;
        state.settings[i].values = values;
        if (state.openCount < i + 1) state.openCount = i + 1;
    }

    std::string log() const { return messageLog().text() ? messageLog().text() : ""; }

    ScratchDirectory scratch_;
    std::unique_ptr<FakeTiming> timing_;
};

}  // namespace spelvane::testing
