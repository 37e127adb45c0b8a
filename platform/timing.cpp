#include "platform/timing.h"

#include "platform/local_time.h"
#include "platform/perf_counter.h"
#include "platform/sleep.h"

namespace spelvane {
namespace {

class SystemTiming final : public Timing {
public:
    bool counter(int64_t& ticks) override { return platform::performanceCounter(ticks); }
    bool frequency(int64_t& ticksPerSecond) override {
        return platform::performanceFrequency(ticksPerSecond);
    }
    void sleepMs(uint32_t milliseconds) override { platform::sleepMilliseconds(milliseconds); }
    int64_t calendarTime() override { return platform::calendarTimeNow(); }
};

SystemTiming systemTiming;
Timing* current = &systemTiming;

}  // namespace

Timing& timing() { return *current; }

void setTiming(Timing* replacement) { current = replacement ? replacement : &systemTiming; }

}  // namespace spelvane
