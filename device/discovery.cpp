#include "device/discovery.h"

#include <cstring>
#include <new>

#include "device/call_gate.h"
#include "device/device_slot.h"

namespace spelvane {
namespace {

constexpr size_t kPrefixLength = 3;

DeviceSlot* allocateSlots(size_t count) { return new (std::nothrow) DeviceSlot[count]; }

SlotArrayAllocator slotAllocator = allocateSlots;

}  // namespace

bool hasFamilyPrefix(const std::string& name, const char* prefix) {
    return name.compare(0, kPrefixLength, prefix) == 0 && name.size() >= kPrefixLength;
}

bool formsDevicePair(const std::string& first, const std::string& second) {
    if (first.size() < kPrefixLength || second.size() < kPrefixLength) return false;
    if (first.compare(kPrefixLength, std::string::npos, second, kPrefixLength, std::string::npos) != 0) {
        return false;
    }
    return (hasFamilyPrefix(first, kPairPrefixes[0]) && hasFamilyPrefix(second, kPairPrefixes[1])) ||
           (hasFamilyPrefix(first, kPairPrefixes[1]) && hasFamilyPrefix(second, kPairPrefixes[0]));
}

void setSlotArrayAllocator(SlotArrayAllocator allocator) {
    slotAllocator = allocator ? allocator : allocateSlots;
}

void enumerateDevices(DeviceEnumeration& result) {
    EnumerateRequest request;
    std::memset(&request, 0, sizeof(request));
    request.kind = 1;
    std::strncpy(request.pattern, kDevicePattern, sizeof(request.pattern) - 1);
    request.count = kMaximumDevices;
    request.ids = result.ids;
    result.answered = gateCall(0, kEnumerate, &request) != 0;
    result.reported = result.answered ? request.count : 0;
    int32_t count = result.reported;
    if (count > kMaximumDevices) count = kMaximumDevices;
    result.count = count < 0 ? 0 : count;
}

DeviceSlot* allocateDeviceSlots(const DeviceEnumeration& found) {
    DeviceSlot* slots = slotAllocator(static_cast<size_t>(found.count));
    if (!slots) {
        setDeviceError(0, kErrorOutOfMemory, nullptr, 0);
        return nullptr;
    }
    for (int32_t i = 0; i < found.count; ++i) slots[i].init(found.ids[i]);
    return slots;
}

}  // namespace spelvane
