// spelvane-history.csv: a row's time, and the run id made of it.
#include <cstdio>
#include <cstdlib>

#include "platform/local_time.h"
#include "settings/history_file.h"

namespace spelvane {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 to the given date of the proleptic Gregorian
// calendar, and back: no time zone, no C library, any year.
int64_t daysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

platform::LocalTime civilFromSeconds(int64_t seconds) {
    int64_t days = seconds / kSecondsPerDay;
    int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
    return {year, month, day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60)};
}

bool fourDigitYear(const platform::LocalTime& t) { return t.year >= 0 && t.year <= 9999; }

}  // namespace

std::string historyTime(int64_t calendarTime) {
    platform::LocalTime local{};
    if (!platform::toLocalTime(calendarTime, local) || !fourDigitYear(local)) return {};
    const int64_t localSeconds = daysFromCivil(local.year, local.month, local.day) * kSecondsPerDay +
                                 local.hour * 3600 + local.minute * 60 + local.second;
    // Zones of old set their offsets in seconds: the nearest minute.
    int64_t offset = localSeconds - calendarTime;
    const char sign = offset < 0 ? '-' : '+';
    const int64_t minutes = ((offset < 0 ? -offset : offset) + 30) / 60;
    if (minutes >= 24 * 60) return {};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02d:%02d", local.year, local.month, local.day,
                  local.hour, local.minute, local.second, sign, static_cast<int>(minutes / 60),
                  static_cast<int>(minutes % 60));
    return text;
}

bool historyTimeSeconds(const std::string& time, int64_t& seconds) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, offsetHours = 0, offsetMinutes = 0;
    char sign = 0;
    int length = 0;
    if (std::sscanf(time.c_str(), "%4d-%2d-%2d %2d:%2d:%2d %c%2d:%2d%n", &year, &month, &day, &hour, &minute, &second,
                    &sign, &offsetHours, &offsetMinutes, &length) != 9 ||
        static_cast<size_t>(length) != time.size() || (sign != '+' && sign != '-'))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
        offsetHours > 23 || offsetMinutes > 59)
        return false;
    const int64_t offset = (offsetHours * 60 + offsetMinutes) * 60;
    seconds = daysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second -
              (sign == '+' ? offset : -offset);
    return true;
}

std::string historyRunId(int64_t calendarTime, const std::string& computer, uint32_t processNumber) {
    // UTC: the id stays unique when the clock's zone or daylight saving moves.
    const platform::LocalTime t = civilFromSeconds(calendarTime);
    char stamp[32];
    if (fourDigitYear(t))
        std::snprintf(stamp, sizeof stamp, "%04d%02d%02dT%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute,
                      t.second);
    else
        std::snprintf(stamp, sizeof stamp, "%lld", static_cast<long long>(calendarTime));
    return std::string(stamp) + "-" + computer + "-" + std::to_string(processNumber);
}

bool historyRunProcess(const std::string& runId, uint32_t& processNumber) {
    // "<stamp>-<computer>-<process>-<count>": the computer's name may hold
    // dashes, the two numbers do not.
    const size_t count = runId.rfind('-');
    if (count == std::string::npos || count == 0) return false;
    const size_t process = runId.rfind('-', count - 1);
    if (process == std::string::npos) return false;
    const std::string digits = runId.substr(process + 1, count - process - 1);
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long number = std::strtoull(digits.c_str(), nullptr, 10);
    if (number > 0xFFFFFFFFull) return false;
    processNumber = static_cast<uint32_t>(number);
    return true;
}

}  // namespace spelvane
