#include "platform/output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/disk_flush.h"
#include "platform/posix/system_file_fault.h"

namespace spelvane::platform {
namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

NewFile OutputFile::createNew(const std::string& path) {
    beginOpening(path, false);
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        fault_ = errno == EEXIST ? FileFault::None : fileFaultOf(errno);
        return errno == EEXIST ? NewFile::Exists : NewFile::Failed;
    }
    opened(descriptor);
    return NewFile::Created;
}

bool OutputFile::openForAppend(const std::string& path) {
    beginOpening(path, true);
    const int descriptor = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) return fail(fileFaultOf(errno));
    return opened(descriptor);
}

bool OutputFile::size(uint64_t& bytes) {
    struct stat status {};
    if (!isOpen()) return fail(FileFault::Other);
    if (fstat(static_cast<int>(handle_), &status) != 0) return fail(fileFaultOf(errno));
    bytes = static_cast<uint64_t>(status.st_size);
    return true;
}

bool OutputFile::lastByte(char& byte) {
    uint64_t bytes = 0;
    if (!size(bytes) || bytes == 0) return false;
    const ssize_t got = pread(static_cast<int>(handle_), &byte, 1, static_cast<off_t>(bytes - 1));
    return got == 1 || fail(got < 0 ? fileFaultOf(errno) : FileFault::Other);
}

bool OutputFile::write(const void* data, size_t bytes) {
    if (!isOpen()) return fail(FileFault::Other);
    const char* next = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t written = ::write(static_cast<int>(handle_), next, bytes);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return fail(written < 0 ? fileFaultOf(errno) : FileFault::DiskFull);
        next += written;
        bytes -= static_cast<size_t>(written);
    }
    return true;
}

// O_APPEND alone keeps each write whole on a local disk, not on a network
// file system, nor does it keep the look at the last byte with the write
// that follows it: flock (carried to the server by NFS and SMB mounts) does.
bool OutputFile::lockAppends() {
    if (!isOpen()) return fail(FileFault::Other);
    while (flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return fail(FileFault::InUse);
        if (errno != EINTR) return fail(fileFaultOf(errno));
    }
    return true;
}

void OutputFile::unlockAppends() {
    if (isOpen()) flock(static_cast<int>(handle_), LOCK_UN);
}

bool OutputFile::flushDurably() {
    if (!isOpen()) return fail(FileFault::Other);
    errno = 0;
    if (!diskFlush().flushFile(handle_, path_)) return fail(errno ? fileFaultOf(errno) : FileFault::Other);
    if (!folderFlushed_) {
        errno = 0;
        if (!diskFlush().flushFolder(folderOf(path_))) return fail(errno ? fileFaultOf(errno) : FileFault::Other);
        folderFlushed_ = true;
    }
    return true;
}

bool OutputFile::close() {
    if (!isOpen()) return true;
    const int descriptor = static_cast<int>(handle_);
    handle_ = kClosed;
    return ::close(descriptor) == 0 || fail(fileFaultOf(errno));
}

}  // namespace spelvane::platform
