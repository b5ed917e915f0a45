// Times from the disk in words: seconds since 1970-01-01 as the file names and the list show them,
// and as ISO 8601.
#include "catalogue/clock.h"

#include <chrono>
#include <cstdio>
#include <utility>

namespace skelbrook {
namespace {

constexpr const char* kMonthNames[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The calendar day and the time of day of a count of seconds since 1970-01-01, in UTC.
std::pair<std::chrono::year_month_day, std::chrono::hh_mm_ss<std::chrono::seconds>> CivilTime(
    int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds when{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(when);
  return {year_month_day{day}, hh_mm_ss<std::chrono::seconds>{when - day}};
}

std::string TwoDigits(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02u", value % 100);
  return text;
}

}  // namespace

ClockParts ClockFromSeconds(int64_t seconds) {
  const auto [date, clock] = CivilTime(seconds);
  ClockParts parts;
  parts.hour = TwoDigits(static_cast<unsigned>(clock.hours().count()));
  parts.minute = TwoDigits(static_cast<unsigned>(clock.minutes().count()));
  parts.day = TwoDigits(static_cast<unsigned>(date.day()));
  parts.month = kMonthNames[static_cast<unsigned>(date.month())];
  parts.hhmm = parts.hour + ":" + parts.minute;
  return parts;
}

std::string IsoTime(int64_t seconds) {
  const auto [date, clock] = CivilTime(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

}  // namespace skelbrook
