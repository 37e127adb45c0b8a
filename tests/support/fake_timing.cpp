#include "tests/support/fake_timing.h"

namespace spelvane::testing {

FakeTiming::FakeTiming() { setTiming(this); }

FakeTiming::~FakeTiming() {
    if (&timing() == this) setTiming(nullptr);
}

void FakeTiming::advanceMicroseconds(int64_t microseconds) {
    platform::LockGuard hold(mutex_);
    ticks_ += microseconds * frequency_ / 1000000;
}

void FakeTiming::setCounter(int64_t ticks) {
    platform::LockGuard hold(mutex_);
    ticks_ = ticks;
}

void FakeTiming::setFrequency(int64_t ticksPerSecond) {
    platform::LockGuard hold(mutex_);
    frequency_ = ticksPerSecond;
}

void FakeTiming::failCounter(bool fail) {
    platform::LockGuard hold(mutex_);
    failCounter_ = fail;
}

void FakeTiming::failFrequency(bool fail) {
    platform::LockGuard hold(mutex_);
    failFrequency_ = fail;
}

void FakeTiming::setCalendarTime(int64_t seconds) {
    platform::LockGuard hold(mutex_);
    calendar_ = seconds;
}

std::vector<uint32_t> FakeTiming::sleeps() const {
    platform::LockGuard hold(mutex_);
    return sleeps_;
}

uint32_t FakeTiming::totalSleptMs() const {
    platform::LockGuard hold(mutex_);
    uint32_t total = 0;
    for (uint32_t sleep : sleeps_) total += sleep;
    return total;
}

void FakeTiming::clearSleeps() {
    platform::LockGuard hold(mutex_);
    sleeps_.clear();
}

bool FakeTiming::counter(int64_t& ticks) {
    platform::LockGuard hold(mutex_);
    if (failCounter_) return false;
    ticks = ticks_;
    return true;
}

bool FakeTiming::frequency(int64_t& ticksPerSecond) {
    platform::LockGuard hold(mutex_);
    if (failFrequency_) return false;
    ticksPerSecond = frequency_;
    return true;
}

void FakeTiming::sleepMs(uint32_t milliseconds) {
    platform::LockGuard hold(mutex_);
    sleeps_.push_back(milliseconds);
    ticks_ += static_cast<int64_t>(milliseconds) * frequency_ / 1000;
}

int64_t FakeTiming::calendarTime() {
    platform::LockGuard hold(mutex_);
    return calendar_;
}

}  // namespace spelvane::testing
