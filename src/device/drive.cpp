// Reading the recorder disk: one read-only handle, whole-sector reads, zeros where the disk
// delivered nothing, an honest count of what it did deliver, and failed spans read again sector
// by sector past the caches so that one bad sector costs only itself. The platform's raw disk is
// in raw_disk_posix.cpp and raw_disk_win32.cpp.
#include "device/drive.h"

#include <algorithm>
#include <chrono>

namespace skelbrook {
namespace {

int64_t WholeSectors(int64_t count) {
  return (count + kSectorSize - 1) / kSectorSize * kSectorSize;
}

}  // namespace

DiskOpener WithRightsFallback(DiskOpener raw, DiskOpener service,
                              std::function<bool(const std::string&)> lacksRights) {
  return [raw = std::move(raw), service = std::move(service), lacksRights = std::move(lacksRights)](
             const std::string& path, std::unique_ptr<DiskReader>& disk) {
    const Status direct = raw(path, disk);
    if (direct.ok() || !service || !lacksRights(path)) return direct;
    const Status viaService = service(path, disk);
    if (viaService.ok()) return viaService;
    disk.reset();
    return Status::Error(direct.message() + "; the system's disk service did not open it either: " +
                         viaService.message());
  };
}

Status Drive::Open(std::string_view driveText, const DiskOpener& opener) {
  Close();
  path_ = ResolveDrivePath(driveText);
  return opener ? opener(path_, disk_) : OpenRawDisk(path_, disk_);
}

void Drive::Close() {
  disk_.reset();
}

int64_t Drive::Prepare(int64_t offset, int64_t count) {
  // Raw drives only transfer whole sectors: round the request up and keep the first `count`.
  const int64_t whole = WholeSectors(count);
  buffer_.resize(static_cast<size_t>(whole));
  lastReadError_.clear();
  stopped_ = false;
  if (offset < 0 || !IsOpen()) std::fill(buffer_.begin(), buffer_.end(), uint8_t{0});
  if (offset < 0) {
    lastReadError_ = "read before the start of the drive";
    return 0;
  }
  if (!IsOpen()) {
    lastReadError_ = "the drive is not open";
    return 0;
  }
  return whole;
}

int64_t Drive::Read(int64_t offset, int64_t count) {
  return Transfer(offset, count, false);
}

int64_t Drive::ReadUncached(int64_t offset, int64_t count) {
  return Transfer(offset, count, true);
}

bool Drive::AskedToStop() {
  if (keepGoing_ && !keepGoing_()) {
    stopped_ = true;
    lastReadError_ = "stopped";
  }
  return stopped_;
}

int64_t Drive::ReadInPieces(int64_t offset, int64_t whole) {
  int64_t delivered = 0;
  while (delivered < whole && !AskedToStop()) {
    const int64_t piece = std::min(whole - delivered, pace_->Limit());
    const auto started = std::chrono::steady_clock::now();
    const int64_t got = std::clamp<int64_t>(
        disk_->ReadUncached(offset + delivered, buffer_.data() + delivered, piece, lastReadError_),
        0, piece);
    pace_->Took(got, std::chrono::steady_clock::now() - started);
    delivered += got;
    if (got < piece) break;
    if (onPiece_ && delivered < whole) onPiece_(delivered);
  }
  return delivered;
}

int64_t Drive::Transfer(int64_t offset, int64_t count, bool uncached) {
  if (count <= 1) return 0;
  const int64_t whole = Prepare(offset, count);
  int64_t delivered = 0;
  if (whole > 0) {
    delivered = uncached
                    ? ReadInPieces(offset, whole)
                    : std::clamp<int64_t>(
                          disk_->ReadAt(offset, buffer_.data(), whole, lastReadError_), 0, whole);
    std::fill(buffer_.begin() + delivered, buffer_.end(), uint8_t{0});
  }
  // Only the rounding up to a whole sector came short: every byte asked for is here.
  if (delivered >= count) lastReadError_.clear();
  buffer_.resize(static_cast<size_t>(count));
  return std::min(delivered, count);
}

std::vector<ReadGap> Drive::ReadSalvaging(int64_t offset, int64_t count, bool wholeFirst) {
  std::vector<ReadGap> gaps;
  if (count <= 0) return gaps;
  const int64_t whole = Prepare(offset, std::max<int64_t>(count, 2));
  if (whole == 0) {
    buffer_.resize(static_cast<size_t>(count));
    gaps.push_back({offset, count, lastReadError_});
    return gaps;
  }
  std::string error;
  int64_t at = wholeFirst ? std::clamp<int64_t>(disk_->ReadAt(offset, buffer_.data(), whole, error),
                                                0, whole)
                          : 0;
  if (at < whole) {
    // From the sector that failed on, one logical sector at a time.
    const int64_t unit = std::max<int64_t>(disk_->SectorSize(), kSectorSize);
    at = (offset + at) / unit * unit - offset;
    at = std::max<int64_t>(at, 0);
    while (at < whole && !AskedToStop()) {
      const int64_t next = std::min(whole, ((offset + at) / unit + 1) * unit - offset);
      std::string sectorError;
      const int64_t got = std::clamp<int64_t>(
          disk_->ReadUncached(offset + at, buffer_.data() + at, next - at, sectorError), 0,
          next - at);
      std::fill(buffer_.begin() + at + got, buffer_.begin() + next, uint8_t{0});
      const int64_t lostFrom = at + got;
      if (lostFrom < next && lostFrom < count) {
        const int64_t lostTo = std::min(next, count);
        if (!gaps.empty() && gaps.back().first + gaps.back().bytes == offset + lostFrom &&
            gaps.back().error == sectorError) {
          gaps.back().bytes += lostTo - lostFrom;
        } else {
          gaps.push_back({offset + lostFrom, lostTo - lostFrom, sectorError});
        }
      }
      at = next;
    }
    // Stopped: what was not read is zeros, and no gap is claimed for it.
    if (stopped_) std::fill(buffer_.begin() + at, buffer_.end(), uint8_t{0});
  }
  if (!stopped_) lastReadError_ = gaps.empty() ? std::string() : gaps.front().error;
  buffer_.resize(static_cast<size_t>(count));
  return gaps;
}

}  // namespace skelbrook
