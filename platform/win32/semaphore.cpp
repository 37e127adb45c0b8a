#include "platform/semaphore.h"

#include <windows.h>

namespace spelvane::platform {

Semaphore::Semaphore(long initialCount, long maximumCount) {
    handle_ = CreateSemaphoreA(nullptr, initialCount, maximumCount, nullptr);
}

Semaphore::~Semaphore() {
    if (handle_) CloseHandle(handle_);
}

void Semaphore::wait() {
    if (handle_) WaitForSingleObject(handle_, INFINITE);
}

void Semaphore::release() {
    if (handle_) ReleaseSemaphore(handle_, 1, nullptr);
}

}  // namespace spelvane::platform
