#include "platform/dynamic_library.h"

#include <windows.h>

#include <vector>

#include "platform/files.h"
#include "platform/library_search.h"
#include "platform/mutex.h"
#include "platform/win32/wide_text.h"

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

bool lookUpDllDirectory = true;

// Without the current folder in the system's search, where kernel32 has
// the call (XP SP1 on; Wine 8 ignores it for a library's own DLLs): it
// holds for the whole process, loads between the library's calls too.
void leaveCurrentFolderOutOfSearch() {
    if (!lookUpDllDirectory) return;
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

// In UTF-8, as the kept folders are: an ANSI name of a folder with letters
// outside the code page holds '?' and could not be entered.
std::string programFolderKept() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            std::wstring file(buffer.data(), length);
            const size_t slash = file.find_last_of(L"\\/");
            if (slash == std::wstring::npos) return {};
            file.resize(slash);
            if (!file.empty() && file.back() == L':') file += L'\\';  // "C:" alone is that drive's current folder
            return narrowText(file.data(), file.size(), CP_UTF8);
        }
        if (buffer.size() > 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

HMODULE loadUnderProgramFolder(const std::string& path, std::string& refusal) {
    leaveCurrentFolderOutOfSearch();
    const LibraryFolder folder;
    if (!folder.entered()) {
        refusal = folder.refusal();
        return nullptr;
    }
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The first file found is the one: like the system's own search, a library
// that is there but does not load ends the search instead of quietly giving
// way to one further down.
std::string foundInSearch(const char* fileName) {
    LibrarySearchFolders folders;
    folders.program = folderOf(moduleFileName(nullptr));
    folders.system = systemString(GetSystemDirectoryA);
    folders.windows = systemString(GetWindowsDirectoryA);
    folders.pathVariable = pathVariable();
    for (const std::string& candidate : libraryCandidates(fileName, folders)) {
        if (isFile(candidate)) return candidate;
    }
    return {};
}

}  // namespace

void lookUpDllDirectoryCall(bool on) { lookUpDllDirectory = on; }

// Calls may overlap on two threads: the first one in moves the process to
// the program's folder, the last one out moves it back.
struct SharedFolderMove {
    Mutex mutex;
    int holders = 0;
    std::string before;
};

SharedFolderMove& folderMove() {
    static SharedFolderMove move;
    return move;
}

LibraryFolder::LibraryFolder() {
    SharedFolderMove& move = folderMove();
    const LockGuard guard(move.mutex);
    if (move.holders > 0) {
        ++move.holders;
        return;
    }
    const std::string program = programFolderKept();
    const std::string current = currentFolderKept();
    if (program.empty() || current.empty()) {
        refusal_ = "the program's folder or the current folder cannot be told, so the current folder, where DLLs "
                   "the library loads by name are looked for, could be one users may add files to";
        return;
    }
    if (!enterFolderKept(program)) {
        refusal_ = "the program's folder " + folderAsShown(program) + " cannot be made the current folder (system error " +
                   std::to_string(GetLastError()) + "), and DLLs the library loads by name would be looked for in " +
                   folderAsShown(current) + ", which users may add files to";
        return;
    }
    move.before = current;
    move.holders = 1;
}

LibraryFolder::~LibraryFolder() {
    if (!refusal_.empty()) return;
    SharedFolderMove& move = folderMove();
    const LockGuard guard(move.mutex);
    if (--move.holders == 0) enterFolderKept(move.before);
}

bool DynamicLibrary::open(const char* name) {
    close();
    refusal_.clear();
    if (!name || !*name) return false;
    // Loaded by its full path with the altered search order, the library's
    // own dependencies are looked for in its folder first. A relative name
    // is made whole here, while the folder it was given against is current.
    std::string path;
    if (std::string(name).find_first_of("\\/") != std::string::npos) {
        path = fullPathOf(name);
        if (path.empty()) refusal_ = std::string("the path ") + name + " cannot be made whole";
    } else {
        path = foundInSearch(name);
    }
    if (!path.empty()) module_ = loadUnderProgramFolder(path, refusal_);
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
