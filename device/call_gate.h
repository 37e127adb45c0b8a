#pragma once
// Every call into the device-access library goes through gateCall. The
// library is loaded lazily by the first call and never unloaded while the
// program runs.
#include <cstdint>
#include <string>

#include "device/library_records.h"

namespace spelvane {

struct CallGate {
    QzCallFunction entry;
    const char* libraryName;
};
extern CallGate callGate;

int32_t gateCall(uint32_t handle, uint32_t functionCode, void* params);
int32_t unloadedEntry(uint32_t handle, uint32_t functionCode, void* params);
bool loadDeviceLibrary();
void setDeviceError(int32_t kind, int32_t code, const char* text, int32_t extra);

// The reason the last load failed ("" after a successful one).
const char* loaderMessage();

// Loads the library unless it is loaded already; true when it is.
bool ensureDeviceLibrary();

// Which library serves the gate: the first question when a reader behaves
// oddly on one workstation.
struct LibraryIdentity {
    std::string path;         // the file the system loaded, as it names it
    bool hasVersion = false;  // false: the library has no qzmoduleinfo
    int32_t version = 0;      // its version word
    bool simulated = false;   // the simulated reader's library, which reaches no device
};
// False while no library is loaded.
bool loadedLibrary(LibraryIdentity& identity);

// Test support: forget the loaded library and start unloaded again, and
// choose where a library name is looked up (null restores the platform's own
// lookup of the name as given).
void resetCallGate();
using LibraryPathResolver = const char* (*)(const char* libraryName);
void setLibraryPathResolver(LibraryPathResolver resolver);

}  // namespace spelvane
