#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "device/library_records.h"
#include "platform/semaphore.h"

namespace spelvane {

struct PacingClock {
    int64_t frequency = 1;
    int64_t stamp = 0;
    bool valid = false;
};

constexpr uint32_t kDeviceSlotMagic = 0x8E66E035u;
constexpr uint32_t kReleasedMagic = 0xFFFFFFFFu;
constexpr int64_t kPacingMicroseconds = 40000;

// The owned information block: allocated with the size the library reports
// (never less than the DeviceInfo head, so the head can be read safely);
// `size` keeps what the library reported.
struct DeviceInfoDeleter {
    void operator()(DeviceInfo* info) const;
};
using DeviceInfoBlock = std::unique_ptr<DeviceInfo, DeviceInfoDeleter>;

// Bounded readers for a block the library filled: never past the reported
// size, never past the 40-byte field, terminated or not.
std::string deviceTypeName(const DeviceInfo* info);
uint16_t deviceVersionOf(const DeviceInfo* info);

// An information block beyond this is not believed and not allocated.
constexpr size_t kLargestInfoBlock = 64 * 1024;

struct DeviceSlot {
    uint32_t magic = 0;
    uint8_t id[kDeviceIdSize] = {};
    DeviceInfoBlock info;
    uint32_t handle = 0;
    std::unique_ptr<PacingClock> clock;
    std::unique_ptr<platform::Semaphore> lock;
    // The size the library reported for an information block it was refused
    // (larger than kLargestInfoBlock); 0 when none was refused.
    uint32_t refusedInfoSize = 0;

    void init(const uint8_t* deviceId);
    bool openWithInfo(bool modeFlag, uint32_t timeout);
    void queryInfo();
    void close();
    bool write(uint8_t command, uint16_t value, const void* data, uint16_t length);
    bool read(uint8_t command, uint16_t value, void* buffer, uint16_t* length);
    void release();

    // The device name from byte 8 of the id, at most 71 characters.
    std::string name() const;

private:
    // False, with error 19 recorded, while the device is not open.
    bool acceptsRequests() const;
    // One paced, serialised library call; the stamp is renewed whatever the
    // result.
    int32_t pacedRequest(uint32_t functionCode, void* request);
};

int32_t openById(uint32_t* handleOut, uint8_t* idOut, uint32_t mode, const uint8_t* id,
                 uint32_t reserved1, uint32_t reserved2, uint32_t timeout);

}  // namespace spelvane
