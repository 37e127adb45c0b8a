// The exports of the library: the device library's two, and the
// simulator's own, by which a program tells it from a device's library.
// The loader-test variants are built from this file with QZSIM_NO_ENTRY,
// QZSIM_NO_MODULE_INFO, QZSIM_NO_IDENTIFY (a device's library, as far as
// the program can tell) or another QZSIM_MODULE_VERSION.
#include <cstdint>

#include "sim/simulator.h"

#ifdef _WIN32
#define QZSIM_EXPORT __declspec(dllexport)
#define QZSIM_CDECL __cdecl
#else
#define QZSIM_EXPORT __attribute__((visibility("default")))
#define QZSIM_CDECL
#endif

#ifndef QZSIM_MODULE_VERSION
#define QZSIM_MODULE_VERSION 0x07000500
#endif

// Module record: the version word sits at byte 8, as callers expect.
struct QzModuleInfo {
    uint32_t size;
    uint32_t kind;
    int32_t version;
    char name[20];
};
static_assert(offsetof(QzModuleInfo, version) == spelvane::kModuleInfoVersionOffset);

extern "C" {

#ifndef QZSIM_NO_MODULE_INFO
QZSIM_EXPORT extern const QzModuleInfo qzmoduleinfo;
const QzModuleInfo qzmoduleinfo = {sizeof(QzModuleInfo), 1,
                                   static_cast<int32_t>(static_cast<uint32_t>(QZSIM_MODULE_VERSION)),
                                   "qzsim"};
#endif

#ifndef QZSIM_NO_ENTRY
QZSIM_EXPORT int32_t QZSIM_CDECL qz_call(uint32_t handle, uint32_t functionCode, void* params) {
    return qzsim::simulator().call(handle, functionCode, params);
}
#endif

#ifndef QZSIM_NO_IDENTIFY
QZSIM_EXPORT uint32_t QZSIM_CDECL QzSimIdentify() { return spelvane::kSimulatorWord; }
#endif

}  // extern "C"
