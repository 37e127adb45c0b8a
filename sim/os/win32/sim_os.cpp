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

// GetModuleHandleEx would answer both questions below, but Windows 2000 does
// not have it. The allocation that holds this library's code is its image,
// and the image's base is its module handle.
static HMODULE ownModule() {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<LPCVOID>(&ownModule), &region, sizeof(region)) == 0) return nullptr;
    return static_cast<HMODULE>(region.AllocationBase);
}

static std::string ownPath() {
    HMODULE module = ownModule();
    if (!module) return {};
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::string(path, length);
}

std::string ownDirectory() {
    std::string path = ownPath();
    return path.empty() ? std::string() : directoryOf(path);
}

// A reference of our own that is never given back: a caller's balanced
// FreeLibrary then leaves the library loaded. The module is already in the
// process, so this only counts up, even from inside DllMain.
void pinOwnModule() {
    std::string path = ownPath();
    if (!path.empty()) LoadLibraryA(path.c_str());
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

void sleepMilliseconds(uint32_t milliseconds) {
    if (milliseconds > 0) Sleep(milliseconds);
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
