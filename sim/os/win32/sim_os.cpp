#include "sim/sim_os.h"

#include <windows.h>

#include "sim/os/sim_os_native.h"

namespace qzsim {

namespace native {

const char kSeparator = '\\';
const char kOtherSeparator = '/';
const bool kDriveLetters = true;

bool moveOver(const std::string& from, const std::string& to, std::string& error) {
    // rename() of the C runtime refuses to replace an existing file.
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot replace " + to + " (Windows error " + std::to_string(GetLastError()) + ")";
        DeleteFileA(from.c_str());
        return false;
    }
    return true;
}

}  // namespace native

std::string environmentVariable(const char* name) {
    // The C runtime keeps its own copy of the environment; a caller that set
    // the variable with SetEnvironmentVariableA is only seen this way.
    char buffer[1024];
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer)) return {};
    return std::string(buffer, length);
}

std::string ownDirectory() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&ownDirectory), &module)) {
        return {};
    }
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return directoryOf(std::string(path, length));
}

void pinOwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&pinOwnModule), &module);
}

int64_t monotonicMicroseconds() {
    LARGE_INTEGER frequency, counter;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
        !QueryPerformanceCounter(&counter)) {
        return static_cast<int64_t>(GetTickCount()) * 1000;
    }
    // Split the division so that long uptimes do not overflow.
    int64_t seconds = counter.QuadPart / frequency.QuadPart;
    int64_t rest = counter.QuadPart % frequency.QuadPart;
    return seconds * 1000000 + rest * 1000000 / frequency.QuadPart;
}

Lock::Lock() : handle_(new CRITICAL_SECTION) {
    InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(handle_));
}
Lock::~Lock() {
    DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(handle_));
    delete static_cast<CRITICAL_SECTION*>(handle_);
}
void Lock::lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(handle_)); }
void Lock::unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(handle_)); }

}  // namespace qzsim
