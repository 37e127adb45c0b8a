#pragma once
// While device work runs, the system timer is asked for 1 ms resolution:
// every paced sleep and fixed pause then ends on time instead of at the next
// coarse tick (10 to 16 ms on Windows by default), which would otherwise add
// up to about a sixth to a store. Scopes nest; the request is given back when
// the scope ends. Where the system's sleep is already precise this does
// nothing.

namespace spelvane::platform {

class TimerResolutionScope {
public:
    TimerResolutionScope();
    ~TimerResolutionScope();
    TimerResolutionScope(const TimerResolutionScope&) = delete;
    TimerResolutionScope& operator=(const TimerResolutionScope&) = delete;

private:
    bool raised_ = false;
};

// How many scopes are alive right now, so that tests can see that device
// work runs inside one and that none is left behind.
int activeTimerResolutionScopes();

// The system side: true when the finer resolution was granted and must be
// given back with restoreTimerResolution().
bool raiseTimerResolution();
void restoreTimerResolution();

}  // namespace spelvane::platform
