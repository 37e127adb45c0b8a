#pragma once
#include <cstdint>

namespace spelvane {

// Everything that depends on the passage of time (request pacing, the fixed
// pauses of a store, the time stamp of a backup) asks this interface, so that
// tests can run with a scripted clock and without sleeping.
class Timing {
public:
    virtual ~Timing() = default;
    virtual bool counter(int64_t& ticks) = 0;
    virtual bool frequency(int64_t& ticksPerSecond) = 0;
    virtual void sleepMs(uint32_t milliseconds) = 0;
    virtual int64_t calendarTime() = 0;  // whole seconds
};

Timing& timing();
void setTiming(Timing* replacement);  // null restores the system clock

}  // namespace spelvane
