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

// The way back: wide text in codePage, CP_UTF8 to keep every letter.
inline std::string narrowText(const wchar_t* wide, size_t length, UINT codePage) {
    const int bytes = WideCharToMultiByte(codePage, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, wide, static_cast<int>(length), &text[0], bytes, nullptr, nullptr);
    return text;
}

}  // namespace spelvane::platform
