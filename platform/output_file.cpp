#include "platform/output_file.h"

#include <utility>

namespace spelvane::platform {
void OutputFile::beginOpening(const std::string& path, bool appending) {
    close();
    path_ = path;
    appending_ = appending;
    folderFlushed_ = false;
}

bool OutputFile::opened(intptr_t handle) {
    handle_ = handle;
    fault_ = FileFault::None;
    return true;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)),
      path_(std::move(other.path_)),
      fault_(other.fault_),
      appending_(other.appending_),
      folderFlushed_(other.folderFlushed_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kClosed);
        path_ = std::move(other.path_);
        fault_ = other.fault_;
        appending_ = other.appending_;
        folderFlushed_ = other.folderFlushed_;
    }
    return *this;
}

OutputFile::~OutputFile() { close(); }

bool OutputFile::fail(FileFault fault) {
    fault_ = fault;
    return false;
}

}  // namespace spelvane::platform
