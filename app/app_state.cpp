#include "app/app_state.h"

#include <cstring>

#include "device/device_slot.h"
#include "platform/files.h"

namespace spelvane {

AppState& appState() {
    static AppState state;
    return state;
}

std::string AppState::readerName(int i) const {
    const DeviceSlot* device = settings[i].device;
    return device ? device->name() : settings[i].typeName();
}

bool AppState::returnToStartFolder() const {
    return startFolder.empty() || platform::enterFolderKept(startFolder);
}

void resetAppState() {
    AppState& state = appState();
    state.releaseDevices();
    state.instance = nullptr;
    state.dialogWindow = nullptr;
    state.listMarker = 0;
    state.devices = nullptr;
    state.deviceCount = 0;
    for (SpeedSettings& record : state.settings) {
        record.device = nullptr;
        record.info = nullptr;
        record.values = SpeedValues{};
    }
    std::memset(state.displayName, 0, sizeof(state.displayName));
    state.openCount = 0;
    std::memset(state.lastBackupFile, 0, sizeof(state.lastBackupFile));
    state.startFolder.clear();
    state.backupFault = platform::FileFault::None;
    lastFileStamp = 0;
}

}  // namespace spelvane
