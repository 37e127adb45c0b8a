#include "sim/sim_os.h"

#include <dlfcn.h>
#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/os/sim_os_native.h"

namespace qzsim {

namespace native {

const char kSeparator = '/';
const char kOtherSeparator = '/';
const bool kDriveLetters = false;

bool moveOver(const std::string& from, const std::string& to, std::string& error) {
    if (rename(from.c_str(), to.c_str()) != 0) {
        error = "cannot replace " + to + ": " + strerror(errno);
        remove(from.c_str());
        return false;
    }
    return true;
}

}  // namespace native

std::string environmentVariable(const char* name) {
    const char* value = getenv(name);
    return value ? std::string(value) : std::string();
}

std::string ownDirectory() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ownDirectory), &info) || !info.dli_fname) return {};
    return directoryOf(info.dli_fname);
}

void pinOwnModule() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&pinOwnModule), &info) && info.dli_fname) {
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
}

int64_t monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

void sleepMilliseconds(uint32_t milliseconds) {
    timespec pause{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (milliseconds > 0 && nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

Lock::Lock() : handle_(new pthread_mutex_t) {
    pthread_mutex_init(static_cast<pthread_mutex_t*>(handle_), nullptr);
}
Lock::~Lock() {
    pthread_mutex_destroy(static_cast<pthread_mutex_t*>(handle_));
    delete static_cast<pthread_mutex_t*>(handle_);
}
void Lock::lock() { pthread_mutex_lock(static_cast<pthread_mutex_t*>(handle_)); }
void Lock::unlock() { pthread_mutex_unlock(static_cast<pthread_mutex_t*>(handle_)); }

}  // namespace qzsim
