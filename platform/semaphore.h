#pragma once
// Counting semaphore. Device slots use it with count 1, maximum 1, so that one
// request at a time goes to a device; it is released by the thread that took it.

namespace spelvane::platform {

class Semaphore {
public:
    Semaphore(long initialCount, long maximumCount);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    bool valid() const { return handle_ != nullptr; }
    void wait();     // no time limit
    void release();  // by one

private:
    void* handle_ = nullptr;
};

}  // namespace spelvane::platform
