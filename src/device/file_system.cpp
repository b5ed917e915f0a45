// File-system services that do not depend on the platform: UTF-8 paths, existence and length of
// a file, removal, replacing a file whole, and the destination described in words. The platform's
// side is in file_system_posix.cpp and file_system_win32.cpp.
#include "device/file_system.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "device/output_file.h"

namespace skelbrook {

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(PathFromUtf8(path), ec);
}

std::optional<int64_t> FileLength(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(PathFromUtf8(path), ec);
  if (ec) return std::nullopt;
  return static_cast<int64_t>(size);
}

Status RemoveFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::remove(PathFromUtf8(path), ec) && ec) {
    return Status::Error("cannot remove " + path + ": " + ec.message());
  }
  return Status::Ok();
}

void DiscardFile(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(PathFromUtf8(path), ec);
}

Status ReplaceFileAtomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".new";
  DiscardFile(temporary);  // left by an interrupted write; ours to replace
  OutputFile out;
  Status s = out.CreateExclusive(temporary);
  if (s.ok()) {
    s = out.Write(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int64_t>(text.size()));
  }
  if (s.ok()) s = out.Flush();
  const Status closed = out.Close();
  if (s.ok()) s = closed;
  if (s.ok()) {
    std::error_code ec;
    const auto old = std::filesystem::status(PathFromUtf8(path), ec);
    if (!ec && std::filesystem::exists(old))
      std::filesystem::permissions(PathFromUtf8(temporary), old.permissions(), ec);
    s = RenameReplacing(temporary, path);
  }
  if (!s.ok()) DiscardFile(temporary);
  return s;
}

std::string DescribeVolume(const VolumeInfo& volume) {
  std::string text = volume.fileSystem.empty() ? "unknown file system" : volume.fileSystem;
  if (volume.freeBytes >= 0) {
    char gigabytes[32];
    std::snprintf(gigabytes, sizeof gigabytes, "%.1f", static_cast<double>(volume.freeBytes) / 1e9);
    text +=
        ", " + std::string(gigabytes) + " GB free (" + std::to_string(volume.freeBytes) + " bytes)";
  } else {
    text += ", free space unknown";
  }
  if (volume.maxFileBytes == kFatLargestFile) text += ", no file of 4 GiB or more (FAT32)";
  if (volume.maxFileWritten >= 0) {
    text += ", none over " + std::to_string(volume.maxFileWritten) + " bytes through this driver";
  }
  return text;
}

int64_t LargestFile(const VolumeInfo& volume) {
  if (volume.maxFileWritten < 0) return volume.maxFileBytes;
  if (volume.maxFileBytes < 0) return volume.maxFileWritten;
  return std::min(volume.maxFileBytes, volume.maxFileWritten);
}

}  // namespace skelbrook
