// Disk text to UTF-8, and titles made safe for file names.
#include "catalogue/text.h"

#include <string_view>

namespace skelbrook {
namespace {

// Code points of bytes 0x80..0x9F in Windows-1252; the five bytes it leaves undefined keep their
// own value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::string_view kIllegalInNames = "*?/\\:|<>\";.,[]";

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string DecodeCp1252(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto b = static_cast<uint8_t>(ch);
    if (b >= 0x80 && b <= 0x9F) {
      AppendUtf8(out, kCp1252High[b - 0x80]);
    } else {
      AppendUtf8(out, b);
    }
  }
  return out;
}

std::string FieldText(const uint8_t* data, int first, int last) {
  std::string bytes;
  for (int i = first; i <= last && data[i] != 0; ++i) bytes.push_back(static_cast<char>(data[i]));
  return DecodeCp1252(bytes);
}

std::string SanitiseFileName(std::string text) {
  for (char& c : text) {
    const auto b = static_cast<uint8_t>(c);
    // Control characters are refused in Windows file names as well.
    if ((b >= 1 && b <= 31) || b == 127 || kIllegalInNames.find(c) != std::string_view::npos) {
      c = '_';
    }
  }
  return text;
}

std::string OnOneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  return text;
}

std::string SizeText(int64_t bytes) {
  std::string digits = bytes > 0 ? std::to_string(bytes) : std::string();
  std::string grouped;
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    grouped.push_back(digits[i]);
    const size_t left = n - 1 - i;
    if (left > 0 && left % 3 == 0) grouped.push_back(',');
  }
  return grouped + " Bytes";
}

}  // namespace skelbrook
