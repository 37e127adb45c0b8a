#include "platform/win32/system_file_fault.h"

namespace spelvane::platform {

FileFault fileFaultOf(DWORD error, const std::string& path) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return FileFault::InUse;
    case ERROR_WRITE_PROTECT: return FileFault::ReadOnly;
    case ERROR_ACCESS_DENIED: {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return FileFault::Folder;
        const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
        return readOnly ? FileFault::ReadOnly : FileFault::Denied;
    }
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return FileFault::DiskFull;
    default: return FileFault::Other;
    }
}

}  // namespace spelvane::platform
