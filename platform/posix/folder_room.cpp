#include "platform/folder_room.h"

#include <sys/statvfs.h>
#include <unistd.h>

namespace spelvane::platform {

bool folderTakesNewFiles(const std::string& folder) { return access(folder.c_str(), W_OK | X_OK) == 0; }

bool folderFreeBytes(const std::string& folder, uint64_t& bytes) {
    struct statvfs disk {};
    if (statvfs(folder.c_str(), &disk) != 0) return false;
    bytes = static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize;
    return true;
}

}  // namespace spelvane::platform
