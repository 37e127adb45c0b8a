#include "platform/mutex.h"

#include <pthread.h>

namespace spelvane::platform {

Mutex::Mutex() {
    auto* mutex = new pthread_mutex_t;
    pthread_mutex_init(mutex, nullptr);
    handle_ = mutex;
}

Mutex::~Mutex() {
    auto* mutex = static_cast<pthread_mutex_t*>(handle_);
    pthread_mutex_destroy(mutex);
    delete mutex;
}

void Mutex::lock() { pthread_mutex_lock(static_cast<pthread_mutex_t*>(handle_)); }

void Mutex::unlock() { pthread_mutex_unlock(static_cast<pthread_mutex_t*>(handle_)); }

}  // namespace spelvane::platform
