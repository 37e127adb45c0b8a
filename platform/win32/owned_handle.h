#pragma once
// A kernel handle this code opened and closes: a file, a folder, a token.
// The calls that make one answer failure with null or INVALID_HANDLE_VALUE,
// by kind; both read as no handle.
#include <windows.h>

namespace spelvane::platform {

class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() {
        if (valid()) CloseHandle(handle_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // For the calls that hand a handle out through a pointer; only while none is held.
    HANDLE* out() { return &handle_; }
    // Closes the one held, if any, and holds handle instead.
    void reset(HANDLE handle = nullptr) {
        if (valid()) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace spelvane::platform
