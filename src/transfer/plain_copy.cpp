// The plain copy: each run of clusters in one large read, then restored and written cluster by
// cluster. A read that fails is read again block by block, and the block that fails sector by
// sector up to its first bad sector, so that the user is told exactly which byte would not read.
#include <algorithm>

#include "catalogue/byte_order.h"
#include "disk/layout.h"
#include "disk/unreadable.h"
#include "transfer/copy_context.h"
#include "transfer/rescue.h"

namespace skelbrook {
namespace {

// The first sector of [disk, disk + count) that will not read, read one sector at a time until
// it is found; `disk + count` when every sector reads.
int64_t FirstBadSector(Drive& drive, int64_t disk, int64_t count) {
  for (int64_t at = 0; at < count; at += kSectorSize) {
    const int64_t length = std::min(kSectorSize, count - at);
    if (drive.ReadUncached(disk + at, length) < length) return disk + at;
  }
  return disk + count;
}

// Reads `count` bytes of a run at `disk` and points `bytes` at them. A disk that fails a large
// read may still deliver the blocks around the bad place: from the block the failure lies in,
// the run is read again block by block into `assembled`, and the block that fails is searched for
// its first bad sector.
Status ReadRun(Drive& drive, int64_t disk, int64_t count, std::vector<uint8_t>& assembled,
               const uint8_t*& bytes) {
  const int64_t delivered = drive.ReadUncached(disk, count);
  bytes = drive.Buffer().data();
  if (delivered >= count) return Status::Ok();
  if (drive.Stopped()) return Status::Stopped();
  assembled = drive.Buffer();
  for (int64_t at = RescueBlockAt(delivered, count).first; at < count;) {
    const int64_t length = RescueBlockAt(at, count).second;
    if (drive.ReadUncached(disk + at, length) < length) {
      const std::string error = drive.LastReadError();
      const int64_t bad = drive.Stopped() ? 0 : FirstBadSector(drive, disk + at, length);
      if (drive.Stopped()) return Status::Stopped();
      return Status::Unreadable("cannot read the recorder disk at " + ByteText(bad) + ": " + error);
    }
    std::copy(drive.Buffer().begin(), drive.Buffer().end(), assembled.begin() + at);
    at += length;
  }
  bytes = assembled.data();
  return Status::Ok();
}

}  // namespace

Status RestoreAndWrite(CopyContext& c, const uint8_t* source, int64_t bytes) {
  c.staging.resize(static_cast<size_t>(WholeGroups(bytes)));
  RestoreByteOrder(source, c.staging.data(), c.staging.size());
  return c.out.Write(c.staging.data(), bytes);
}

void ReportProgress(CopyContext& c, int64_t reading) {
  c.observer.taskProgress(Percent(c.done + reading, c.size));
  c.observer.batchProgress(Percent(c.counters.copiedBytes + reading, c.counters.totalBytes));
}

Status CopyPlainly(CopyContext& c) {
  const std::vector<ReadPiece>& pieces = c.plan.pieces;
  size_t runEnd = 0;
  int64_t runStart = 0;            // the byte of the copy the run's first byte is
  const uint8_t* run = nullptr;    // the run's bytes as read
  std::vector<uint8_t> assembled;  // a run read again block by block
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (!c.observer.keepGoing()) return Status::Stopped();
    const ReadPiece& p = pieces[i];
    if (i == runEnd) {
      runEnd = RunEnd(pieces, i);
      runStart = p.fileOffset;
      const ReadPiece& last = pieces[runEnd - 1];
      const int64_t count = last.fileOffset - p.fileOffset + WholeGroups(last.bytes);
      if (Status s = ReadRun(c.drive, p.diskOffset, count, assembled, run); !s.ok()) return s;
    }
    if (Status s = RestoreAndWrite(c, run + (p.fileOffset - runStart), p.bytes); !s.ok()) return s;
    c.done += p.bytes;
    c.counters.copiedBytes += p.bytes;
    c.counters.readBytes += p.bytes;
    ReportProgress(c);
  }
  return Status::Ok();
}

}  // namespace skelbrook
