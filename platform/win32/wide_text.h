#pragma once
// Text for the system's wide (UTF-16) functions.
#include <windows.h>

#include <string>

namespace spelvane::platform {

// text as UTF-16, read in codePage: CP_ACP for the texts the program reads
// from the system (a reader's name), CP_UTF8 for a folder as the programs
// keep it (files.h). "" when it cannot be converted.
inline std::wstring wideText(const std::string& text, UINT codePage) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

}  // namespace spelvane::platform
