#include "platform/workstation_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace spelvane::platform {

std::string workstationFolder() {
    // The variable stands in for the all-users folder, so that tests can
    // give each run a folder of its own.
    const char* folder = std::getenv("SPELVANE_WORKSTATION_DIR");
    if (folder) return folder;
    return "/var/lib/spelvane";
}

std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    const std::string file(path, static_cast<size_t>(length));
    const size_t slash = file.find_last_of('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash == 0 ? 1 : slash);
}

bool folderExists(const std::string& path) {
    struct stat status {};
    return !path.empty() && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace spelvane::platform
