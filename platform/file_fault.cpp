#include "platform/file_fault.h"

#include "platform/files.h"

namespace spelvane::platform {

const char* describeFileFault(FileFault fault) {
    switch (fault) {
    case FileFault::None: return "";
    case FileFault::InUse: return "it is in use by another program";
    case FileFault::ReadOnly: return "it is read-only";
    case FileFault::Denied: return "access is denied";
    case FileFault::DiskFull: return "the disk is full";
    case FileFault::Folder: return "it is a folder, not a file: move or rename the folder";
    case FileFault::Missing: return "it does not exist";
    case FileFault::Unreachable: return "its computer or share cannot be reached";
    case FileFault::Other: return "the system refused it";
    }
    return "";
}

std::string fileFaultMessage(const char* verb, const std::string& path, FileFault fault) {
    const std::string whole = wholePath(path);
    return std::string("cannot ") + verb + " " + (whole.empty() ? path : whole) + ": " + describeFileFault(fault);
}

}  // namespace spelvane::platform
