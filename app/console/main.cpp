// Console companion: reads the connected reader's speed settings through the
// same discovery and reading code as the dialog program and prints them.
#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "device/call_gate.h"
#include "device/device_slot.h"
#include "app/dialog_port.h"
#include "settings/speed_settings.h"

namespace spelvane {
namespace {

// Message boxes go to stderr with their title; every question is answered
// with OK (No for a yes/no question), so nothing is ever changed from here.
class ConsolePort final : public SilentDialogPort {
public:
    int messageBox(WindowHandle owner, const char* text, const char* title, unsigned buttons) override {
        std::fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
        return SilentDialogPort::messageBox(owner, text, title, buttons);
    }
};

void printHexBytes(const char* label, const uint8_t* bytes, int count) {
    std::printf("%s", label);
    for (int i = 0; i < count; ++i) std::printf(" %02x", bytes[i]);
    std::printf("\n");
}

void printSettings(int index, const SpeedSettings& record) {
    SpeedValues values = record.snapshot();
    std::printf("Settings %d\n", index);
    std::printf("  Type name: %s\n", deviceTypeName(record.info).c_str());
    printHexBytes("  Header:", values.header.bytes, sizeof values.header.bytes);
    int addressCount = values.addressCount <= kMaxAddresses ? values.addressCount : kMaxAddresses;
    printHexBytes("  Addresses:", values.addresses, addressCount);
    int lightCount = values.lightCount <= kMaxLights ? values.lightCount : kMaxLights;
    for (int light = 0; light < lightCount; ++light) {
        std::printf("  Light %d:", light);
        for (uint16_t word : values.lights[light].words) std::printf(" %04x", word);
        std::printf("\n");
    }
    std::printf("  HBlank: %u (%04x)\n", values.hblank, values.hblank);
    std::printf("  Half Clock: %s\n", values.halfClock ? "on" : "off");
}

int run() {
    ConsolePort port;
    setDialogPort(&port);
    AppState& app = appState();

    bool discovered = app.discoverDevices(nullptr);
    if (*loaderMessage()) std::fprintf(stderr, "Library: %s\n", loaderMessage());
    for (int i = 0; i < app.deviceCount; ++i) std::printf("Device %d: %s\n", i, app.devices[i].name().c_str());
    for (int i = 0; i < app.openCount; ++i) {
        if (app.settings[i].device) printSettings(i, app.settings[i]);
    }
    std::printf("Display name: %.*s\n", static_cast<int>(sizeof app.displayName), app.displayName);

    bool read = discovered && app.openCount > 0;
    if (discovered && app.openCount == 0) std::fprintf(stderr, "No device was opened\n");
    app.releaseDevices();
    setDialogPort(nullptr);
    return read ? 0 : 1;
}

}  // namespace
}  // namespace spelvane

int main() { return spelvane::run(); }
