#include "platform/files.h"

#include <windows.h>

namespace spelvane::platform {

NewFile createNewFile(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return NewFile::Exists;
        // A folder of that name answers "access denied", as a folder that
        // cannot be written does: only the first means the name is taken.
        return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? NewFile::Exists : NewFile::Failed;
    }
    CloseHandle(file);
    return NewFile::Created;
}

std::string currentFolder() {
    char buffer[MAX_PATH + 1];
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

bool enterFolder(const std::string& folder) {
    return !folder.empty() && SetCurrentDirectoryA(folder.c_str()) != 0;
}

}  // namespace spelvane::platform
