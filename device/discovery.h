#pragma once
// Device discovery helpers shared by AppState::discoverDevices and its tests.
#include <cstddef>
#include <string>

namespace spelvane {

struct DeviceSlot;

// Whether two device names are one matched pair: equal from the fourth
// character on, one beginning with "ZEB" and the other with "KYT".
bool formsDevicePair(const std::string& first, const std::string& second);

// Test support: how the device list is allocated. The allocator must return
// an array from new[] (it is freed with delete[]) or null for "out of
// memory"; null restores the normal allocation.
using SlotArrayAllocator = DeviceSlot* (*)(size_t count);
void setSlotArrayAllocator(SlotArrayAllocator allocator);

}  // namespace spelvane
