#include "platform/workstation_folder.h"

#include <windows.h>

#include "platform/dynamic_library.h"
#include "platform/win32/registry_key.h"

namespace spelvane::platform {
namespace {

constexpr int kCommonAppData = 0x23;  // CSIDL_COMMON_APPDATA
constexpr const char* kFolderName = "Spelvane";

std::string systemFolder() {
    char buffer[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryA(buffer, sizeof buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

// shell32 is no import of ours (a console program should not load the
// shell at start); loaded by its full path, it cannot be a planted copy.
std::string commonAppDataFromShell() {
    using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    const std::string system = systemFolder();
    if (system.empty()) return {};
    DynamicLibrary shell;
    if (!shell.open((system + "\\shell32.dll").c_str())) return {};
    const auto getFolderPath = reinterpret_cast<GetFolderPath>(shell.symbol("SHGetFolderPathA"));
    if (!getFolderPath) return {};
    char path[MAX_PATH + 1] = {};
    if (getFolderPath(nullptr, kCommonAppData, nullptr, 0, path) != S_OK) return {};
    return path;
}

// Where the shell keeps the same answer; its "Application Data" carries the
// system language's name, which is why no path is built by hand.
std::string commonAppDataFromRegistry() {
    const RegistryKey key(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    if (!key.get()) return {};
    char path[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    DWORD type = 0;
    const LONG status =
        RegQueryValueExA(key.get(), "Common AppData", nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::string(path) : std::string();
}

}  // namespace

std::string workstationFolder() {
    std::string common = commonAppDataFromShell();
    if (common.empty()) common = commonAppDataFromRegistry();
    if (common.empty()) return {};
    if (common.back() != '\\') common += '\\';
    return common + kFolderName;
}

std::string programFolder() {
    char path[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return {};
    const std::string file(path, length);
    const size_t slash = file.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

bool folderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return !path.empty() && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace spelvane::platform
