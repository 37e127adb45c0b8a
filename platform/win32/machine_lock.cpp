#include "platform/machine_lock.h"

#include <windows.h>

namespace spelvane::platform {

// The named mutex is never waited on: while any handle to it is open it
// exists, and whoever created it holds the lock. Ownership of a mutex
// belongs to a thread, and nothing promises that the thread releasing the
// readers is the one that found them; a handle belongs to the process.
// Access refused means a holder in another session made it: held as well.
bool MachineLock::tryAcquire(const char* name) {
    if (handle_) return true;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (!mutex) return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    handle_ = mutex;
    return true;
}

// Opening never creates it: it exists only while a holder keeps it. Access
// refused is a holder in another session.
bool MachineLock::heldAnywhere(const char* name) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex) {
        CloseHandle(mutex);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

void MachineLock::release() {
    if (handle_) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

}  // namespace spelvane::platform
