#pragma once
// A disk that takes part of a write, as a full one does: while the object
// lives, no file this process writes grows beyond the given size. The write
// that crosses it stops there and reports the bytes it wrote; the next one
// fails (EFBIG). POSIX only: the process's file size limit, which needs no
// privilege, unlike mounting a small file system.
#if !defined(_WIN32)
#include <csignal>
#include <cstdint>
#include <sys/resource.h>

namespace spelvane::testing {

class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes) {
        getrlimit(RLIMIT_FSIZE, &before_);
        // Otherwise the system ends the process at the write that fails.
        signalBefore_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = before_;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        held_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &before_);
        std::signal(SIGXFSZ, signalBefore_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool held() const { return held_; }

private:
    rlimit before_{};
    void (*signalBefore_)(int) = SIG_DFL;
    bool held_ = false;
};

}  // namespace spelvane::testing
#endif
