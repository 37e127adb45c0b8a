#include "platform/files.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide_text.h"

namespace spelvane::platform {
namespace {

// The folder is kept in UTF-8 and handed to the wide functions: the ANSI
// ones turn letters outside the code page (a Cyrillic folder on a Western
// Windows) into '?', which names no folder at all.
std::wstring wideOf(const std::string& text) { return wideText(text, CP_UTF8); }

std::string narrowOf(const wchar_t* wide, int length, UINT codePage) {
    return narrowText(wide, static_cast<size_t>(length), codePage);
}

}  // namespace

bool enterFolder(const std::string& folder) {
    return !folder.empty() && SetCurrentDirectoryA(folder.c_str()) != 0;
}

std::string currentFolder() {
    char buffer[MAX_PATH + 1];
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string wholePath(const std::string& path) {
    char buffer[MAX_PATH + 1];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string pathInFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
    return folder + "\\" + name;
}

std::string currentFolderKept() {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return {};
    std::vector<wchar_t> buffer(needed + 1);
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0 || length >= buffer.size()) return {};
    return narrowOf(buffer.data(), static_cast<int>(length), CP_UTF8);
}

bool enterFolderKept(const std::string& folder) {
    const std::wstring wide = wideOf(folder);
    return !wide.empty() && SetCurrentDirectoryW(wide.c_str()) != 0;
}

std::string folderAsShown(const std::string& kept) {
    const std::wstring wide = wideOf(kept);
    return narrowOf(wide.c_str(), static_cast<int>(wide.size()), CP_ACP);
}

bool shownWhole(const std::string& kept) {
    // A system whose ANSI code page is UTF-8 has every letter.
    if (GetACP() == CP_UTF8) return true;
    const std::wstring wide = wideOf(kept);
    if (wide.empty()) return kept.empty();
    // No best fit: a letter the code page lacks counts as lacking, not as
    // its look-alike.
    BOOL lacking = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                          nullptr, 0, nullptr, &lacking);
    return bytes > 0 && !lacking;
}

}  // namespace spelvane::platform
