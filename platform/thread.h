#pragma once
#include <cstdint>

namespace spelvane::platform {

constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

// A thread that runs at once. The handle is kept until close() or
// destruction; join() waits for the end without closing it.
class Thread {
public:
    using Routine = unsigned (*)(void* parameter);

    Thread() = default;
    ~Thread() { close(); }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool start(Routine routine, void* parameter);
    bool valid() const { return handle_ != nullptr; }
    void join();
    void close();  // forget the thread; a running thread goes on (detached)

private:
    void* handle_ = nullptr;
};

// Manual-reset event: stays signalled until reset.
class ManualResetEvent {
public:
    ManualResetEvent();
    ~ManualResetEvent();
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    bool valid() const { return handle_ != nullptr; }
    void set();
    void reset();
    bool isSet() const;
    bool wait(uint32_t timeoutMilliseconds);  // true when signalled

private:
    void* handle_ = nullptr;
};

}  // namespace spelvane::platform
