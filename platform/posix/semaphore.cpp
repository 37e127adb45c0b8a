#include "platform/semaphore.h"

#include <semaphore.h>

#include <cerrno>

namespace spelvane::platform {

// POSIX semaphores have no maximum count; the slots only ever release what
// they took, so a count of 1 is never exceeded.
Semaphore::Semaphore(long initialCount, long /*maximumCount*/) {
    auto* semaphore = new sem_t;
    if (sem_init(semaphore, 0, static_cast<unsigned>(initialCount)) != 0) {
        delete semaphore;
        return;
    }
    handle_ = semaphore;
}

Semaphore::~Semaphore() {
    if (handle_) {
        auto* semaphore = static_cast<sem_t*>(handle_);
        sem_destroy(semaphore);
        delete semaphore;
    }
}

void Semaphore::wait() {
    if (!handle_) return;
    while (sem_wait(static_cast<sem_t*>(handle_)) != 0 && errno == EINTR) {
    }
}

void Semaphore::release() {
    if (handle_) sem_post(static_cast<sem_t*>(handle_));
}

}  // namespace spelvane::platform
