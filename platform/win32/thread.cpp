#include "platform/thread.h"

#include <windows.h>

namespace spelvane::platform {
namespace {

struct ThreadStart {
    Thread::Routine routine;
    void* parameter;
};

DWORD WINAPI trampoline(LPVOID raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    return start.routine(start.parameter);
}

}  // namespace

bool Thread::start(Routine routine, void* parameter) {
    close();
    auto* startInfo = new ThreadStart{routine, parameter};
    DWORD threadId = 0;
    handle_ = CreateThread(nullptr, 0, trampoline, startInfo, 0, &threadId);
    if (!handle_) {
        delete startInfo;
        return false;
    }
    return true;
}

void Thread::join() {
    if (handle_) WaitForSingleObject(handle_, INFINITE);
}

void Thread::close() {
    if (handle_) {
        CloseHandle(handle_);
        handle_ = nullptr;
    }
}

ManualResetEvent::ManualResetEvent() { handle_ = CreateEventA(nullptr, TRUE, FALSE, nullptr); }

ManualResetEvent::~ManualResetEvent() {
    if (handle_) CloseHandle(handle_);
}

void ManualResetEvent::set() { SetEvent(handle_); }

void ManualResetEvent::reset() { ResetEvent(handle_); }

bool ManualResetEvent::isSet() const { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }

bool ManualResetEvent::wait(uint32_t timeoutMilliseconds) {
    DWORD timeout = timeoutMilliseconds == kWaitForever ? INFINITE : timeoutMilliseconds;
    return WaitForSingleObject(handle_, timeout) == WAIT_OBJECT_0;
}

}  // namespace spelvane::platform
