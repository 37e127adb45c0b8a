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
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return FileFault::Missing;
    // A UNC path whose workstation is off, or whose share is not there.
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NETNAME_DELETED:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_REM_NOT_LIST: return FileFault::Unreachable;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return FileFault::DiskFull;
    default: return FileFault::Other;
    }
}

}  // namespace spelvane::platform
