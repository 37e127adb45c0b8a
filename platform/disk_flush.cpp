#include "platform/disk_flush.h"

#include <atomic>

namespace spelvane::platform {

// The system calls themselves, in platform/<system>/disk_flush.cpp.
bool flushFileNow(intptr_t handle);
bool flushFolderNow(const std::string& folder);

namespace {

std::atomic<uint64_t> filesFlushed{0};
std::atomic<uint64_t> foldersFlushed{0};

class SystemDiskFlush final : public DiskFlush {
public:
    bool flushFile(intptr_t handle, const std::string&) override {
        if (!flushFileNow(handle)) return false;
        ++filesFlushed;
        return true;
    }
    bool flushFolder(const std::string& folder) override {
        if (!flushFolderNow(folder)) return false;
        ++foldersFlushed;
        return true;
    }
};

SystemDiskFlush& systemOne() {
    static SystemDiskFlush flush;
    return flush;
}

std::atomic<DiskFlush*> current{nullptr};

}  // namespace

DiskFlush& diskFlush() {
    DiskFlush* replacement = current.load();
    return replacement ? *replacement : systemOne();
}

void setDiskFlush(DiskFlush* replacement) { current.store(replacement); }

DiskFlush& systemDiskFlush() { return systemOne(); }

DiskFlushCount systemDiskFlushes() { return {filesFlushed.load(), foldersFlushed.load()}; }

}  // namespace spelvane::platform
