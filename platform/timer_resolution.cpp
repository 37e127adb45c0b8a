#include "platform/timer_resolution.h"

#include <atomic>

namespace spelvane::platform {
namespace {

std::atomic<int> liveScopes{0};

}  // namespace

TimerResolutionScope::TimerResolutionScope() : raised_(raiseTimerResolution()) { ++liveScopes; }

TimerResolutionScope::~TimerResolutionScope() {
    --liveScopes;
    if (raised_) restoreTimerResolution();
}

int activeTimerResolutionScopes() { return liveScopes.load(); }

}  // namespace spelvane::platform
