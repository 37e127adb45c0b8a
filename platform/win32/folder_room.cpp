#include "platform/folder_room.h"

#include <windows.h>

#include "platform/win32/owned_handle.h"
#include "platform/win32/wide_text.h"

namespace spelvane::platform {
namespace {

// The folder as the programs keep it (UTF-8): any name.
std::wstring wide(const std::string& folder) { return wideText(folder, CP_UTF8); }

// The right to add a file, asked of the folder itself: granted only when
// its access list would let this process create one.
bool mayAddAFile(const std::wstring& folder) {
    const OwnedHandle handle(CreateFileW(folder.c_str(), FILE_ADD_FILE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle.valid();
}

}  // namespace

bool folderTakesNewFiles(const std::string& folder) { return mayAddAFile(wide(folder)); }

bool folderFreeBytes(const std::string& folder, uint64_t& bytes) {
    std::wstring path = wide(folder);
    // The call wants a folder name that ends in a separator.
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr)) return false;
    bytes = available.QuadPart;
    return true;
}

}  // namespace spelvane::platform
