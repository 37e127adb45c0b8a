#include "platform/files.h"

#include <climits>
#include <unistd.h>

namespace spelvane::platform {

bool enterFolder(const std::string& folder) { return !folder.empty() && chdir(folder.c_str()) == 0; }

// File names are bytes here: nothing is lost.
std::string currentFolderKept() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}
bool enterFolderKept(const std::string& folder) { return enterFolder(folder); }

}  // namespace spelvane::platform
