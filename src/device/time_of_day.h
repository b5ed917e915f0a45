// The time of day as the user's own settings write it (the locale on Linux, the time format
// chosen in Windows' settings): what a batch's start and end are shown with.
#pragma once

#include <string>

namespace skelbrook {

// Platform code: time_of_day_posix.cpp, time_of_day_win32.cpp.
std::string TimeOfDay();

}  // namespace skelbrook
