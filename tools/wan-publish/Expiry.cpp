#include "Expiry.h"

#include <cstdio>
#include <ctime>

namespace {

// "N" and a unit; at most nine digits, so no span overflows.
bool ParseSpan(const std::string& text, int64_t& seconds) {
  unsigned long long count = 0;
  char unit = 0, end = 0;
  if (text.size() < 2 || text.size() > 10 || text[0] < '0' || text[0] > '9' ||
      std::sscanf(text.c_str(), "%9llu%c%c", &count, &unit, &end) != 2) {
    return false;
  }
  const struct {
    char unit;
    int64_t seconds;
  } units[] = {{'s', 1}, {'m', 60}, {'h', 3600}, {'d', 86400}, {'w', 7 * 86400}};
  for (const auto& u : units) {
    if (u.unit == unit) {
      seconds = static_cast<int64_t>(count) * u.seconds;
      return true;
    }
  }
  return false;
}

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM:SSZ", in UTC, spelt with every digit.
bool ParseUtc(const std::string& text, int64_t& time) {
  std::tm tm{};
  int consumed = 0;
  if (text.size() == 10) {
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &consumed) != 3) {
      return false;
    }
  } else if (text.size() != 20 ||
             std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &tm.tm_year, &tm.tm_mon,
                         &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &consumed) != 6) {
    return false;
  }
  if (consumed != static_cast<int>(text.size())) return false;
  const std::tm given = tm;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  time = timegm(&tm);
  // timegm moves a day that does not exist ("02-30") into the next month: not a date.
  return time != -1 && tm.tm_mday == given.tm_mday && tm.tm_hour == given.tm_hour &&
         tm.tm_min == given.tm_min && tm.tm_sec == given.tm_sec;
}

}  // namespace

bool ParseExpiry(const std::string& text, int64_t now, uint64_t& expires) {
  int64_t span = 0, time = 0;
  if (ParseSpan(text, span)) {
    time = now + span;
  } else if (!ParseUtc(text, time)) {
    return false;
  }
  if (time <= now) return false;
  expires = static_cast<uint64_t>(time);
  return true;
}
