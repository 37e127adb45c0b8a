#include "device/device_slot.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "device/call_gate.h"
#include "platform/timing.h"

namespace spelvane {
namespace {

constexpr int64_t kPacingMilliseconds = kPacingMicroseconds / 1000;

int64_t counterNow() {
    int64_t ticks = 0;
    if (!timing().counter(ticks)) return 0;
    return ticks;
}

// delta × unitsPerSecond / frequency, truncated toward zero, computed so that
// it cannot overflow: a failed counter (read as 0) against a large stamp would
// otherwise make the product wrap. Anything beyond a few minutes either way
// is as good as "long ago" or "wildly backwards" for pacing.
int64_t elapsedUnits(int64_t delta, int64_t frequency, int64_t unitsPerSecond) {
    constexpr int64_t kHorizonSeconds = 1000;
    int64_t seconds = delta / frequency;
    if (seconds >= kHorizonSeconds) return kHorizonSeconds * unitsPerSecond;
    if (seconds <= -kHorizonSeconds) return -kHorizonSeconds * unitsPerSecond;
    return seconds * unitsPerSecond + (delta % frequency) * unitsPerSecond / frequency;
}

// How long to wait before the next request so that requests to one device
// stay 40 ms apart. The counter may fail or run backwards; the pause is then
// bounded to the full 40 ms rather than growing without limit. A slot
// without a clock has no stamp to measure against and always waits the full
// 40 ms, which keeps the spacing at the cost of some speed.
uint32_t pacingPause(const PacingClock* clock) {
    if (!clock) return static_cast<uint32_t>(kPacingMilliseconds);
    int64_t frequency = clock->frequency > 0 ? clock->frequency : 1;
    if (elapsedUnits(counterNow() - clock->stamp, frequency, 1000000) >= kPacingMicroseconds) {
        return 0;
    }
    int64_t pause = kPacingMilliseconds - elapsedUnits(counterNow() - clock->stamp, frequency, 1000);
    if (pause < 0) pause = 0;
    if (pause > kPacingMilliseconds) pause = kPacingMilliseconds;
    return static_cast<uint32_t>(pause);
}

// The fields both request records share; the rest starts as zero.
template <typename Request>
Request newRequest(uint8_t command, uint16_t value) {
    Request request;
    std::memset(&request, 0, sizeof(request));
    request.size = sizeof(Request);
    request.command = command;
    request.value = value;
    request.timeout = kRequestTimeout;
    return request;
}

void takeStamp(PacingClock* clock) {
    if (!clock) return;
    clock->valid = true;
    clock->stamp = counterNow();
}

}  // namespace

void DeviceInfoDeleter::operator()(DeviceInfo* info) const { std::free(info); }

std::string deviceTypeName(const DeviceInfo* info) {
    if (!info || info->size <= kTypeNameOffset) return {};
    size_t available = info->size - kTypeNameOffset;
    if (available > kTypeNameCapacity) available = kTypeNameCapacity;
    const char* text = info->typeName;
    size_t length = 0;
    while (length < available && text[length] != '\0') ++length;
    return std::string(text, length);
}

uint16_t deviceVersionOf(const DeviceInfo* info) {
    if (!info || info->size < kDeviceVersionOffset + sizeof(uint16_t)) return 0;
    return info->deviceVersion;
}

void DeviceSlot::init(const uint8_t* deviceId) {
    magic = kDeviceSlotMagic;
    lock = std::make_unique<platform::Semaphore>(1, 1);
    info.reset();
    clock.reset(new (std::nothrow) PacingClock);
    if (clock) {
        clock->valid = false;
        int64_t frequency = 0;
        clock->frequency = timing().frequency(frequency) && frequency > 0 ? frequency : 1;
        clock->stamp = 0;
        takeStamp(clock.get());
    }
    handle = 0;
    if (deviceId) {
        std::memcpy(id, deviceId, kDeviceIdSize);
    } else {
        std::memset(id, 0, kDeviceIdSize);
    }
}

std::string DeviceSlot::name() const {
    const char* text = reinterpret_cast<const char*>(id + kDeviceNameOffset);
    size_t length = 0;
    while (length < kDeviceNameCapacity - 1 && text[length] != '\0') ++length;
    return std::string(text, length);
}

int32_t openById(uint32_t* handleOut, uint8_t* idOut, uint32_t mode, const uint8_t* id,
                 uint32_t reserved1, uint32_t reserved2, uint32_t timeout) {
    OpenRequest request;
    std::memset(&request, 0, sizeof(request));
    request.mode = mode;
    if (id) std::memcpy(request.id, id, kDeviceIdSize);
    request.reserved1 = reserved1;
    request.reserved2 = reserved2;
    request.timeout = timeout;
    int32_t result = gateCall(0, kOpenDevice, &request);
    if (result != 0) {
        if (handleOut) *handleOut = request.handle;
        if (idOut) std::memcpy(idOut, request.openedId, kDeviceIdSize);
    }
    return result;
}

bool DeviceSlot::openWithInfo(bool modeFlag, uint32_t timeout) {
    if (id[kDeviceNameOffset] == '\0') {
        setDeviceError(0, kErrorNoEntry, nullptr, 0);
        return false;
    }
    // A handle the library refused to close is dropped all the same: the
    // device is opened anew below.
    close();
    handle = 0;
    uint32_t opened = 0;
    if (!openById(&opened, nullptr, modeFlag ? kOpenMode : kOpenModeAlternative, id, 0, 0, timeout)) {
        return false;
    }
    handle = opened;
    queryInfo();
    return true;
}

void DeviceSlot::queryInfo() {
    union {
        DeviceInfo head;
        uint8_t bytes[kDeviceInfoQuerySize];
    } probe;
    std::memset(&probe, 0, sizeof(probe));
    probe.head.size = kDeviceInfoQuerySize;
    gateCall(handle, kDeviceInformation, &probe);

    uint32_t reported = probe.head.size;
    refusedInfoSize = 0;
    if (reported == 0) return;
    if (reported > kLargestInfoBlock) {
        refusedInfoSize = reported;
        return;
    }
    // Never smaller than the head, so that the head's fields can be read
    // without leaving the allocation; the readers still honour `size`.
    size_t allocated = reported < sizeof(DeviceInfo) ? sizeof(DeviceInfo) : reported;
    DeviceInfoBlock block(static_cast<DeviceInfo*>(std::calloc(1, allocated)));
    if (!block) return;
    block->size = reported;
    gateCall(handle, kDeviceInformation, block.get());
    // The library reports the size it wants in the first word; what was
    // allocated is what the readers may trust.
    block->size = reported;
    info = std::move(block);
}

void DeviceSlot::close() {
    if (handle != 0) {
        CloseRequest request{handle};
        if (gateCall(0, kCloseDevice, &request) != 0) handle = 0;
    }
    info.reset();
}

bool DeviceSlot::acceptsRequests() const {
    if (handle != 0) return true;
    setDeviceError(0, kErrorNoDevice, nullptr, 0);
    return false;
}

int32_t DeviceSlot::pacedRequest(uint32_t functionCode, void* request) {
    if (lock) lock->wait();
    uint32_t pause = pacingPause(clock.get());
    if (pause > 0) timing().sleepMs(pause);
    int32_t result = gateCall(handle, functionCode, request);
    takeStamp(clock.get());
    if (lock) lock->release();
    return result;
}

bool DeviceSlot::write(uint8_t command, uint16_t value, const void* data, uint16_t length) {
    if (!acceptsRequests()) return false;
    auto request = newRequest<WriteRequest>(command, value);
    request.data = data;
    request.length = length;
    return pacedRequest(kDeviceWrite, &request) != 0;
}

bool DeviceSlot::read(uint8_t command, uint16_t value, void* buffer, uint16_t* length) {
    if (!acceptsRequests()) return false;
    if (!length) {
        setDeviceError(0, kErrorInvalidArgument, nullptr, 0);
        return false;
    }
    auto request = newRequest<ReadRequest>(command, value);
    request.buffer = buffer;
    request.length = *length;
    if (pacedRequest(kDeviceRead, &request) == 0) return false;
    // A library that claims more than was asked for is not believed: the
    // caller's buffer holds only what it asked.
    if (request.length < *length) *length = request.length;
    return true;
}

void DeviceSlot::release() {
    // Waiting for the lock lets a request still in flight on another thread
    // finish before the slot's resources go away.
    if (lock) lock->wait();
    close();
    info.reset();
    std::memset(id, 0, kDeviceIdSize);
    magic = kReleasedMagic;
    clock.reset();
    lock.reset();
}

}  // namespace spelvane
