#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace spelvane::platform {

NewFile createNewFile(const char* path) {
    const int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (descriptor < 0) return errno == EEXIST ? NewFile::Exists : NewFile::Failed;
    close(descriptor);
    return NewFile::Created;
}

std::string currentFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool enterFolder(const std::string& folder) { return !folder.empty() && chdir(folder.c_str()) == 0; }

}  // namespace spelvane::platform
