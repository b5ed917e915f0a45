// What the core reads the recorder disk through: a read-only source of whole sectors that says
// how many bytes it delivered and why it stopped. The real one is the raw drive or image file;
// tests put one in front of it that fails where a dying disk would.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/status.h"

namespace skelbrook {

inline constexpr int64_t kSectorSize = 512;

class DiskReader {
 public:
  virtual ~DiskReader() = default;

  // Reads up to `count` bytes at `offset` (both whole sectors of 512 bytes) into `into` and
  // returns how many came in, from the start. When that is fewer than `count`, `error` says why.
  virtual int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) = 0;

  // The same, but past the system's caches where the platform allows it, so that a failed
  // sector costs only itself and not the neighbours that share its cache page. Used to read a
  // failed span again one sector at a time.
  virtual int64_t ReadUncached(int64_t offset, uint8_t* into, int64_t count, std::string& error) {
    return ReadAt(offset, into, count, error);
  }

  // Size in bytes; 0 when the platform cannot tell.
  virtual int64_t SizeBytes() const = 0;
  // The smallest unit the disk can fail in: its logical sector size.
  virtual int64_t SectorSize() const { return kSectorSize; }
};

// Opens the device or image at `path` read-only. On failure `disk` stays empty and the status
// says why.
using DiskOpener =
    std::function<Status(const std::string& path, std::unique_ptr<DiskReader>& disk)>;

// The platform's raw drive or image file.
Status OpenRawDisk(const std::string& path, std::unique_ptr<DiskReader>& disk);

// POSIX only (raw_disk_posix.cpp): the raw drive or image `path` through a read-only descriptor
// opened elsewhere (the system's disk service hands one out to a user without the rights to open
// the device). Takes `fd` over.
Status AdoptRawDisk(int fd, const std::string& path, std::unique_ptr<DiskReader>& disk);

// Whether the program runs with every right to the disks (root; an elevated administrator on
// Windows): a refused open is then not about rights, and no hint about them is given.
bool RunsWithAllRights();

// Whether the user lacks the rights to read `path` (it exists, but opening it is refused).
bool LacksRightsToRead(const std::string& path);

// Opens through `raw`; when that fails because the user lacks the rights to the disk, through
// `service` instead (a system service that may ask for a password). When both fail, the
// status says why each did.
DiskOpener WithRightsFallback(DiskOpener raw, DiskOpener service,
                              std::function<bool(const std::string&)> lacksRights);

}  // namespace skelbrook
