#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace spelvane::platform {

bool flushFileNow(intptr_t handle) { return fsync(static_cast<int>(handle)) == 0; }

// The folder holds the file's name: without this a new file can be lost
// whole, data and all, in a power cut after its own fsync.
bool flushFolderNow(const std::string& folder) {
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return false;
    // Some file systems cannot flush a folder (EINVAL): they keep names in
    // order with the data themselves.
    const bool flushed = flushFileNow(descriptor) || errno == EINVAL;
    const int error = errno;
    ::close(descriptor);
    errno = error;
    return flushed;
}

}  // namespace spelvane::platform
