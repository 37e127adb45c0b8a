#include "platform/file_replace.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "platform/disk_flush.h"

namespace spelvane::platform {

// The new name is on disk once the folder that holds it is.
bool replaceFile(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) return false;
    const size_t slash = to.rfind('/');
    return diskFlush().flushFolder(slash == std::string::npos ? "." : to.substr(0, slash == 0 ? 1 : slash));
}

bool removeFile(const std::string& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

}  // namespace spelvane::platform
