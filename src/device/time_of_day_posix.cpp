// The time of day as the user's locale writes it.
#include <ctime>

#include "device/time_of_day.h"

namespace skelbrook {

std::string TimeOfDay() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  const size_t n = std::strftime(text, sizeof text, "%X", &local);
  return std::string(text, n);
}

}  // namespace skelbrook
