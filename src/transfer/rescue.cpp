// The two passes of a rescue, over the copy's map.
#include "transfer/rescue.h"

#include <algorithm>
#include <vector>

#include "disk/layout.h"

namespace skelbrook {
namespace {

// The end of the rescue block that holds byte `at` of the copy, no further than `limit`. Pieces
// start at whole clusters of the copy, so blocks are counted from the cluster's start.
int64_t BlockEnd(int64_t at, int64_t limit) {
  const int64_t cluster = at / kMediaClusterSize * kMediaClusterSize;
  return std::min({limit, cluster + kMediaClusterSize,
                   cluster + ((at - cluster) / kRescueBlockSize + 1) * kRescueBlockSize});
}

// Writes what the drive's buffer holds for bytes [at, at + bytes) of the copy there, restored.
Status WriteAt(Rescue& r, int64_t at, int64_t bytes) {
  if (Status s = r.c.out.Seek(at); !s.ok()) return s;
  return RestoreAndWrite(r.c, r.c.drive.Buffer().data(), bytes);
}

// Writes zeros over bytes [from, to) of the copy: an area not read yet holds zeros.
Status WriteZeros(Rescue& r, int64_t from, int64_t to) {
  static const std::vector<uint8_t> zeros(static_cast<size_t>(kLargestRead), 0);
  if (Status s = r.c.out.Seek(from); !s.ok()) return s;
  for (int64_t at = from; at < to;) {
    const int64_t n = std::min(to - at, kLargestRead);
    if (Status s = r.c.out.Write(zeros.data(), n); !s.ok()) return s;
    at += n;
  }
  return Status::Ok();
}

// Reads bytes [from, to) of the copy at `disk` past the caches and writes and marks what came in:
// everything, or the whole sectors before the first that failed. Returns how many bytes that was.
// A read stopped half way keeps what it read before the stop and sets `status` to Stopped.
int64_t ReadAndKeep(Rescue& r, int64_t from, int64_t to, int64_t disk, Status& status) {
  const int64_t length = to - from;
  const int64_t delivered = std::min(r.c.drive.ReadUncached(disk, WholeGroups(length)), length);
  const bool stopped = r.c.drive.Stopped();
  const int64_t good = delivered >= length ? length : delivered / kSectorSize * kSectorSize;
  r.c.counters.readBytes += good;
  if (good > 0) {
    status = WriteAt(r, from, good);
    if (status.ok()) r.map.Mark(from, good, kFinished);
  }
  if (stopped && status.ok()) status = Status::Stopped();
  return good;
}

// How the first pass reads the rest of a span.
enum class Reading {
  Whole,  // all of it at once
  Block,  // a large read failed: block by block until the block that fails
  Probe,  // after a skip: one block, to see whether the disk reads again
};

// A block failed from byte `at` on: the rest of it is marked for the sector-by-sector retry and
// written as zeros for now, and the pass skips ahead, twice as far as last time in a row.
Status GiveUpBlock(Rescue& r, int64_t at, int64_t blockEnd) {
  if (Status s = WriteZeros(r, at, blockEnd); !s.ok()) return s;
  r.map.Mark(at, blockEnd - at, kNonTrimmed);
  r.skip = r.skip == 0 ? kRescueBlockSize : std::min(2 * r.skip, kLargestSkip);
  r.skipUntil = std::min(r.map.Length(), blockEnd + r.skip);
  return Status::Ok();
}

// First pass over bytes [from, to) of the copy, which lie one after another on the disk from
// `disk` on.
Status FirstPassSpan(Rescue& r, int64_t from, int64_t to, int64_t disk) {
  Reading reading = r.skip > 0 ? Reading::Probe : Reading::Whole;
  for (int64_t pos = from; pos < to;) {
    if (pos < r.skipUntil) {  // skipped: left as not tried, zeros for now
      const int64_t end = std::min(to, r.skipUntil);
      if (Status s = WriteZeros(r, pos, end); !s.ok()) return s;
      pos = end;
      continue;
    }
    if (!r.c.observer.keepGoing()) return Status::Stopped();
    r.c.done = r.c.base + pos;  // the bars go on from here while the read is made
    const int64_t end = reading == Reading::Whole ? to : BlockEnd(pos, to);
    Status written;
    const int64_t good = ReadAndKeep(r, pos, end, disk + (pos - from), written);
    if (!written.ok()) return written;
    pos += good;
    if (pos >= end) {
      if (reading == Reading::Probe) reading = Reading::Whole;
      if (reading == Reading::Whole) r.skip = 0;
      continue;
    }
    if (reading == Reading::Whole && BlockEnd(pos, to) < end) {
      reading = Reading::Block;  // somewhere in there: block by block from here
      continue;
    }
    const int64_t blockEnd = BlockEnd(pos, to);
    if (Status s = GiveUpBlock(r, pos, blockEnd); !s.ok()) return s;
    pos = blockEnd;
    reading = Reading::Probe;
  }
  return Status::Ok();
}

// Retries bytes [at, to) of the copy at `disk`: a block skipped by the first pass is read whole
// first; what fails is read one sector at a time, and only the sectors that fail stay zero.
// Adds the bytes that stay unreadable to `unreadable`.
Status RetryBlock(Rescue& r, int64_t at, int64_t to, int64_t disk, bool skipped,
                  int64_t& unreadable) {
  Drive& drive = r.c.drive;
  const int64_t length = to - at;
  std::vector<ReadGap> gaps;
  if (!skipped || drive.ReadUncached(disk, WholeGroups(length)) < length)
    gaps = drive.ReadSalvaging(disk, WholeGroups(length), false);
  if (drive.Stopped()) return Status::Stopped();  // the block stays as it was, to be retried
  if (Status s = WriteAt(r, at, length); !s.ok()) return s;
  r.map.Mark(at, length, kFinished);
  int64_t bad = 0;
  for (const ReadGap& g : gaps) {
    const int64_t from = at + (g.first - disk);
    r.map.Mark(from, g.bytes, kBadSector);
    bad += std::min(g.bytes, to - from);  // not the padding to a whole 4-byte group
  }
  unreadable += bad;
  r.c.counters.readBytes += length - bad;
  return Status::Ok();
}

}  // namespace

std::pair<int64_t, int64_t> RescueBlockAt(int64_t at, int64_t count) {
  const int64_t cluster = at / kMediaClusterSize * kMediaClusterSize;
  const int64_t start = cluster + (at - cluster) / kRescueBlockSize * kRescueBlockSize;
  return {start, BlockEnd(at, count) - start};
}

Status SaveMap(Rescue& r, int64_t current, char state, bool now) {
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - r.saved < kMapSaveInterval) return Status::Ok();
  // The map may claim only what the destination truly holds: a stick pulled out or a power cut
  // must not leave a map that says "read" over bytes still in the page cache.
  if (Status s = r.c.out.SyncData(); !s.ok()) return s;
  r.saved = time;
  return r.map.Save(r.mapPath, current, state, r.pass);
}

Status RescueFirstPass(Rescue& r) {
  r.pass = 1;
  CopyContext& c = r.c;
  const std::vector<ReadPiece>& pieces = c.plan.pieces;
  for (size_t i = 0; i < pieces.size();) {
    const size_t end = RunEnd(pieces, i);
    const int64_t runFrom = pieces[i].fileOffset;
    const int64_t runTo = pieces[end - 1].fileOffset + pieces[end - 1].bytes;
    if (!c.observer.keepGoing()) return Status::Stopped();
    const std::vector<MapArea> areas = r.map.Areas();
    for (const MapArea& a : areas) {
      const int64_t from = std::max(a.pos, runFrom), to = std::min(a.pos + a.size, runTo);
      if (a.status != kNonTried || from >= to) continue;
      if (Status s = FirstPassSpan(r, from, to, pieces[i].diskOffset + (from - runFrom)); !s.ok())
        return s;
    }
    c.done = c.base + runTo;
    c.counters.copiedBytes += runTo - runFrom;
    ReportProgress(c);
    if (Status s = SaveMap(r, runTo, kNonTried); !s.ok()) return s;
    i = end;
  }
  return Status::Ok();
}

Status RescueRetryPass(Rescue& r) {
  r.pass = 2;
  CopyContext& c = r.c;
  const std::vector<ReadPiece>& pieces = c.plan.pieces;
  const int64_t toRetry = r.map.Missing();
  int64_t retried = 0, unreadable = 0;
  c.observer.taskProgress(0.0);
  const std::vector<MapArea> areas = r.map.Areas();
  for (const MapArea& a : areas) {
    if (a.status == kFinished) continue;
    // In pieces of at most one block, so that a yield and a stop come between them.
    for (int64_t pos = a.pos; pos < a.pos + a.size;) {
      if (!c.observer.keepGoing()) return Status::Stopped();
      const ReadPiece& p = pieces[PieceAt(pieces, pos)];
      const int64_t to = BlockEnd(pos, std::min(a.pos + a.size, p.fileOffset + p.bytes));
      const int64_t disk = p.diskOffset + (pos - p.fileOffset);
      if (Status s = RetryBlock(r, pos, to, disk, a.status == kNonTried, unreadable); !s.ok())
        return s;
      retried += to - pos;
      c.counters.retriedBytes += to - pos;
      c.observer.taskProgress(Percent(retried, toRetry));
      c.observer.batchProgress(Percent(c.counters.retriedBytes, c.counters.retryBytes));
      c.observer.retryProgress(retried, toRetry, unreadable);
      if (Status s = SaveMap(r, to, kNonScraped); !s.ok()) return s;
      pos = to;
    }
  }
  return Status::Ok();
}

}  // namespace skelbrook
