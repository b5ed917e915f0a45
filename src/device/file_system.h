// The few file-system services the program needs beyond the drive and the destination file:
// existence and length of a file, removal, renaming without replacing, and free space.
// Paths are UTF-8 throughout.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/status.h"

namespace skelbrook {

// UTF-8 text to a path the platform's file API understands.
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// The platform's folder separator: "\" on Windows, "/" elsewhere.
char FolderSeparator();

// True when an ordinary file (not a folder) of that name exists.
bool FileExists(const std::string& path);
// Length of the file, or nothing when it cannot be examined.
std::optional<int64_t> FileLength(const std::string& path);
Status RemoveFile(const std::string& path);
// Renames `from` to `to`, failing when `to` already exists: a finished copy never replaces
// anything.
Status RenameNoReplace(const std::string& from, const std::string& to);

struct VolumeInfo {
  int64_t freeBytes = -1;      // -1 when unknown
  int64_t maxFileBytes = -1;   // largest file the file system can hold; -1 when unlimited/unknown
};
VolumeInfo QueryVolume(const std::string& folder);

}  // namespace skelbrook
