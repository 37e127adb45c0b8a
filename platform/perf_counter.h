#pragma once
#include <cstdint>

namespace spelvane::platform {

// High-resolution monotonic counter. Both return false when the system
// cannot answer; the caller decides what a missing reading means.
bool performanceCounter(int64_t& ticks);
bool performanceFrequency(int64_t& ticksPerSecond);

}  // namespace spelvane::platform
