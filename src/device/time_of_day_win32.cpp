// The time of day in the format the user chose in Windows' settings.
#include <windows.h>

#include "device/time_of_day.h"
#include "device/wide_text.h"

namespace skelbrook {

std::string TimeOfDay() {
  wchar_t text[64];
  const int n = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, text, 64);
  return n > 1 ? Utf8FromWide(std::wstring(text, static_cast<size_t>(n - 1))) : std::string();
}

}  // namespace skelbrook
