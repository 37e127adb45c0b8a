#pragma once
// A scripted clock: the counter only moves when the test moves it or when
// the program sleeps, so pacing and pauses can be checked exactly and fast.
#include <vector>

#include "platform/mutex.h"
#include "platform/timing.h"

namespace spelvane::testing {

class FakeTiming final : public Timing {
public:
    FakeTiming();   // installs itself; frequency 1 MHz, counter at 1 s
    ~FakeTiming() override;  // restores the system clock

    void advanceMicroseconds(int64_t microseconds);
    void setCounter(int64_t ticks);
    void setFrequency(int64_t ticksPerSecond);
    void failCounter(bool fail);      // counter() answers false
    void failFrequency(bool fail);    // frequency() answers false
    void setCalendarTime(int64_t seconds);

    std::vector<uint32_t> sleeps() const;
    uint32_t totalSleptMs() const;
    void clearSleeps();

    bool counter(int64_t& ticks) override;
    bool frequency(int64_t& ticksPerSecond) override;
    void sleepMs(uint32_t milliseconds) override;  // records and advances the counter
    int64_t calendarTime() override;

private:
    mutable platform::Mutex mutex_;
    int64_t ticks_ = 1000000;
    int64_t frequency_ = 1000000;
    bool failCounter_ = false;
    bool failFrequency_ = false;
    int64_t calendar_ = 1700000000;
    std::vector<uint32_t> sleeps_;
};

}  // namespace spelvane::testing
