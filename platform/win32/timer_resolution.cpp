#include "platform/timer_resolution.h"

#include <windows.h>
#include <mmsystem.h>

namespace spelvane::platform {
namespace {

constexpr UINT kResolutionMs = 1;

}  // namespace

bool raiseTimerResolution() { return timeBeginPeriod(kResolutionMs) == TIMERR_NOERROR; }

void restoreTimerResolution() { timeEndPeriod(kResolutionMs); }

}  // namespace spelvane::platform
