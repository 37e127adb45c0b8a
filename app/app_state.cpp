#include "app/app_state.h"

#include <cstring>

namespace spelvane {

AppState& appState() {
    static AppState state;
    return state;
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
    lastFileStamp = 0;
}

}  // namespace spelvane
