#include "platform/workstation.h"

#include <windows.h>

namespace spelvane::platform {

std::string computerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    if (!GetComputerNameA(name, &length)) return {};
    return std::string(name, length < sizeof name ? length : sizeof name - 1);
}

std::string userName() {
    char name[257] = {};  // UNLEN + 1
    DWORD length = sizeof name;
    if (!GetUserNameA(name, &length)) return {};
    // length counts the terminator.
    return name;
}

uint32_t processNumber() { return static_cast<uint32_t>(GetCurrentProcessId()); }

}  // namespace spelvane::platform
