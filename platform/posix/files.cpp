#include "platform/files.h"

#include <climits>
#include <unistd.h>

namespace spelvane::platform {

std::string currentFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool enterFolder(const std::string& folder) { return !folder.empty() && chdir(folder.c_str()) == 0; }

}  // namespace spelvane::platform
