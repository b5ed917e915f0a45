// The settings file: reading one value, and rewriting the whole file to set one value.
//
// The file is 8-bit text: "[Section]" header lines and "Name=Value" lines ending in CR LF.
// A "[" starts a section only at the start of a line, so a folder such as "D:\TV [old]\" is a
// value like any other. Lines may also end in LF alone (a file edited with a Linux editor) or
// in CR alone; the writer turns both into CR LF.
#include "settings/settings_file.h"

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>

#include "device/file_system.h"

namespace skelbrook {
namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
const std::string kCrLf = "\r\n";
// Appended before the search for the end of the wanted section, so that a section always
// follows it; it sits on a line of its own so it is found like any other header.
const std::string kSectionSentinel = "[]";
// Leading and trailing characters up to this code (CR, LF, tab, NUL and the like) are trimmed.
constexpr unsigned char kLastControlTrimmed = 13;

// Lower case for comparing names. Only A-Z change, so every byte keeps its position and
// the bytes of a UTF-8 folder name stay as they are.
std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string ErrnoText(int error) {
  if (error == 0) return "the file cannot be opened";
  return std::generic_category().message(error);
}

// Creates the file when it is missing (empty), then makes it writable: on Windows its
// attributes become archive only, which clears read-only, hidden and system.
Status PrepareFile(const std::string& fileName) {
  const std::filesystem::path path = PathFromUtf8(fileName);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    errno = 0;
    // Appending never empties a file that appeared in the meantime.
    std::ofstream create(path, std::ios::binary | std::ios::app);
    if (!create) {
      return Status::Error("cannot write the settings file " + fileName + ": " + ErrnoText(errno));
    }
  }
  MakeWritable(fileName);
  return Status::Ok();
}

// The whole file as bytes, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& fileName, int& error) {
  errno = 0;
  std::ifstream in(PathFromUtf8(fileName), std::ios::binary);
  if (!in) {
    error = errno;
    return std::nullopt;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) {
    error = errno;
    return std::nullopt;
  }
  return bytes.str();
}

// Every lone LF and lone CR becomes CR LF, so that the line ends the reader accepts are the
// ones the writer finds.
std::string WithCrLfLineEnds(const std::string& text) {
  std::string result;
  result.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool afterCr = i > 0 && text[i - 1] == kCr;
    const bool beforeLf = i + 1 < text.size() && text[i + 1] == kLf;
    if (text[i] == kLf && !afterCr) {
      result += kCrLf;
    } else if (text[i] == kCr && !beforeLf) {
      result += kCrLf;
    } else {
      result += text[i];
    }
  }
  return result;
}

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
  std::string result;
  std::size_t start = 0;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, start)) {
    result.append(text, start, at - start);
    result += to;
    start = at + from.size();
  }
  result.append(text, start, std::string::npos);
  return result;
}

bool IsTrimmed(char c) {
  return static_cast<unsigned char>(c) <= kLastControlTrimmed;
}

// No more than one empty line anywhere, and no empty lines or stray control characters at
// either end.
std::string Tidy(std::string text) {
  const std::string threeLineEnds = kCrLf + kCrLf + kCrLf;
  const std::string twoLineEnds = kCrLf + kCrLf;
  while (text.find(threeLineEnds) != std::string::npos) {
    text = ReplaceAll(text, threeLineEnds, twoLineEnds);
  }
  while (!text.empty() && IsTrimmed(text.back())) text.pop_back();
  std::size_t first = 0;
  while (first < text.size() && IsTrimmed(text[first])) ++first;
  return text.substr(first);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::string ReadSetting(const std::string& fileName, const std::string& section,
                        const std::string& key) {
  // A file that cannot be created or made writable is still read when it can be.
  (void)PrepareFile(fileName);
  int error = 0;
  const std::optional<std::string> text = ReadWholeFile(fileName, error);
  if (!text) return "";

  std::string header = "[";
  header += LowerAscii(section);
  header += ']';
  const std::string prefix = LowerAscii(key) + "=";
  bool inSection = false;
  std::size_t start = 0;
  while (start < text->size()) {
    // A line ends at CR LF, at a lone CR or at a lone LF.
    std::size_t end = text->find_first_of("\r\n", start);
    if (end == std::string::npos) end = text->size();
    const std::string line = text->substr(start, end - start);
    start = end;
    if (start < text->size() && (*text)[start] == kCr) ++start;
    if (start < text->size() && (*text)[start] == kLf) ++start;

    const std::string lower = LowerAscii(line);
    if (StartsWith(lower, "[")) {
      inSection = lower == header;
    } else if (inSection && StartsWith(lower, prefix)) {
      return line.substr(prefix.size());
    }
  }
  return "";
}

Status WriteSetting(const std::string& fileName, const std::string& section, const std::string& key,
                    const std::string& value) {
  if (Status prepared = PrepareFile(fileName); !prepared) return prepared;
  int error = 0;
  const std::optional<std::string> contents = ReadWholeFile(fileName, error);
  if (!contents) {
    // Writing now would lose whatever the file holds.
    return Status::Error("cannot read the settings file " + fileName + ": " + ErrnoText(error));
  }

  // The leading CR LF lets the first line be found like any other; the closing sentinel
  // guarantees that a section start follows the last section.
  std::string text = kCrLf + WithCrLfLineEnds(*contents) + kCrLf + kSectionSentinel;
  const std::string lower = LowerAscii(text);
  const std::string header = kCrLf + "[" + LowerAscii(section) + "]" + kCr;
  const std::string keyStart = kLf + LowerAscii(key) + "=";
  const std::string keyLine = key + "=" + value;

  const std::size_t headerAt = lower.find(header);
  text.erase(text.size() - kSectionSentinel.size());
  if (headerAt == std::string::npos) {
    // No such section: append it, with the names as the caller gives them.
    text += kCrLf + kCrLf + "[" + section + "]" + kCrLf + keyLine;
  } else {
    // The header's CR LF ends here; the section's first line starts right after it.
    const std::size_t sectionBody = headerAt + header.size() + 1;
    const std::size_t nextSection = lower.find(std::string{kLf} + "[", sectionBody - 1) + 1;
    const std::size_t keyAt = lower.find(keyStart, headerAt);
    if (keyAt == std::string::npos || keyAt > nextSection) {
      // The key is not in this section: it becomes the section's first line.
      text = text.substr(0, sectionBody) + keyLine + kCrLf + text.substr(sectionBody);
    } else {
      // Replace the old name and value up to the line end, which stays.
      const std::size_t lineEnd = text.find(kCr, keyAt);
      std::string rest = lineEnd == std::string::npos ? std::string() : text.substr(lineEnd);
      text = text.substr(0, keyAt + 1) + keyLine + rest;
    }
  }
  text = Tidy(text.substr(1)) + kCrLf;

  // Never rewritten in place: a crash or a full disk half way through would leave it cut short.
  if (Status written = ReplaceFileAtomically(fileName, text); !written.ok()) {
    return Status::Error("cannot write the settings file " + fileName + ": " + written.message());
  }
  return Status::Ok();
}

}  // namespace skelbrook
