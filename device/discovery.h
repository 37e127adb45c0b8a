#pragma once
// What the device layer knows of discovery: asking the library for the
// devices, allocating their slots and telling a matched pair.
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/library_records.h"

namespace spelvane {

struct DeviceSlot;

constexpr int32_t kMaximumDevices = 64;
constexpr const char* kDevicePattern = "KVDEV*";
constexpr const char* kPairPrefixes[2] = {"ZEB", "KYT"};

// The devices the library reported for kDevicePattern.
struct DeviceEnumeration {
    bool answered = false;     // false: the library refused the request
    int32_t reported = 0;      // the count the library gave, may exceed kMaximumDevices
    int32_t count = 0;         // how many ids are usable: reported, cut to 0..kMaximumDevices
    uint8_t ids[kMaximumDevices][kDeviceIdSize] = {};
};

void enumerateDevices(DeviceEnumeration& result);

// A new array of count initialised slots, or null when out of memory (the
// library's last error then says so). Freed with delete[].
DeviceSlot* allocateDeviceSlots(const DeviceEnumeration& found);

// Whether two device names are one matched pair: equal from the fourth
// character on, one beginning with "ZEB" and the other with "KYT".
bool formsDevicePair(const std::string& first, const std::string& second);

// Whether name begins with the family prefix given.
bool hasFamilyPrefix(const std::string& name, const char* prefix);

// Test support: how the device list is allocated. The allocator must return
// an array from new[] (it is freed with delete[]) or null for "out of
// memory"; null restores the normal allocation.
using SlotArrayAllocator = DeviceSlot* (*)(size_t count);
void setSlotArrayAllocator(SlotArrayAllocator allocator);

}  // namespace spelvane
