#pragma once
// A file read in pieces at any place, however large (beyond 4 GB on a
// 32-bit system too), while other programs append to it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_fault.h"

namespace spelvane::platform {

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens path for reading, letting others read and write it meanwhile.
    // False with missing() for a file that is not there, or with fault()
    // (Folder for a folder of that name).
    bool open(const std::string& path);
    bool missing() const { return missing_; }
    FileFault fault() const { return fault_; }

    // Its size now.
    bool size(uint64_t& bytes);
    // Reads up to bytes from offset on; got is less only at the end.
    bool readAt(uint64_t offset, void* data, size_t bytes, size_t& got);

    // The bytes every InputFile of this process has read so far: what a
    // command costs grows with what it reads, and a test holds it to a bound.
    static uint64_t bytesReadInProcess();

private:
    bool fail(FileFault fault);
    static void countRead(size_t bytes);
    static constexpr intptr_t kClosed = -1;
    intptr_t handle_ = kClosed;
    bool missing_ = false;
    FileFault fault_ = FileFault::None;
};

// Why path cannot be opened for reading now (Missing when it is not
// there); None when it can. For a file another call could not open, to
// tell the operator why.
FileFault readFault(const std::string& path);

}  // namespace spelvane::platform
