#pragma once
#include <cstdint>

namespace spelvane::platform {

struct LocalTime {
    int year;    // four digits
    int month;   // 1..12
    int day;     // 1..31
    int hour;    // 0..23
    int minute;  // 0..59
    int second;  // 0..59
};

int64_t calendarTimeNow();  // whole seconds since 1970-01-01 UTC
bool toLocalTime(int64_t calendarTime, LocalTime& out);

}  // namespace spelvane::platform
