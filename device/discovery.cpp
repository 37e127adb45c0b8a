#include "device/discovery.h"

#include <cstring>
#include <new>

#include "app/app_state.h"
#include "app/message_log.h"
#include "app/texts.h"
#include "device/call_gate.h"
#include "device/device_slot.h"

namespace spelvane {
namespace {

constexpr int32_t kMaximumDevices = 64;
constexpr const char* kDevicePattern = "KVDEV*";
constexpr const char* kNoDevicesText = "Cannot find KV devices";
constexpr const char* kOneDeviceOnlyText = "The program works only 1 KV device";
constexpr const char* kPairPrefixes[2] = {"ZEB", "KYT"};
constexpr size_t kPrefixLength = 3;

DeviceSlot* allocateSlots(size_t count) { return new (std::nothrow) DeviceSlot[count]; }

SlotArrayAllocator slotAllocator = allocateSlots;

bool hasPrefix(const std::string& name, const char* prefix) {
    return name.compare(0, kPrefixLength, prefix) == 0 && name.size() >= kPrefixLength;
}

void tellOperator(WindowHandle dialog, const char* text) {
    dialogPort().setCursor(CursorShape::Arrow);
    dialogPort().messageBox(dialog, text, kAppTitle, kButtonsOk);
}

bool noDevicesExit(WindowHandle dialog) {
    tellOperator(dialog, kNoDevicesText);
    return false;
}

void copyDisplayName(char (&displayName)[kDisplayNameSize], const DeviceSlot& slot) {
    std::string name = slot.name();
    size_t length = name.size() < kDisplayNameSize - 1 ? name.size() : kDisplayNameSize - 1;
    std::memcpy(displayName, name.data(), length);
    displayName[length] = '\0';
}

}  // namespace

bool formsDevicePair(const std::string& first, const std::string& second) {
    if (first.size() < kPrefixLength || second.size() < kPrefixLength) return false;
    if (first.compare(kPrefixLength, std::string::npos, second, kPrefixLength, std::string::npos) != 0) {
        return false;
    }
    return (hasPrefix(first, kPairPrefixes[0]) && hasPrefix(second, kPairPrefixes[1])) ||
           (hasPrefix(first, kPairPrefixes[1]) && hasPrefix(second, kPairPrefixes[0]));
}

void setSlotArrayAllocator(SlotArrayAllocator allocator) {
    slotAllocator = allocator ? allocator : allocateSlots;
}

bool AppState::discoverDevices(WindowHandle dialog) {
    bool result = true;
    dialogPort().setCursor(CursorShape::Wait);
    // Discovery normally runs once; should it run again, the earlier list is
    // released instead of leaked.
    if (devices) releaseDevices();
    listMarker = kListMarkerBuilt;
    devices = nullptr;
    deviceCount = 0;
    openCount = 0;

    uint8_t ids[kMaximumDevices][kDeviceIdSize] = {};
    EnumerateRequest request;
    std::memset(&request, 0, sizeof(request));
    request.kind = 1;
    std::strncpy(request.pattern, kDevicePattern, sizeof(request.pattern) - 1);
    request.count = kMaximumDevices;
    request.ids = ids;
    if (gateCall(0, kEnumerate, &request) == 0) return noDevicesExit(dialog);

    int32_t count = request.count;
    if (count > kMaximumDevices) {
        messageLog().append("The device list reported %d devices; only %d were asked for.\r\n",
                            static_cast<int>(count), static_cast<int>(kMaximumDevices));
        count = kMaximumDevices;
    }
    if (count <= 0) return noDevicesExit(dialog);

    DeviceSlot* slots = slotAllocator(static_cast<size_t>(count));
    if (!slots) {
        setDeviceError(0, kErrorOutOfMemory, nullptr, 0);
        return noDevicesExit(dialog);
    }
    devices = slots;
    deviceCount = count;
    for (int32_t i = 0; i < count; ++i) devices[i].init(ids[i]);

    // The slots actually bound, kept here because a failed settings read
    // clears the record's own pointer and the display name still needs them.
    DeviceSlot* bound[2] = {nullptr, nullptr};
    auto openAndBind = [&](int32_t index) {
        DeviceSlot& slot = devices[index];
        if (!slot.openWithInfo(true, kRequestTimeout)) return false;
        settings[openCount].device = &slot;
        settings[openCount].info = slot.info.get();
        bound[openCount] = &slot;
        ++openCount;
        return true;
    };

    if (count == 1) {
        openAndBind(0);
    } else if (count == 2 && formsDevicePair(devices[0].name(), devices[1].name())) {
        if (openAndBind(0)) openAndBind(1);
    } else {
        tellOperator(dialog, kOneDeviceOnlyText);
    }

    if (openCount == 1) {
        result = settings[0].loadFromDevice(dialog);
        copyDisplayName(displayName, *bound[0]);
    } else if (openCount == 2) {
        result = settings[0].loadFromDevice(dialog);
        if (result) result = settings[1].loadFromDevice(dialog);
        if (hasPrefix(bound[0]->name(), kPairPrefixes[1])) {
            copyDisplayName(displayName, *bound[0]);
        } else if (hasPrefix(bound[1]->name(), kPairPrefixes[1])) {
            copyDisplayName(displayName, *bound[1]);
        }
    }

    dialogPort().setCursor(CursorShape::Arrow);
    return result;
}

void AppState::releaseDevices() {
    if (devices) {
        for (int32_t i = 0; i < deviceCount; ++i) devices[i].release();
        delete[] devices;
        devices = nullptr;
    }
    deviceCount = 0;
    listMarker = kListMarkerReleased;
}

}  // namespace spelvane
