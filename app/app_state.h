#pragma once
#include <cstdint>

#include "platform/dialog_port.h"
#include "settings/speed_settings.h"

namespace spelvane {

struct DeviceSlot;

constexpr uint32_t kListMarkerBuilt = 0x4497880Au;
constexpr uint32_t kListMarkerReleased = 0xFFFFFFFFu;
constexpr int kDisplayNameSize = 256;

// The one application record.
struct AppState {
    void* instance = nullptr;
    WindowHandle dialogWindow = nullptr;
    uint32_t listMarker = 0;
    DeviceSlot* devices = nullptr;  // owned array of deviceCount slots
    int32_t deviceCount = 0;
    SpeedSettings settings[2];
    char displayName[kDisplayNameSize] = {};
    int32_t openCount = 0;

    bool discoverDevices(WindowHandle dialog);
    void releaseDevices();
    // Backs up every open device into one new settings file; false when any
    // device's section could not be written whole.
    bool saveOriginalSettings();
    void storeChanges(WindowHandle dialog);
    void restoreFromFile(const char* path);
};

AppState& appState();
// Tests: release any device list and start from a cleared record.
void resetAppState();

}  // namespace spelvane
