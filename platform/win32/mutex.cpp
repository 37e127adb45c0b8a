#include "platform/mutex.h"

#include <windows.h>

namespace spelvane::platform {

Mutex::Mutex() {
    auto* section = new CRITICAL_SECTION;
    InitializeCriticalSection(section);
    handle_ = section;
}

Mutex::~Mutex() {
    auto* section = static_cast<CRITICAL_SECTION*>(handle_);
    DeleteCriticalSection(section);
    delete section;
}

void Mutex::lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(handle_)); }

void Mutex::unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(handle_)); }

}  // namespace spelvane::platform
