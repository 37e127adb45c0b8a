#include "platform/local_time.h"

#include <time.h>

namespace spelvane::platform {

int64_t calendarTimeNow() { return static_cast<int64_t>(time(nullptr)); }

bool toLocalTime(int64_t calendarTime, LocalTime& out) {
    time_t seconds = static_cast<time_t>(calendarTime);
    tm broken{};
    if (!localtime_r(&seconds, &broken)) return false;
    out = {broken.tm_year + 1900, broken.tm_mon + 1, broken.tm_mday,
           broken.tm_hour,        broken.tm_min,     broken.tm_sec};
    return true;
}

}  // namespace spelvane::platform
