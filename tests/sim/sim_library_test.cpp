// Library-level functions of the simulated reader: enumeration, open and
// close, the information block, and the last error.
#include <algorithm>

#include "tests/sim/sim_test.h"

namespace spelvane::testing {
namespace {

using SimLibraryTest = SimTest;

TEST_F(SimLibraryTest, EnumerationMatchesThePatternAgainstTheDeviceClass) {
    reader.addDevice(standardDevice("ZEB-A1"));
    SimDevice other = standardDevice("SCANNER-9");
    other.extraLines = {"class = OTHER"};
    reader.addDevice(other);
    reader.addDevice(standardDevice("KYT-A1"));
    reader.apply();

    int32_t count = 0;
    auto ids = enumerate("KVDEV*", 64, count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(nameOf(ids[0]), "ZEB-A1");
    EXPECT_EQ(nameOf(ids[1]), "KYT-A1");
    EXPECT_NE(memcmp(ids[0].data(), ids[1].data(), kDeviceIdSize), 0);

    enumerate("OTH?R", 64, count);
    EXPECT_EQ(count, 1);
    enumerate("*", 64, count);
    EXPECT_EQ(count, 3);
    enumerate("KVDEV", 64, count);  // no wildcard: whole class only
    EXPECT_EQ(count, 2);
    enumerate("KV", 64, count);
    EXPECT_EQ(count, 0);
}

TEST_F(SimLibraryTest, EnumerationNeverWritesMoreIdsThanTheCapacity) {
    for (const char* name : {"A1", "A2", "A3"}) reader.addDevice(standardDevice(name));
    reader.apply();
    int32_t count = 0;
    auto ids = enumerate("KVDEV*", 2, count);  // the helper checks the slot after the second
    EXPECT_EQ(count, 2);
    enumerate("KVDEV*", 0, count);
    EXPECT_EQ(count, 0);
}

TEST_F(SimLibraryTest, EnumerationFaultsAndTheReportedCount) {
    reader.addDevice(standardDevice());
    reader.addGlobalLine("report_count = 100");
    reader.apply();
    int32_t count = 0, result = 0;
    auto ids = enumerate("KVDEV*", 4, count, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(count, 100);  // more than delivered, but only one id was written
    EXPECT_EQ(nameOf(ids[0]), "KVDEV-A1");
    EXPECT_EQ(ids[1][kDeviceNameOffset], 0xEE);

    SimulatedReader none;
    none.addDevice(standardDevice());
    none.addGlobalLine("enumerate = none");
    none.apply();
    enumerate("KVDEV*", 4, count, &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(count, 0);

    SimulatedReader failing;
    failing.addDevice(standardDevice());
    failing.addGlobalLine("enumerate = fail");
    failing.apply();
    count = 4;
    enumerate("KVDEV*", 4, count, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lastError().code, 5u);
}

TEST_F(SimLibraryTest, ConfigurationChangesAreSeenAtTheNextEnumeration) {
    reader.addDevice(standardDevice());
    reader.apply();
    int32_t count = 0;
    enumerate("KVDEV*", 8, count);
    EXPECT_EQ(count, 1);
    reader.addDevice(standardDevice("KVDEV-A2"));
    reader.apply();
    enumerate("KVDEV*", 8, count);
    EXPECT_EQ(count, 2);
}

TEST_F(SimLibraryTest, DamagedConfigurationIsRefusedWithItsLine) {
    reader.addDevice(standardDevice());
    reader.addGlobalLine("colour = blue");
    reader.apply();
    int32_t count = 0, result = 1;
    enumerate("KVDEV*", 8, count, &result);
    EXPECT_EQ(result, 0);
    LastError error = lastError();
    EXPECT_EQ(error.code, 22u);
    EXPECT_NE(error.text.find("qzsim.conf:2: unknown key 'colour'"), std::string::npos) << error.text;

    for (const char* line : {"light15 = 0001", "addresses = 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11",
                             "version = 0x10000", "fail = 13", "name = ", "header = zz"}) {
        SimulatedReader bad;
        SimDevice device = standardDevice();
        device.extraLines = {line};
        bad.addDevice(device);
        bad.apply();
        enumerate("KVDEV*", 8, count, &result);
        EXPECT_EQ(result, 0) << line;
    }
}

TEST_F(SimLibraryTest, MissingConfigurationIsRefused) {
    reader.apply();
    std::filesystem::remove(reader.directory() + "/qzsim.conf");
    int32_t count = 0, result = 1;
    enumerate("KVDEV*", 8, count, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lastError().code, 2u);
}

TEST_F(SimLibraryTest, OpenGivesDistinctHandlesAndCloseForgetsThem) {
    reader.addDevice(standardDevice("ZEB-A1"));
    reader.addDevice(standardDevice("KYT-A1"));
    reader.apply();
    int32_t count = 0;
    auto ids = enumerate("KVDEV*", 8, count);
    ASSERT_EQ(ids.size(), 2u);
    const uint32_t first = open(ids[0]);
    const uint32_t second = open(ids[1], nullptr, kOpenModeAlternative);
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(first, second);

    EXPECT_EQ(close(first), 1);
    EXPECT_EQ(close(first), 0);
    EXPECT_EQ(lastError().code, 19u);
    EXPECT_EQ(read(first, kReadMemory, 0, 16).result, 0);  // closed handle
    EXPECT_EQ(read(second, kReadMemory, 0, 16).result, 1);
    EXPECT_EQ(close(second), 1);
}

TEST_F(SimLibraryTest, OpenRefusesUnknownIdsModesAndConfiguredFaults) {
    SimDevice failing = standardDevice("KVDEV-B1");
    failing.extraLines = {"fail_open = 1"};
    reader.addDevice(standardDevice());
    reader.addDevice(failing);
    reader.apply();
    int32_t count = 0, result = 1;
    auto ids = enumerate("KVDEV*", 8, count);
    ASSERT_EQ(ids.size(), 2u);

    EXPECT_EQ(open(ids[1], &result), 0u);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lastError().code, 5u);

    DeviceId renamed = ids[0];
    renamed[kDeviceNameOffset] = 'X';
    open(renamed, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lastError().code, 19u);

    open(ids[0], &result, 1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(lastError().code, 22u);
}

TEST_F(SimLibraryTest, InformationBlockFollowsTheReportedSize) {
    struct Case {
        const char* line;
        uint32_t reported;
        bool filled;  // typeName and deviceVersion present
    };
    for (const Case& c : {Case{nullptr, 88, true}, Case{"info_size = 0", 0, false},
                          Case{"info_size = 30", 30, false}, Case{"info_size = 120", 120, true}}) {
        SCOPED_TRACE(c.line ? c.line : "default");
        SimulatedReader sized;
        SimDevice device = standardDevice();
        device.typeName = "KYT1";
        device.deviceVersion = 0x102;
        if (c.line) device.extraLines = {c.line};
        sized.addDevice(device);
        sized.apply();
        const uint32_t handle = openFirst();

        std::vector<uint8_t> block(200, 0xEE);
        uint32_t size = 88;
        memcpy(block.data(), &size, 4);
        gateCall(handle, kDeviceInformation, block.data());
        memcpy(&size, block.data(), 4);
        EXPECT_EQ(size, c.reported);
        for (size_t i = 88; i < block.size(); ++i) ASSERT_EQ(block[i], 0xEE) << "written past the block";

        if (c.reported > 88) {  // the second query brings a block of the reported size
            std::fill(block.begin(), block.end(), 0xEE);
            memcpy(block.data(), &size, 4);
            EXPECT_EQ(gateCall(handle, kDeviceInformation, block.data()), 1);
            for (size_t i = size; i < block.size(); ++i) ASSERT_EQ(block[i], 0xEE);
        }
        if (c.filled) {
            EXPECT_STREQ(reinterpret_cast<const char*>(block.data() + kTypeNameOffset), "KYT1");
            uint16_t version;
            memcpy(&version, block.data() + kDeviceVersionOffset, 2);
            EXPECT_EQ(version, 0x102);
        } else {
            EXPECT_EQ(block[kTypeNameOffset], c.reported == 0 ? 0xEE : 0x00);
        }
        close(handle);
    }
}

TEST_F(SimLibraryTest, LastErrorTextIsAlwaysTerminatedInsideTheCapacity) {
    reader.addDevice(standardDevice());
    reader.apply();
    EXPECT_EQ(close(12345), 0);
    const LastError full = lastError();
    EXPECT_EQ(full.code, 19u);
    ASSERT_GT(full.text.size(), 10u);

    for (int32_t capacity : {1, 2, 5}) {
        std::vector<char> narrow(16, 'x');
        ErrorTextRequest request{0, narrow.data(), capacity};
        EXPECT_EQ(gateCall(0, kErrorText, &request), 1);
        EXPECT_EQ(request.code, 19u);
        EXPECT_EQ(std::string(narrow.data()), full.text.substr(0, static_cast<size_t>(capacity) - 1));
        EXPECT_EQ(narrow[static_cast<size_t>(capacity)], 'x');

        std::vector<uint16_t> wide(16, 0x7878);
        ErrorTextRequest wideRequest{0, wide.data(), capacity};
        EXPECT_EQ(gateCall(7, kErrorTextWide, &wideRequest), 1);
        EXPECT_EQ(wide[static_cast<size_t>(capacity) - 1], 0);
        if (capacity > 1) {
            EXPECT_EQ(wide[0], static_cast<uint16_t>(full.text[0]));
        }
        EXPECT_EQ(wide[static_cast<size_t>(capacity)], 0x7878);
    }

    char untouched[4] = {'x', 'x', 'x', 'x'};
    ErrorTextRequest empty{0, untouched, 0};
    EXPECT_EQ(gateCall(0, kErrorText, &empty), 0);
    EXPECT_EQ(untouched[0], 'x');
    EXPECT_EQ(gateCall(0, kErrorText, nullptr), 0);
    EXPECT_EQ(lastError().code, 19u);  // the queries themselves change nothing
}

TEST_F(SimLibraryTest, RecordedErrorNumbersAreAnsweredWithTheirText) {
    reader.addDevice(standardDevice());
    reader.apply();
    setDeviceError(0, kErrorNoDevice, nullptr, 0);
    LastError error = lastError();
    EXPECT_EQ(error.code, 19u);
    EXPECT_EQ(error.text, "No such device");

    ErrorSetRequest withText{0, 77, "custom reason", 3};
    EXPECT_EQ(gateCall(0, kSetError, &withText), 1);
    error = lastError();
    EXPECT_EQ(error.code, 77u);
    EXPECT_EQ(error.text, "custom reason");
}

TEST_F(SimLibraryTest, UnknownFunctionsAndMissingRecordsAreRefused) {
    reader.addDevice(standardDevice());
    reader.apply();
    uint32_t word = 0;
    EXPECT_EQ(gateCall(0, 0x10FF0099u, &word), 0);
    EXPECT_EQ(lastError().code, 38u);
    EXPECT_EQ(gateCall(0, kEnumerate, nullptr), 0);
    EXPECT_EQ(lastError().code, 22u);
    EXPECT_EQ(gateCall(0, kOpenDevice, nullptr), 0);
    EXPECT_EQ(gateCall(0, kCloseDevice, nullptr), 0);
}

// The configurations shipped beside the library must load and describe
// devices the program can work with.
TEST_F(SimLibraryTest, ShippedConfigurationsDescribeUsableDevices) {
    reader.applyConfigFile(shippedConfigPath("qzsim.conf"));
    int32_t count = 0;
    auto ids = enumerate("KVDEV*", 64, count);
    ASSERT_EQ(count, 1);
    const uint32_t handle = open(ids[0]);
    ASSERT_NE(handle, 0u);
    const std::vector<uint8_t> header = read(handle, kReadMemory, 0, 16).bytes;
    ASSERT_EQ(header.size(), 16u);
    EXPECT_EQ(slice(header, 0, 3), (std::vector<uint8_t>{'W', 'I', 'Q'}));
    const uint8_t addressCount = header[4], lightCount = header[5];
    EXPECT_GE(lightCount, 3);
    EXPECT_LE(lightCount, 5);
    const std::vector<uint8_t> addresses = read(handle, kReadMemory, 16, addressCount).bytes;
    const auto shutter = std::find(addresses.begin(), addresses.end(), 9);
    ASSERT_NE(shutter, addresses.end());
    EXPECT_NE(std::find(addresses.begin(), addresses.end(), 5), addresses.end());
    for (uint16_t light = 1; light <= lightCount; ++light) {
        const std::vector<uint8_t> record = read(handle, kReadMemory, 16 + 16 * light, 16).bytes;
        const size_t word = 1 + static_cast<size_t>(shutter - addresses.begin());
        EXPECT_NE(record[2 * word] | record[2 * word + 1] << 8, 0) << "light " << light;
    }

    SimulatedReader pair;
    pair.applyConfigFile(shippedConfigPath("pair.conf"));
    ids = enumerate("KVDEV*", 64, count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(nameOf(ids[0]), "ZEB-A1");
    EXPECT_EQ(nameOf(ids[1]), "KYT-A1");
}

}  // namespace
}  // namespace spelvane::testing
