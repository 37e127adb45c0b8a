#pragma once
// Drives the simulated reader through the program's call gate with the raw
// library records, as the device layer would.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "device/call_gate.h"
#include "device/library_records.h"
#include "tests/support/program_state.h"
#include "tests/support/sim_fixture.h"

namespace spelvane::testing {

using DeviceId = std::array<uint8_t, kDeviceIdSize>;

struct ReadResult {
    int32_t result = 0;
    std::vector<uint8_t> bytes;  // what was delivered
};

struct LastError {
    uint32_t code = 0;
    std::string text;
};

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { resetProgramState(); }
    void TearDown() override { resetProgramState(); }

public:  // the request helpers are used by worker threads too

    // A device with the usual four registers and two lights.
    static SimDevice standardDevice(const std::string& name = "KVDEV-A1") {
        MemoryLayout layout;
        layout.lights = {{0x0010, 0x0400, 0x0100, 0x0150, 0x0001},
                         {0x0020, 0x0600, 0x0100, 0x0150, 0x0001}};
        SimDevice device;
        device.name = name;
        device.memory = makeMemory(layout);
        return device;
    }

    // Returns the ids delivered; `count` receives what the library reported.
    std::vector<DeviceId> enumerate(const char* pattern, int32_t capacity, int32_t& count,
                                    int32_t* result = nullptr) {
        std::vector<uint8_t> ids(static_cast<size_t>(capacity + 1) * kDeviceIdSize, 0xEE);
        EnumerateRequest request{};
        request.kind = 1;
        strncpy(request.pattern, pattern, sizeof(request.pattern));
        request.count = capacity;
        request.ids = ids.data();
        const int32_t called = gateCall(0, kEnumerate, &request);
        if (result) *result = called;
        count = request.count;
        // The slot after the capacity must never be touched.
        for (size_t i = 0; i < kDeviceIdSize; ++i) {
            EXPECT_EQ(ids[static_cast<size_t>(capacity) * kDeviceIdSize + i], 0xEE) << "written past the ids";
        }
        std::vector<DeviceId> delivered;
        for (int32_t i = 0; called && i < count && i < capacity; ++i) {
            DeviceId id;
            memcpy(id.data(), ids.data() + static_cast<size_t>(i) * kDeviceIdSize, kDeviceIdSize);
            delivered.push_back(id);
        }
        return delivered;
    }

    static std::string nameOf(const DeviceId& id) {
        return std::string(reinterpret_cast<const char*>(id.data() + kDeviceNameOffset));
    }

    uint32_t open(const DeviceId& id, int32_t* result = nullptr, uint32_t mode = kOpenMode) {
        OpenRequest request{};
        request.mode = mode;
        memcpy(request.id, id.data(), kDeviceIdSize);
        request.timeout = kRequestTimeout;
        const int32_t called = gateCall(0, kOpenDevice, &request);
        if (result) *result = called;
        if (called) {
            EXPECT_EQ(memcmp(request.openedId, id.data(), kDeviceIdSize), 0);
        }
        return called ? request.handle : 0;
    }

    // Enumerates "KVDEV*" and opens the first device.
    uint32_t openFirst() {
        int32_t count = 0;
        auto ids = enumerate("KVDEV*", 64, count);
        if (ids.empty()) {
            ADD_FAILURE() << "no device enumerated";
            return 0;
        }
        const uint32_t handle = open(ids[0]);
        EXPECT_NE(handle, 0u);
        return handle;
    }

    int32_t close(uint32_t handle) {
        CloseRequest request{handle};
        return gateCall(0, kCloseDevice, &request);
    }

    int32_t write(uint32_t handle, uint8_t command, uint16_t value, const std::vector<uint8_t>& data) {
        WriteRequest request{};
        request.size = 20;
        request.command = command;
        request.value = value;
        request.data = data.empty() ? nullptr : data.data();
        request.length = static_cast<uint16_t>(data.size());
        request.timeout = kRequestTimeout;
        return gateCall(handle, kDeviceWrite, &request);
    }

    ReadResult read(uint32_t handle, uint8_t command, uint16_t value, uint16_t length) {
        std::vector<uint8_t> buffer(length + 8u, 0xEE);
        ReadRequest request{};
        request.size = 20;
        request.command = command;
        request.value = value;
        request.timeout = kRequestTimeout;
        request.buffer = buffer.data();
        request.length = length;
        ReadResult out;
        out.result = gateCall(handle, kDeviceRead, &request);
        for (size_t i = length; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << "read past the length";
        if (out.result) {
            EXPECT_LE(request.length, length);
            out.bytes.assign(buffer.begin(), buffer.begin() + request.length);
        }
        return out;
    }

    LastError lastError(int32_t capacity = 256) {
        std::vector<char> buffer(static_cast<size_t>(capacity) + 1, 0);
        ErrorTextRequest request{0, buffer.data(), capacity};
        EXPECT_EQ(gateCall(0, kErrorText, &request), 1);
        return {request.code, std::string(buffer.data())};
    }

    static std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t offset, size_t length) {
        return {bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                bytes.begin() + static_cast<std::ptrdiff_t>(offset + length)};
    }

    SimulatedReader reader;
};

}  // namespace spelvane::testing
