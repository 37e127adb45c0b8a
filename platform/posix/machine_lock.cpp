#include "platform/machine_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace spelvane::platform {
namespace {

// The POSIX build runs only the tests. Its lock is a file beside the
// executable, so that the programs of one build tree share it while the
// trees built side by side (the sanitizer builds, other work trees) never
// take each other's. A test that runs beside others of the same tree names
// a folder of its own in SPELVANE_LOCK_DIR, so that tests run in parallel
// only meet the programs they start themselves. The name's Windows
// namespace prefix is dropped.
std::string lockFolder() {
    const char* chosen = std::getenv("SPELVANE_LOCK_DIR");
    if (chosen && *chosen) return std::string(chosen) + "/";
    char executable[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", executable, sizeof(executable) - 1);
    if (length <= 0) return {};
    std::string folder(executable, static_cast<size_t>(length));
    folder.erase(folder.rfind('/') + 1);
    return folder;
}

std::string lockFilePath(const char* name) {
    std::string folder = lockFolder();
    if (folder.empty()) return {};
    std::string base(name);
    const size_t prefix = base.rfind('\\');
    if (prefix != std::string::npos) base.erase(0, prefix + 1);
    return folder + base + ".lock";
}

}  // namespace

// flock belongs to the open file, not to a thread, and goes when the
// process ends; a second open of the same file, in this process or
// another, finds it held.
bool MachineLock::tryAcquire(const char* name) {
    if (handle_) return true;
    const std::string path = lockFilePath(name);
    if (path.empty()) return false;
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) return false;
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return false;
    }
    // Stored as descriptor + 1, so that descriptor 0 is not taken for "none".
    handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(descriptor) + 1);
    return true;
}

// A shared lock conflicts only with the holder's exclusive one, and is given
// back at once.
bool MachineLock::heldAnywhere(const char* name) {
    const std::string path = lockFilePath(name);
    if (path.empty()) return false;
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool held = flock(descriptor, LOCK_SH | LOCK_NB) != 0;
    ::close(descriptor);
    return held;
}

void MachineLock::release() {
    if (handle_) {
        ::close(static_cast<int>(reinterpret_cast<intptr_t>(handle_) - 1));
        handle_ = nullptr;
    }
}

}  // namespace spelvane::platform
