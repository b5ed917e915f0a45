// Turning the text of the drive box into the path of a device or image.
#include <algorithm>
#include <string>
#include <string_view>

#include "device/drive.h"

namespace skelbrook {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.size() <= 6 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

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

std::string ResolveDrivePath(std::string_view driveText) {
  const std::string_view text = TrimBlanks(driveText);
  if (!AllDigits(text)) return std::string(text);
  const unsigned long number = std::stoul(std::string(text));
#if defined(_WIN32)
  return "\\\\.\\PhysicalDrive" + std::to_string(number);
#elif defined(__APPLE__)
  return "/dev/rdisk" + std::to_string(number);
#else
  return "/dev/sd" + DiskLetters(number);
#endif
}

}  // namespace skelbrook
