#include "sim/sim_os.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <pthread.h>
#include <time.h>
#endif

namespace qzsim {

std::string environmentVariable(const char* name) {
#ifdef _WIN32
    // The C runtime keeps its own copy of the environment; a caller that set
    // the variable with SetEnvironmentVariableA is only seen this way.
    char buffer[1024];
    DWORD length = GetEnvironmentVariableA(name, buffer, sizeof(buffer));
    if (length == 0 || length >= sizeof(buffer)) return {};
    return std::string(buffer, length);
#else
    const char* value = getenv(name);
    return value ? std::string(value) : std::string();
#endif
}

#ifdef _WIN32
// GetModuleHandleEx would answer both questions below, but Windows 2000 does
// not have it. The allocation that holds this library's code is its image,
// and the image's base is its module handle.
static HMODULE ownModule() {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<LPCVOID>(&ownModule), &region, sizeof(region)) == 0) {
        return nullptr;
    }
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
#endif

std::string ownDirectory() {
#ifdef _WIN32
    std::string path = ownPath();
    return path.empty() ? std::string() : directoryOf(path);
#else
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ownDirectory), &info) || !info.dli_fname) return {};
    return directoryOf(info.dli_fname);
#endif
}

void pinOwnModule() {
#ifdef _WIN32
    // A reference of our own that is never given back: a caller's balanced
    // FreeLibrary then leaves the library loaded. The module is already in
    // the process, so this only counts up, even from inside DllMain.
    std::string path = ownPath();
    if (!path.empty()) LoadLibraryA(path.c_str());
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&pinOwnModule), &info) && info.dli_fname) {
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
#endif
}

static bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

bool isAbsolutePath(const std::string& path) {
    if (path.empty()) return false;
    if (isSeparator(path[0])) return true;
#ifdef _WIN32
    return path.size() >= 2 && path[1] == ':';
#else
    return false;
#endif
}

std::string directoryOf(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) return path.substr(0, i - 1 == 0 ? 1 : i - 1);
    }
    return ".";
}

std::string joinPath(const std::string& directory, const std::string& name) {
    if (isAbsolutePath(name) || directory.empty()) return name;
    if (isSeparator(directory.back())) return directory + name;
#ifdef _WIN32
    return directory + "\\" + name;
#else
    return directory + "/" + name;
#endif
}

int64_t monotonicMicroseconds() {
#ifdef _WIN32
    LARGE_INTEGER frequency, counter;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
        !QueryPerformanceCounter(&counter)) {
        return static_cast<int64_t>(GetTickCount()) * 1000;
    }
    // Split the division so that long uptimes do not overflow.
    int64_t seconds = counter.QuadPart / frequency.QuadPart;
    int64_t rest = counter.QuadPart % frequency.QuadPart;
    return seconds * 1000000 + rest * 1000000 / frequency.QuadPart;
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
#endif
}

ReadStatus readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return errno == ENOENT ? ReadStatus::missing : ReadStatus::failed;
    uint8_t chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > (1u << 20)) break;  // nothing we read is this large
    }
    bool failed = ferror(file) != 0;
    fclose(file);
    return failed ? ReadStatus::failed : ReadStatus::ok;
}

bool replaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string& error) {
    std::string temporary = path + ".tmp";
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file) {
        error = "cannot create " + temporary + ": " + strerror(errno);
        return false;
    }
    bool written = fwrite(bytes, 1, size, file) == size;
    written = fflush(file) == 0 && written;
    written = fclose(file) == 0 && written;
    if (!written) {
        error = "cannot write " + temporary;
        remove(temporary.c_str());
        return false;
    }
#ifdef _WIN32
    if (!MoveFileExA(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot replace " + path + " (Windows error " + std::to_string(GetLastError()) + ")";
        DeleteFileA(temporary.c_str());
        return false;
    }
#else
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + strerror(errno);
        remove(temporary.c_str());
        return false;
    }
#endif
    return true;
}

#ifdef _WIN32
Lock::Lock() : handle_(new CRITICAL_SECTION) {
    InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(handle_));
}
Lock::~Lock() {
    DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(handle_));
    delete static_cast<CRITICAL_SECTION*>(handle_);
}
void Lock::lock() { EnterCriticalSection(static_cast<CRITICAL_SECTION*>(handle_)); }
void Lock::unlock() { LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(handle_)); }
#else
Lock::Lock() : handle_(new pthread_mutex_t) {
    pthread_mutex_init(static_cast<pthread_mutex_t*>(handle_), nullptr);
}
Lock::~Lock() {
    pthread_mutex_destroy(static_cast<pthread_mutex_t*>(handle_));
    delete static_cast<pthread_mutex_t*>(handle_);
}
void Lock::lock() { pthread_mutex_lock(static_cast<pthread_mutex_t*>(handle_)); }
void Lock::unlock() { pthread_mutex_unlock(static_cast<pthread_mutex_t*>(handle_)); }
#endif

}  // namespace qzsim
