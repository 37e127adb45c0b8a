#include "platform/file_fault.h"

namespace spelvane::platform {

const char* describeFileFault(FileFault fault) {
    switch (fault) {
    case FileFault::None: return "";
    case FileFault::InUse: return "it is in use by another program";
    case FileFault::ReadOnly: return "it is read-only";
    case FileFault::Denied: return "access is denied";
    case FileFault::DiskFull: return "the disk is full";
    case FileFault::Folder: return "it is a folder, not a file: move or rename the folder";
    case FileFault::Other: return "the system refused it";
    }
    return "";
}

}  // namespace spelvane::platform
