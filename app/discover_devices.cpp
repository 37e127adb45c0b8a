// Start-up: find the devices, open one or a matched pair, read their
// settings. And the release at the end.
#include <cstring>
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/message_log.h"
#include "app/texts.h"
#include "device/call_gate.h"
#include "device/device_slot.h"
#include "device/discovery.h"

namespace spelvane {
namespace {

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

// Reads one record's settings; a failure is shown to the operator (with the
// arrow cursor, the dialog closes after it) and the device is closed.
bool loadOrTell(SpeedSettings& record, WindowHandle dialog) {
    const LoadResult result = record.loadFromDevice();
    if (result.ok) return true;
    if (result.failure) tellOperator(dialog, result.failure);
    record.unbind();
    return false;
}

}  // namespace

bool AppState::discoverDevices(WindowHandle dialog) {
    bool result = true;
    dialogPort().setCursor(CursorShape::Wait);
    // Discovery normally runs once; should it run again, the earlier list is
    // released instead of leaked.
    if (devices) releaseDevices();
    // Before the first library call: a second program asks nothing of the
    // readers, not even for their list.
    if (!readerLock.tryAcquire(kReaderLockName)) {
        tellOperator(dialog, kReadersBusyText);
        return false;
    }
    listMarker = kListMarkerBuilt;
    devices = nullptr;
    deviceCount = 0;
    openCount = 0;

    auto found = std::make_unique<DeviceEnumeration>();
    enumerateDevices(*found);
    if (!found->answered) return noDevicesExit(dialog);
    if (found->reported > kMaximumDevices) {
        messageLog().append("The device list reported %d devices; only %d were asked for.\r\n",
                            static_cast<int>(found->reported), static_cast<int>(kMaximumDevices));
    }
    if (found->count <= 0) return noDevicesExit(dialog);

    DeviceSlot* slots = allocateDeviceSlots(*found);
    if (!slots) return noDevicesExit(dialog);
    devices = slots;
    deviceCount = found->count;

    // The slots actually bound, kept here because a failed settings read
    // clears the record's own pointer and the display name still needs them.
    DeviceSlot* bound[2] = {nullptr, nullptr};
    auto openAndBind = [&](int32_t index) {
        DeviceSlot& slot = devices[index];
        const bool opened = slot.openWithInfo(true, kRequestTimeout);
        if (slot.refusedInfoSize != 0) {
            messageLog().append("Device information of %u bytes refused: larger than %u bytes.\r\n",
                                static_cast<unsigned>(slot.refusedInfoSize),
                                static_cast<unsigned>(kLargestInfoBlock));
        }
        if (!opened) return false;
        settings[openCount].device = &slot;
        settings[openCount].info = slot.info.get();
        bound[openCount] = &slot;
        ++openCount;
        return true;
    };

    if (deviceCount == 1) {
        openAndBind(0);
    } else if (deviceCount == 2 && formsDevicePair(devices[0].name(), devices[1].name())) {
        if (openAndBind(0)) openAndBind(1);
    } else {
        tellOperator(dialog, kOneDeviceOnlyText);
    }

    if (openCount == 1) {
        result = loadOrTell(settings[0], dialog);
        copyDisplayName(displayName, *bound[0]);
    } else if (openCount == 2) {
        result = loadOrTell(settings[0], dialog);
        if (result) result = loadOrTell(settings[1], dialog);
        // A pair is shown under the name of its KYT device.
        if (hasFamilyPrefix(bound[0]->name(), kPairPrefixes[1])) {
            copyDisplayName(displayName, *bound[0]);
        } else if (hasFamilyPrefix(bound[1]->name(), kPairPrefixes[1])) {
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
    readerLock.release();
}

}  // namespace spelvane
