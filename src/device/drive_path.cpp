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

}  // namespace

std::string ResolveDrivePath(std::string_view driveText) {
  const std::string_view text = TrimBlanks(driveText);
  if (!AllDigits(text)) return std::string(text);
  return DriveNumberPath(std::stoul(std::string(text)));
}

}  // namespace skelbrook
