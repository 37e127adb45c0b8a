#include "platform/files.h"

#include <windows.h>

namespace spelvane::platform {

std::string currentFolder() {
    char buffer[MAX_PATH + 1];
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

bool enterFolder(const std::string& folder) {
    return !folder.empty() && SetCurrentDirectoryA(folder.c_str()) != 0;
}

}  // namespace spelvane::platform
