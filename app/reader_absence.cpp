#include "app/reader_absence.h"

#include "device/call_gate.h"
#include "device/device_slot.h"
#include "device/discovery.h"
#include "platform/timing.h"

namespace spelvane {
namespace {

bool libraryLoaded() {
    LibraryIdentity library;
    return loadedLibrary(library);
}

// The library answered and no reader is listed: what a reader looks like
// before its driver is up. Another Spelvane holding the readers is not it.
bool noneListed(const AppState& app, const std::string& box) {
    return box != kReadersBusyText && libraryLoaded() && app.deviceCount == 0;
}

}  // namespace

ReaderAbsence readerAbsence(const AppState& app, const std::string& box) {
    if (!libraryLoaded()) return {"no library", kLibraryRemedy};
    if (box == kReadersBusyText) return {"readers in use", std::string("another Spelvane is using the readers; ") + kReadersBusyRemedy};
    if (app.deviceCount == 0) return {"no reader", kNoReaderRemedy};
    if (expectedReaders(app) == 0) return {"no single reader", kNoPairRemedy};
    return {"reader unusable", kUnopenedRemedy};
}

int expectedReaders(const AppState& app) {
    if (app.deviceCount == 1) return 1;
    if (app.deviceCount == 2 && formsDevicePair(app.devices[0].name(), app.devices[1].name())) return 2;
    return 0;
}

bool discoverWaiting(AppState& app, FirstBoxPort& port, int waitSeconds) {
    const uint64_t wait = waitSeconds > 0 ? static_cast<uint64_t>(waitSeconds) * 1000 : 0;
    for (uint64_t waited = 0;; ) {
        if (app.discoverDevices(nullptr)) return true;
        if (waited >= wait || !noneListed(app, port.box)) return false;
        // The lock stays held between the looks: discovery keeps it while
        // it finds no reader.
        const uint32_t pause = static_cast<uint32_t>(wait - waited < kLookAgainMs ? wait - waited : kLookAgainMs);
        timing().sleepMs(pause);
        waited += pause;
        port.box.clear();
    }
}

}  // namespace spelvane
