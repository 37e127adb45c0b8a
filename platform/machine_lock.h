#pragma once
// A lock that one process on the machine holds at a time, named so that
// every program of ours finds the same one. Taking it never waits: a program
// that finds it held is told so and decides what to do. The lock goes with
// the process, so a program that crashes cannot leave it taken.

namespace spelvane::platform {

class MachineLock {
public:
    MachineLock() = default;
    ~MachineLock() { release(); }
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

    // True when this object holds the lock now (also when it did before);
    // false when another holder has it, or it cannot be made at all.
    bool tryAcquire(const char* name);
    void release();
    bool held() const { return handle_ != nullptr; }
    // Whether some process holds the lock now, asked without taking it: a
    // program that starts at that moment must still find it free.
    static bool heldAnywhere(const char* name);

private:
    void* handle_ = nullptr;
};

}  // namespace spelvane::platform
