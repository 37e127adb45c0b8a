#include "platform/shared_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace spelvane::platform {
namespace {

class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() {
        if (descriptor_ >= 0) close(descriptor_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return descriptor_; }

private:
    int descriptor_;
};

bool failed(const char* what, const std::string& path, std::string& error) {
    error = std::string("cannot ") + what + " " + path + ": " + std::strerror(errno);
    return false;
}

bool refused(const std::string& path, const char* why, std::string& error) {
    error = "refusing " + path + ": " + why + "; remove it and install again";
    return false;
}

// O_NOFOLLOW refuses to open a link (ELOOP, or ENOTDIR with O_DIRECTORY):
// what the link leads to is never opened.
bool openedItself(int descriptor, const std::string& path, std::string& error) {
    if (descriptor >= 0) return true;
    const int code = errno;
    struct stat status {};
    if (lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode))
        return refused(path, "it is a symbolic link, not a folder or file of its own", error);
    errno = code;
    return failed("open", path, error);
}

// A history that is a link, has a second name or is no plain file goes
// aside under another name, never removed, and a new one is made.
bool putAside(int folder, const std::string& history, const std::string& path, const char* why,
              SharedFolderReport& report, std::string& error) {
    for (int number = 1; number < 100; ++number) {
        const std::string aside = history + ".aside-" + std::to_string(number);
        struct stat status {};
        if (fstatat(folder, aside.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) continue;
        if (renameat(folder, history.c_str(), folder, aside.c_str()) != 0) return failed("rename aside", path, error);
        report.historyAside = path + ": " + why + "; renamed " + aside + " and made anew";
        return true;
    }
    errno = EEXIST;
    return failed("rename aside", path, error);
}

const char* foreignHistory(int folder, const std::string& history) {
    struct stat status {};
    if (fstatat(folder, history.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return nullptr;
    if (S_ISLNK(status.st_mode)) return "a symbolic link, not followed";
    if (!S_ISREG(status.st_mode)) return "not a plain file";
    if (status.st_nlink != 1) return "it has more than one name (a hard link)";
    if (status.st_uid != 0 && status.st_uid != geteuid()) return "another account made it";
    return nullptr;
}

}  // namespace

// The walk below the folder is Windows's alone.
void setWalkWitness(WalkWitness*) {}

// The sticky bit keeps each file to its owner's removal; the history is
// every user's to append to, which POSIX cannot grant without rewriting.
// POSIX passes no rights on from a folder, so nothing below it is walked.
bool prepareSharedFolder(const std::string& folder, const std::string& history, SharedFolderReport& report,
                         std::string& error) {
    report.folder = folder;
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return failed("create", folder, error);
    const Descriptor own(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!openedItself(own.get(), folder, error)) return false;
    struct stat status {};
    if (fstat(own.get(), &status) != 0) return failed("look at", folder, error);
    if (status.st_uid != 0 && status.st_uid != geteuid())
        return refused(folder, "its owner is not root, so another account made it", error);
    if (fchmod(own.get(), 01777) != 0) return failed("open to every user", folder, error);

    const std::string path = folder + "/" + history;
    const char* why = foreignHistory(own.get(), history);
    if (why && !putAside(own.get(), history, path, why, report, error)) return false;
    const Descriptor record(openat(own.get(), history.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!openedItself(record.get(), path, error)) return false;
    if (fstat(record.get(), &status) != 0) return failed("look at", path, error);
    if (!S_ISREG(status.st_mode)) return refused(path, "it is not a plain file", error);
    if (status.st_nlink != 1) return refused(path, "it has more than one name (a hard link)", error);
    if (fchown(record.get(), geteuid(), static_cast<gid_t>(-1)) != 0 || fchmod(record.get(), 0666) != 0)
        return failed("open to every user", path, error);
    return true;
}

}  // namespace spelvane::platform
