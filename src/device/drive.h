// The recorder disk, opened read-only as a whole drive or as an image file, and read at 64-bit
// byte offsets into one buffer. Nothing in this layer can write to it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "device/faults.h"

namespace skelbrook {

inline constexpr int64_t kSectorSize = 512;

// Turns the text of the drive box into a device path: a number N names the platform's Nth
// physical drive, anything else is a path to a device or an image, taken as it is. Blanks around
// the text are ignored.
std::string ResolveDrivePath(std::string_view driveText);

class Drive {
 public:
  Drive() = default;
  ~Drive();
  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;

  // Opens the drive named by the drive-box text, read-only. On failure the drive stays closed,
  // reads deliver nothing (zeros), and the returned status says why.
  Status OpenDrive(std::string_view driveText);
  void CloseDrive();
  bool IsOpen() const;

  // Replaces BlockBuffer with exactly `count` bytes read at `offset`; bytes the drive did not
  // deliver are zeros. A count of 0 or 1 leaves BlockBuffer as it is and returns 0. A count that
  // is not a whole number of sectors is served by reading whole sectors (raw drives refuse
  // partial ones) and keeping the first `count` bytes. Returns how many of the `count` bytes
  // were really delivered, so a caller can tell a failed read from a good one.
  int64_t ReadDrive(int64_t offset, int64_t count);

  // Size of the opened drive or image in bytes; 0 when closed or unknown.
  int64_t SizeBytes() const { return size_; }
  const std::string& Path() const { return path_; }
  // Why the most recent short read stopped short; empty after a complete one.
  const std::string& LastReadError() const { return lastReadError_; }

  std::vector<uint8_t> BlockBuffer;
  DeviceFaults faults;

 private:
  int64_t ReadRaw(int64_t offset, uint8_t* into, int64_t count);

#ifdef _WIN32
  int64_t ReadWin32(int64_t offset, uint8_t* into, int64_t count);
  void* handle_ = nullptr;
  int64_t physicalSector_ = kSectorSize;
#else
  int fd_ = -1;
#endif
  int64_t size_ = 0;
  std::string path_;
  std::string lastReadError_;
};

}  // namespace skelbrook
