#include "platform/shared_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace spelvane::platform {

// The sticky bit keeps each file to its owner's removal; what others may
// write is the file's own mode.
bool openFolderToAllUsers(const std::string& folder, std::string& error) {
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        error = "cannot create " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (chmod(folder.c_str(), 01777) != 0) {
        error = "cannot open " + folder + " to every user: " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace spelvane::platform
