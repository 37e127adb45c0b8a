#include "platform/posix/system_file_fault.h"

#include <cerrno>

namespace spelvane::platform {

FileFault fileFaultOf(int error) {
    switch (error) {
    case EROFS: return FileFault::ReadOnly;
    case EACCES:
    case EPERM: return FileFault::Denied;
    case ENOSPC:
    case EDQUOT: return FileFault::DiskFull;
    case EBUSY:
    case ETXTBSY:
    case EAGAIN: return FileFault::InUse;
    case EISDIR: return FileFault::Folder;
    case ENOENT:
    case ENOTDIR: return FileFault::Missing;
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN: return FileFault::Unreachable;
    default: return FileFault::Other;
    }
}

}  // namespace spelvane::platform
