#include "platform/workstation.h"

#include <windows.h>

#include "platform/win32/owned_handle.h"

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

// A handle keeps an ended process's object, and its times, while any
// program holds one: only one still active counts. A process of another
// account or session refuses the full query; from Vista on the limited one
// may still be granted (0x1000, unknown to Windows 2000, which refuses it).
constexpr DWORD kQueryLimitedInformation = 0x1000;

ProcessLook processStartTime(uint32_t process, int64_t& calendarTime) {
    HANDLE opened = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process);
    if (!opened) {
        if (GetLastError() != ERROR_ACCESS_DENIED) return ProcessLook::Ended;
        opened = OpenProcess(kQueryLimitedInformation, FALSE, process);
        if (!opened) return ProcessLook::Denied;
    }
    OwnedHandle handle(opened);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(handle.get(), &exitCode)) return ProcessLook::Denied;
    if (exitCode != STILL_ACTIVE) return ProcessLook::Ended;
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(handle.get(), &created, &exited, &kernel, &user)) return ProcessLook::Denied;
    // 100 ns steps since 1601 to seconds since 1970.
    const uint64_t steps = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    calendarTime = static_cast<int64_t>(steps / 10000000ull) - 11644473600ll;
    return ProcessLook::Began;
}

}  // namespace spelvane::platform
