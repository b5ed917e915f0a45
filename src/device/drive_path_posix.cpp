// Drive numbers on Linux and other POSIX systems.
#include <string>

#include "device/drive.h"

namespace skelbrook {
namespace {

// The kernel's disk letters: 0 = "a", 25 = "z", 26 = "aa", ...
[[maybe_unused]] std::string DiskLetters(unsigned long index) {
  std::string letters;
  ++index;
  while (index > 0) {
    --index;
    letters.insert(letters.begin(), static_cast<char>('a' + index % 26));
    index /= 26;
  }
  return letters;
}

}  // namespace

std::string DriveNumberPath(unsigned long number) {
#ifdef __APPLE__
  return "/dev/rdisk" + std::to_string(number);
#else
  return "/dev/sd" + DiskLetters(number);
#endif
}

const char* DriveBoxLabel() {
  return "Drive number, or device or image path:";
}

std::string DriveBoxText(const std::string& devicePath) {
  return devicePath;
}

}  // namespace skelbrook
