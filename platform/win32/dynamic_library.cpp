#include "platform/dynamic_library.h"

#include <windows.h>

namespace spelvane::platform {

bool DynamicLibrary::open(const char* name) {
    close();
    if (!name || !*name) return false;
    module_ = LoadLibraryA(name);
    return module_ != nullptr;
}

void* DynamicLibrary::symbol(const char* name) const {
    if (!module_) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name));
}

void DynamicLibrary::close() {
    if (module_) {
        FreeLibrary(static_cast<HMODULE>(module_));
        module_ = nullptr;
    }
}

}  // namespace spelvane::platform
