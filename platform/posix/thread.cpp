#include "platform/thread.h"

#include <pthread.h>
#include <time.h>

#include <cerrno>

namespace spelvane::platform {
namespace {

struct ThreadStart {
    Thread::Routine routine;
    void* parameter;
};

void* trampoline(void* raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    start.routine(start.parameter);
    return nullptr;
}

struct EventState {
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    bool signalled;
};

}  // namespace

bool Thread::start(Routine routine, void* parameter) {
    close();
    auto* thread = new pthread_t;
    auto* startInfo = new ThreadStart{routine, parameter};
    if (pthread_create(thread, nullptr, trampoline, startInfo) != 0) {
        delete startInfo;
        delete thread;
        return false;
    }
    handle_ = thread;
    return true;
}

void Thread::join() {
    if (!handle_) return;
    auto* thread = static_cast<pthread_t*>(handle_);
    pthread_join(*thread, nullptr);
    delete thread;
    handle_ = nullptr;
}

void Thread::close() {
    if (!handle_) return;
    auto* thread = static_cast<pthread_t*>(handle_);
    pthread_detach(*thread);
    delete thread;
    handle_ = nullptr;
}

ManualResetEvent::ManualResetEvent() {
    auto* state = new EventState;
    pthread_mutex_init(&state->mutex, nullptr);
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&state->condition, &attributes);
    pthread_condattr_destroy(&attributes);
    state->signalled = false;
    handle_ = state;
}

ManualResetEvent::~ManualResetEvent() {
    auto* state = static_cast<EventState*>(handle_);
    pthread_cond_destroy(&state->condition);
    pthread_mutex_destroy(&state->mutex);
    delete state;
}

void ManualResetEvent::set() {
    auto* state = static_cast<EventState*>(handle_);
    pthread_mutex_lock(&state->mutex);
    state->signalled = true;
    pthread_cond_broadcast(&state->condition);
    pthread_mutex_unlock(&state->mutex);
}

void ManualResetEvent::reset() {
    auto* state = static_cast<EventState*>(handle_);
    pthread_mutex_lock(&state->mutex);
    state->signalled = false;
    pthread_mutex_unlock(&state->mutex);
}

bool ManualResetEvent::isSet() const {
    auto* state = static_cast<EventState*>(handle_);
    pthread_mutex_lock(&state->mutex);
    bool signalled = state->signalled;
    pthread_mutex_unlock(&state->mutex);
    return signalled;
}

bool ManualResetEvent::wait(uint32_t timeoutMilliseconds) {
    auto* state = static_cast<EventState*>(handle_);
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeoutMilliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMilliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&state->mutex);
    while (!state->signalled) {
        if (timeoutMilliseconds == kWaitForever) {
            pthread_cond_wait(&state->condition, &state->mutex);
        } else if (pthread_cond_timedwait(&state->condition, &state->mutex, &deadline) == ETIMEDOUT) {
            break;
        }
    }
    bool signalled = state->signalled;
    pthread_mutex_unlock(&state->mutex);
    return signalled;
}

}  // namespace spelvane::platform
