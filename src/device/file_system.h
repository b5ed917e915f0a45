// The few file-system services the program needs beyond the drive and the destination file:
// existence and length of a file, removal, renaming without replacing, and what the destination
// folder's file system is and holds. Paths are UTF-8 throughout.
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
// Removes a file of ours that is no longer wanted: a working file after a failure, a temporary
// left by an interrupted run. Best effort: a file that will not go is replaced by the next copy
// of the row, and what made it unwanted is what the user is told.
void DiscardFile(const std::string& path);
// Renames `from` to `to`, failing when `to` already exists: a finished copy never replaces
// anything. On file systems that can neither rename without replacing nor link (exFAT and FAT
// through FUSE), the name is checked to be free right before a plain rename.
Status RenameNoReplace(const std::string& from, const std::string& to);

// Lets the user write the file: on Windows its attributes become archive only, which clears
// read-only, hidden and system; elsewhere its owner may write it. Best effort.
void MakeWritable(const std::string& path);

// Renames `from` to `to`, replacing whatever `to` was, and makes the rename durable.
Status RenameReplacing(const std::string& from, const std::string& to);

// Gives `path` the contents `text` so that an interruption at any moment (a crash, a pulled
// stick, a full disk) leaves the old file or the new one, whole, never a part of either: the
// text goes to "<path>.new" beside it, is flushed to the disk, and is renamed over the old file,
// which keeps its permissions.
Status ReplaceFileAtomically(const std::string& path, const std::string& text);

// Dates the file: its modification time (on Windows also its creation time) becomes
// `unixSeconds`, seconds since 1970-01-01 UTC.
Status SetFileTimes(const std::string& path, int64_t unixSeconds);

// FAT file systems hold no file of 4 GiB or more.
inline constexpr int64_t kFatLargestFile = 4294967295LL;
// fusefat, the FUSE driver desktops mount FAT sticks with, writes no byte past 2 GiB of a file
// (its writes there fail with "Operation not permitted").
inline constexpr int64_t kFuseFatLargestFile = int64_t{1} << 31;

struct VolumeInfo {
  std::string fileSystem;     // as the system names it ("ext4", "fuse.fusefat", "NTFS"); empty
                              // when unknown
  int64_t freeBytes = -1;     // -1 when unknown
  int64_t maxFileBytes = -1;  // largest file the file system can hold; -1 when unlimited/unknown
  // Largest file the driver that mounts it can write, where that is less; -1 when no less.
  int64_t maxFileWritten = -1;
};
// The largest file a copy can make there: the smaller of the two limits; -1 when there is none.
int64_t LargestFile(const VolumeInfo& volume);
VolumeInfo QueryVolume(const std::string& folder);

// One line for the user: "vfat, 1,234,567 bytes free, no file of 4 GiB or more".
std::string DescribeVolume(const VolumeInfo& volume);

// Linux only (file_system_posix.cpp): the file-system type and source of the mount that holds
// device `dev` ("major:minor") with the mount point nearest to `path`, from the text of
// /proc/self/mountinfo. Empty when none matches.
struct MountEntry {
  std::string type;    // e.g. "vfat", "fuse.fusefat", "fuseblk"
  std::string source;  // e.g. "/dev/sdb1"
};
MountEntry FindMount(const std::string& mountInfo, const std::string& dev, const std::string& path);

}  // namespace skelbrook
