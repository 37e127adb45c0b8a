#include "platform/dynamic_library.h"

#include <windows.h>

#include <vector>

#include "platform/files.h"
#include "platform/library_search.h"

namespace spelvane::platform {
namespace {

// The calls below report the length they needed when the buffer is too
// small, and GetModuleFileNameA fills it without a terminator: a length that
// does not leave room for the terminator means the name was cut, and a cut
// folder must not be searched.
template <typename Call>
std::string systemString(Call call) {
    char buffer[MAX_PATH + 1];
    const DWORD length = call(buffer, static_cast<DWORD>(sizeof buffer));
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string folderOf(const std::string& file) {
    const size_t slash = file.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

std::string pathVariable() {
    const DWORD needed = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (needed == 0) return {};
    std::vector<char> buffer(needed);
    const DWORD length = GetEnvironmentVariableA("PATH", buffer.data(), needed);
    return length > 0 && length < needed ? std::string(buffer.data(), length) : std::string();
}

bool isFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string moduleFileName(HMODULE module) {
    return systemString([module](char* buffer, DWORD size) { return GetModuleFileNameA(module, buffer, size); });
}

// Without the current folder in the system's search, where kernel32 has
// the call (XP SP1 on; Wine 8 ignores it for a library's own DLLs).
void leaveCurrentFolderOutOfSearch() {
    using SetSearchFolder = BOOL(WINAPI*)(LPCWSTR);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    void* const call = kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")) : nullptr;
    if (call) reinterpret_cast<SetSearchFolder>(call)(L"");
}

std::string fullPathOf(const char* name) {
    char buffer[MAX_PATH + 1];
    const DWORD length = GetFullPathNameA(name, sizeof buffer, buffer, nullptr);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

// The DLLs the library asks for by name are looked for in the current
// folder before PATH, and the shortcut's "Start in" and --workstation make
// that the workstation folder, where every user may add files. So the
// library's own folder is current while it loads, then the one before
// again. No other thread uses a relative path meanwhile: the library loads
// at discovery, before the worker may take a command, or in the console
// program's one thread.
HMODULE loadInItsFolder(const std::string& path) {
    leaveCurrentFolderOutOfSearch();
    std::string folder = folderOf(path);
    if (!folder.empty() && folder.back() == ':') folder += '\\';  // "C:" alone is that drive's current folder
    const std::string before = currentFolderKept();
    if (folder.empty() || before.empty() || !SetCurrentDirectoryA(folder.c_str())) return nullptr;
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    DWORD code = GetLastError();
    // Backups and the history are named relative to the folder before: in
    // the library's folder they would land where no operator looks.
    if (!enterFolderKept(before) && module) {
        code = GetLastError();
        FreeLibrary(module);
        module = nullptr;
    }
    SetLastError(code);
    return module;
}

// The first file found is the one: like the system's own search, a library
// that is there but does not load ends the search instead of quietly giving
// way to one further down.
HMODULE loadFromSearch(const char* fileName) {
    LibrarySearchFolders folders;
    folders.program = folderOf(moduleFileName(nullptr));
    folders.system = systemString(GetSystemDirectoryA);
    folders.windows = systemString(GetWindowsDirectoryA);
    folders.pathVariable = pathVariable();
    for (const std::string& candidate : libraryCandidates(fileName, folders)) {
        if (isFile(candidate)) return loadInItsFolder(candidate);
    }
    return nullptr;
}

}  // namespace

bool DynamicLibrary::open(const char* name) {
    close();
    if (!name || !*name) return false;
    const std::string requested(name);
    // Loaded by its full path with the altered search order, the library's
    // own dependencies are looked for in its folder first.
    if (requested.find_first_of("\\/") != std::string::npos)
        module_ = loadInItsFolder(fullPathOf(name));
    else
        module_ = loadFromSearch(name);
    return module_ != nullptr;
}

void* DynamicLibrary::symbol(const char* name) const {
    if (!module_) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name));
}

std::string DynamicLibrary::path() const {
    return module_ ? moduleFileName(static_cast<HMODULE>(module_)) : std::string();
}

void DynamicLibrary::close() {
    if (module_) {
        FreeLibrary(static_cast<HMODULE>(module_));
        module_ = nullptr;
    }
}

}  // namespace spelvane::platform
