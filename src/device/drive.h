// The recorder disk, opened read-only as a whole drive or as an image file, and read at 64-bit
// byte offsets into the drive's buffer, with an exact account of what could not be read. Nothing
// in this layer can write to it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "device/disk_reader.h"
#include "device/read_pace.h"

namespace skelbrook {

// Turns the text of the drive box into a device path: a number N names the platform's Nth
// physical drive, anything else is a path to a device or an image, taken as it is. Blanks around
// the text are ignored.
std::string ResolveDrivePath(std::string_view driveText);
// The path of the platform's physical drive number `number`: "\\.\PhysicalDriveN" on Windows,
// "/dev/sdX" on Linux (0 = "/dev/sda"), "/dev/rdiskN" on macOS.
std::string DriveNumberPath(unsigned long number);
// What the window writes in front of the drive box: the device path a number completes on
// Windows, or what the box takes elsewhere.
const char* DriveBoxLabel();
// What the drive box holds for a device the disk finder found: on Windows the drive's number
// (the label in front of the box says the rest), elsewhere the device's path.
std::string DriveBoxText(const std::string& devicePath);

// Bytes of one read that the disk would not deliver, even one sector at a time.
struct ReadGap {
  int64_t first = 0;  // absolute byte offset on the drive
  int64_t bytes = 0;
  std::string error;  // the system's words
};

class Drive {
 public:
  Drive() = default;
  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;

  // Opens the drive named by the drive-box text, read-only, through `opener` (the raw drive or
  // image when none is given). On failure the drive stays closed, reads deliver nothing (zeros),
  // and the returned status says why.
  Status Open(std::string_view driveText, const DiskOpener& opener = {});
  void Close();
  bool IsOpen() const { return disk_ != nullptr; }

  // Replaces the buffer with exactly `count` bytes read at `offset`; bytes the drive did not
  // deliver are zeros. A count of 0 or 1 leaves the buffer as it is and returns 0. A count that
  // is not a whole number of sectors is served by reading whole sectors (raw drives refuse
  // partial ones) and keeping the first `count` bytes. Returns how many of the `count` bytes
  // were delivered before the first failure, so a caller can tell a failed read from a good one.
  int64_t Read(int64_t offset, int64_t count);

  // Like Read, but past the system's caches where the platform allows it: a block device is
  // read with direct I/O, an image file as Read reads it. The copy's bulk reads go this way:
  // after the first error the kernel reads a failing disk through its cache one page per
  // request, and a failed direct read costs only itself. A large read is made in pieces no
  // larger than the pace allows (read_pace.h), so that on a slow disk a stop lands between them.
  int64_t ReadUncached(int64_t offset, int64_t count);

  // Like Read, but a read that fails is read again from the failure on, one logical sector
  // at a time past the caches, so that only the sectors that truly fail are lost. Returns those
  // (as zeros in the buffer), merged into runs and cut to the `count` bytes asked for. With
  // `wholeFirst` false the span is read one sector at a time from its start (for spans already
  // known to fail, where a whole read would only cost the disk's retries once more).
  std::vector<ReadGap> ReadSalvaging(int64_t offset, int64_t count, bool wholeFirst = true);

  // Long work that reads in bulk (the copy, the rescue, the search of the whole disk) says here
  // whether to go on. Once the answer is no, ReadUncached and ReadSalvaging stop at their next
  // piece or sector and no further read starts: Stopped() then says that a short read was a
  // stop, not a failure of the disk, and what it returned must not be taken for the disk's.
  void SetKeepGoing(std::function<bool()> keepGoing) { keepGoing_ = std::move(keepGoing); }
  bool Stopped() const { return stopped_; }
  // Hears, between the pieces of a long read past the caches, how many of its bytes are in, so
  // that a slow disk's progress shows while one read is made.
  void SetOnPiece(std::function<void(int64_t delivered)> onPiece) { onPiece_ = std::move(onPiece); }
  // Drives opened one after another for one disk (a batch's copies) share what they learnt of
  // its speed.
  void SharePace(std::shared_ptr<ReadPace> pace) {
    if (pace) pace_ = std::move(pace);
  }

  // Size of the opened drive or image in bytes; 0 when closed or unknown.
  int64_t SizeBytes() const { return disk_ ? disk_->SizeBytes() : 0; }
  const std::string& Path() const { return path_; }
  // Why the most recent short read stopped short; empty after a complete one.
  const std::string& LastReadError() const { return lastReadError_; }

  // The bytes of the most recent read, exactly as many as it asked for.
  const std::vector<uint8_t>& Buffer() const { return buffer_; }

 private:
  // Sizes the buffer for `count` bytes in whole sectors and returns that size; 0 (and zeros)
  // when nothing can be read there.
  int64_t Prepare(int64_t offset, int64_t count);
  int64_t Transfer(int64_t offset, int64_t count, bool uncached);
  // Reads `whole` bytes at `offset` into the buffer past the caches, piece by piece at the
  // pace; returns how many came in before the first failure or stop.
  int64_t ReadInPieces(int64_t offset, int64_t whole);
  // Whether the work reading the drive asked to stop; notes it in Stopped().
  bool AskedToStop();

  std::vector<uint8_t> buffer_;
  std::unique_ptr<DiskReader> disk_;
  std::string path_;
  std::string lastReadError_;
  std::function<bool()> keepGoing_;
  std::function<void(int64_t)> onPiece_;
  bool stopped_ = false;
  std::shared_ptr<ReadPace> pace_ = std::make_shared<ReadPace>();
};

}  // namespace skelbrook
