#include "platform/output_file.h"

#include <utility>

namespace spelvane::platform {
namespace {

DurableFlushHook& flushHook() {
    static DurableFlushHook hook;
    return hook;
}

}  // namespace

const char* describeFileFault(FileFault fault) {
    switch (fault) {
    case FileFault::None: return "";
    case FileFault::InUse: return "it is in use by another program";
    case FileFault::ReadOnly: return "it is read-only";
    case FileFault::Denied: return "access is denied";
    case FileFault::DiskFull: return "the disk is full";
    case FileFault::Other: return "the system refused it";
    }
    return "";
}

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

void setDurableFlushHook(DurableFlushHook hook) { flushHook() = std::move(hook); }

bool durableFlushAllowed(const std::string& path) {
    const DurableFlushHook& hook = flushHook();
    return !hook || hook(path);
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
