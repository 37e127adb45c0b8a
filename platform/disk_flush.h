#pragma once
// The system's flush to the disk, as the output file asks for it: fsync of
// a file and of its folder natively, FlushFileBuffers on Windows. It is a
// seam like the clock (platform/timing.h): tests put a fake in its place to
// see which file was flushed when, or to have a disk that refuses, and the
// system's own one counts the flushes the system confirmed, so that a test
// tells a flush that reached the system from one that was only promised.
#include <cstdint>
#include <string>

namespace spelvane::platform {

class DiskFlush {
public:
    virtual ~DiskFlush() = default;
    // What was written through handle (an OutputFile's) is on the disk.
    virtual bool flushFile(intptr_t handle, const std::string& path) = 0;
    // The folder's names are on the disk (natively; Windows has no such call).
    virtual bool flushFolder(const std::string& folder) = 0;
};

DiskFlush& diskFlush();
void setDiskFlush(DiskFlush* replacement);  // null restores the system's
DiskFlush& systemDiskFlush();

struct DiskFlushCount {
    uint64_t files = 0;
    uint64_t folders = 0;
};
// The flushes the system confirmed so far, in this process.
DiskFlushCount systemDiskFlushes();

}  // namespace spelvane::platform
