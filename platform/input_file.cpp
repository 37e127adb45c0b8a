#include "platform/input_file.h"

#include <atomic>

namespace spelvane::platform {

namespace {
std::atomic<uint64_t> bytesRead{0};
}  // namespace

void InputFile::countRead(size_t bytes) { bytesRead.fetch_add(bytes, std::memory_order_relaxed); }

uint64_t InputFile::bytesReadInProcess() { return bytesRead.load(std::memory_order_relaxed); }

bool InputFile::fail(FileFault fault) {
    fault_ = fault;
    return false;
}

FileFault readFault(const std::string& path) {
    InputFile file;
    if (file.open(path)) return FileFault::None;
    if (file.missing()) return FileFault::Missing;
    return file.fault() == FileFault::None ? FileFault::Other : file.fault();
}

}  // namespace spelvane::platform
