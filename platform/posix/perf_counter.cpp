#include "platform/perf_counter.h"

#include <time.h>

namespace spelvane::platform {

bool performanceCounter(int64_t& ticks) {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
    ticks = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
    return true;
}

bool performanceFrequency(int64_t& ticksPerSecond) {
    ticksPerSecond = 1000000000;
    return true;
}

}  // namespace spelvane::platform
