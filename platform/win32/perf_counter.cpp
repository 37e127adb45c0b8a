#include "platform/perf_counter.h"

#include <windows.h>

namespace spelvane::platform {

bool performanceCounter(int64_t& ticks) {
    LARGE_INTEGER value;
    if (!QueryPerformanceCounter(&value)) return false;
    ticks = value.QuadPart;
    return true;
}

bool performanceFrequency(int64_t& ticksPerSecond) {
    LARGE_INTEGER value;
    if (!QueryPerformanceFrequency(&value) || value.QuadPart <= 0) return false;
    ticksPerSecond = value.QuadPart;
    return true;
}

}  // namespace spelvane::platform
