#include "platform/files.h"

#include <climits>
#include <unistd.h>

namespace spelvane::platform {

bool enterFolder(const std::string& folder) { return !folder.empty() && chdir(folder.c_str()) == 0; }

std::string currentFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

std::string wholePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    const std::string folder = currentFolder();
    return folder.empty() ? std::string() : pathInFolder(folder, path);
}

std::string pathInFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// File names are bytes here: nothing is lost.
std::string currentFolderKept() { return currentFolder(); }
bool enterFolderKept(const std::string& folder) { return enterFolder(folder); }
std::string folderAsShown(const std::string& kept) { return kept; }

bool shownWhole(const std::string&) { return true; }

}  // namespace spelvane::platform
