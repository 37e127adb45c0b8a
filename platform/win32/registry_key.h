#pragma once
// A registry key opened for reading, closed with its owner.
#include <windows.h>

namespace spelvane::platform {

class RegistryKey {
public:
    RegistryKey(HKEY parent, const char* name) {
        if (RegOpenKeyExA(parent, name, 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace spelvane::platform
