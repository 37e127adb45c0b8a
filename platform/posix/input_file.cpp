#include "platform/input_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/system_file_fault.h"

namespace spelvane::platform {

InputFile::~InputFile() {
    if (handle_ != kClosed) ::close(static_cast<int>(handle_));
}

bool InputFile::open(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        missing_ = errno == ENOENT;
        return fail(fileFaultOf(errno));
    }
    handle_ = descriptor;
    struct stat status {};
    if (fstat(descriptor, &status) != 0) return fail(fileFaultOf(errno));
    // A folder opens for reading here, and reads as an error later.
    if (S_ISDIR(status.st_mode)) return fail(FileFault::Folder);
    return true;
}

bool InputFile::size(uint64_t& bytes) {
    struct stat status {};
    if (handle_ == kClosed || fstat(static_cast<int>(handle_), &status) != 0) return fail(fileFaultOf(errno));
    bytes = static_cast<uint64_t>(status.st_size);
    return true;
}

bool InputFile::readAt(uint64_t offset, void* data, size_t bytes, size_t& got) {
    got = 0;
    char* next = static_cast<char*>(data);
    while (got < bytes) {
        const ssize_t read = pread(static_cast<int>(handle_), next + got, bytes - got, static_cast<off_t>(offset + got));
        if (read < 0 && errno == EINTR) continue;
        if (read < 0) return fail(fileFaultOf(errno));
        if (read == 0) break;
        got += static_cast<size_t>(read);
    }
    countRead(got);
    return true;
}

}  // namespace spelvane::platform
