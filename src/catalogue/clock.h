// Times from the disk (seconds since 1970-01-01, UTC, with no time-zone or daylight-saving
// adjustment) in the words the file names, the list and JSON use.
#pragma once

#include <cstdint>
#include <string>

namespace skelbrook {

// "HH:MM", "DD" and the month name of a count of seconds since 1970-01-01, in UTC.
struct ClockParts {
  std::string hhmm;  // "19:30"
  std::string hour, minute, day, month;
};
ClockParts ClockFromSeconds(int64_t seconds);

// "2021-11-05T19:30:00Z": seconds since 1970-01-01 as ISO 8601 UTC.
std::string IsoTime(int64_t seconds);

}  // namespace skelbrook
