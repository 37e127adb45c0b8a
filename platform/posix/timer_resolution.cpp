#include "platform/timer_resolution.h"

namespace spelvane::platform {

// nanosleep already wakes within microseconds; there is nothing to ask for.
bool raiseTimerResolution() { return false; }

void restoreTimerResolution() {}

}  // namespace spelvane::platform
