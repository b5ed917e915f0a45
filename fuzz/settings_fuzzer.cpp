// Fuzzes the settings file routines on arbitrary file contents and arbitrary names and values.
//
//   byte  meaning
//   0     length of the section name (modulo 32), followed by the name
//   then  length of the key (modulo 32) and the key, length of the value (modulo 64) and the value
//   rest  the settings file as it is before the write
//
// No input may crash or hang either routine. For names and values a user can have (no line
// breaks, no "=" in the key, a key that does not start with "[", a value that does not end in a
// control character) in a file that does not start with a control character, what WriteSetting
// stores ReadSetting gives back, and once the writer has written the file, writing the same value
// again changes nothing.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "device/file_system.h"
#include "harness_support.h"
#include "settings/settings_file.h"

namespace skelbrook::fuzz {
namespace {

std::string Take(const uint8_t* data, size_t size, size_t& at, size_t modulo) {
  if (at >= size) return {};
  const size_t want = data[at++] % modulo;
  const size_t n = std::min(want, size - at);
  std::string text(reinterpret_cast<const char*>(data + at), n);
  at += n;
  return text;
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

// The writer trims control characters off the start of the file; other than line ends they can
// hide a header from the first write that the trimming then reveals.
bool StartsWithHidingControls(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) > 13) return false;
    if (c != '\r' && c != '\n') return true;
  }
  return false;
}

bool Ordinary(const std::string& section, const std::string& key, const std::string& value,
              const std::string& file) {
  if (StartsWithHidingControls(file)) return false;
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  if (key.find('=') != std::string::npos || (!key.empty() && key[0] == '[')) return false;
  // The writer trims control characters off the end of the file, where the line may be.
  return value.empty() || static_cast<unsigned char>(value.back()) > 13;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Require(static_cast<bool>(out), "writing the settings file", path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace
}  // namespace skelbrook::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skelbrook;
  using namespace skelbrook::fuzz;
  static const std::string path = ScratchFolder() + "/9200T_sk.ini";
  size_t at = 0;
  const std::string section = Take(data, size, at, 32);
  const std::string key = Take(data, size, at, 32);
  const std::string value = Take(data, size, at, 64);
  const std::string before(reinterpret_cast<const char*>(data + at), size - at);
  WriteFile(path, before);

  (void)ReadSetting(path, section, key);
  const Status written = WriteSetting(path, section, key, value);
  Require(written.ok(), "WriteSetting failed", written.message());
  const std::string after = ReadFile(path);
  Require(after.size() >= 2 && after.compare(after.size() - 2, 2, "\r\n") == 0,
          "the file does not end with CR LF");
  if (Ordinary(section, key, value, before)) {
    Require(ReadSetting(path, section, key) == value, "the value does not read back",
            "[" + section + "] " + key + "=" + value);
    // The first write may tidy away what hid a header (control characters before it at the start
    // of the file); from then on the file is in the writer's own form and stays as it is.
    Require(WriteSetting(path, section, key, value).ok(), "the second WriteSetting failed");
    const std::string tidied = ReadFile(path);
    Require(WriteSetting(path, section, key, value).ok(), "the third WriteSetting failed");
    Require(ReadFile(path) == tidied, "an identical write changed a file the writer wrote");
    Require(ReadSetting(path, section, key) == value,
            "the value does not read back after rewriting");
  }
  (void)RemoveFile(path);
  return 0;
}
