// One recording from the recorder disk to a .ts file: follow the cluster chain through the media
// allocation table, read each cluster in blocks, restore the byte order, write sequentially, trim
// the last cluster. Every read and write result is accounted for; an incomplete copy never gets
// the final name.
#include "transfer/copy.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "catalogue/byte_order.h"
#include "device/drive.h"
#include "device/file_system.h"
#include "device/output_file.h"
#include "disk/allocation_table.h"
#include "disk/unreadable.h"

namespace skelbrook {
namespace {

constexpr const char* kPartSuffix = ".part";
constexpr const char* kUnreadableSuffix = ".unreadable.txt";
constexpr int64_t kBlocksPerCluster = 6;

struct ByteRange {
  int64_t first;
  int64_t count;
};

// The state of one copy while its chain is walked.
struct ChainCopy {
  const CopyJob& job;
  Drive& drive;
  OutputFile& out;
  BatchCounters& counters;
  WorkObserver& observer;
  int64_t fileSize;
  int64_t done = 0;
  std::vector<uint8_t> staging;
  std::vector<ByteRange> unreadable;
  std::string note;
};

bool IsEnd(int64_t successor) {
  return successor >= kEndOfChain;
}

// Fills drive.BlockBuffer with `count` bytes at `position`, of which the first `keep` go into the
// file. In rescue mode a block that cannot be read whole is read again sector by sector past the
// caches, and the sectors that still fail are left as zeros and noted (as far as they lie in the
// file). Returns an error when the bytes cannot be had.
Status ReadBlock(ChainCopy& c, int64_t position, int64_t count, int64_t keep) {
  if (!c.job.rescue) {
    const int64_t delivered = c.drive.ReadDrive(position, count);
    if (delivered >= count) return Status::Ok();
    return Status::Error("cannot read the recorder disk at " + ByteText(position + delivered) +
                         ": " + c.drive.LastReadError());
  }
  for (const ReadGap& g : c.drive.ReadSalvaging(position, count)) {
    const int64_t first = c.done + (g.first - position);
    const int64_t missing = std::min(g.bytes, c.done + keep - first);
    if (missing <= 0) continue;
    if (!c.unreadable.empty() && c.unreadable.back().first + c.unreadable.back().count == first) {
      c.unreadable.back().count += missing;
    } else {
      c.unreadable.push_back({first, missing});
    }
  }
  return Status::Ok();
}

// Restores and appends the first `keep` bytes of the `count` bytes in BlockBuffer.
Status WriteBlock(ChainCopy& c, int64_t count, int64_t keep) {
  c.staging.resize(static_cast<size_t>(count));
  RestoreByteOrder(c.drive.BlockBuffer.data(), c.staging.data(),
                   static_cast<size_t>(count & ~int64_t{3}));
  return c.out.WriteOutput(c.staging.data(), keep);
}

void Progress(ChainCopy& c) {
  c.observer.taskProgress(Percent(c.done, c.fileSize));
  c.observer.batchProgress(Percent(c.counters.BatchBytesCopied, c.counters.BatchBytesTotal));
}

// Copies one whole cluster in five blocks of 65,536 bytes and one of 57,344, each written before
// the next is read. `done` tracks the file offset for rescue notes, so blocks count as they go.
Status CopyWholeCluster(ChainCopy& c, int64_t cluster) {
  const int64_t position = MediaClusterOffset(*c.job.geometry, cluster);
  const int64_t clusterStart = c.done;
  for (int64_t block = 0; block < kBlocksPerCluster; ++block) {
    const int64_t length = block + 1 < kBlocksPerCluster ? kCopyBlockSize : kCopyLastBlockSize;
    c.done = clusterStart + block * kCopyBlockSize;
    if (Status s = ReadBlock(c, position + block * kCopyBlockSize, length, length); !s.ok())
      return s;
    if (Status s = WriteBlock(c, length, length); !s.ok()) return s;
  }
  c.done = clusterStart + kMediaClusterSize;
  c.counters.BatchBytesCopied += kMediaClusterSize;
  Progress(c);
  return Status::Ok();
}

// The last cluster: only what the size says is left, and only when that is more than 1,024 bytes.
Status CopyTail(ChainCopy& c, int64_t cluster) {
  const int64_t remainder = c.fileSize - c.done;
  if (remainder > kMediaClusterSize) {
    return Status::Error("the recording is longer than its chain of clusters (" +
                         std::to_string(remainder - kMediaClusterSize) + " bytes missing)");
  }
  if (remainder <= kTailThreshold) return Status::Ok();
  // Whole 4-byte groups are read and restored; exactly the remainder is written.
  const int64_t groups = (remainder + 3) / 4 * 4;
  if (Status s = ReadBlock(c, MediaClusterOffset(*c.job.geometry, cluster), groups, remainder);
      !s.ok()) {
    return s;
  }
  if (Status s = WriteBlock(c, groups, remainder); !s.ok()) return s;
  c.done += remainder;
  c.counters.BatchBytesCopied += remainder;
  Progress(c);
  return Status::Ok();
}

// A cluster whose successor entry lies inside the table.
bool InTable(const MediaGeometry& g, int64_t cluster) {
  return cluster >= 0 && cluster + 1 < g.MediaFatCount &&
         cluster + 1 < static_cast<int64_t>(g.MediaFat.size());
}

// Walks the chain from `start`. Returns false with `stopped` set when the user asked to stop.
Status GetInfo(ChainCopy& c, int64_t StartCluster, bool& stopped) {
  const MediaGeometry& g = *c.job.geometry;
  int64_t cluster = StartCluster;
  if (!InTable(g, cluster)) {
    return Status::Error("the recording's first cluster (" + std::to_string(cluster) +
                         ") lies outside the allocation table");
  }
  // A chain visits each cluster once: a cluster seen again means the chain runs in a loop.
  std::vector<bool> visited(static_cast<size_t>(g.MediaFatCount), false);
  while (!visited[static_cast<size_t>(cluster)]) {
    visited[static_cast<size_t>(cluster)] = true;
    if (!c.observer.pump()) {
      stopped = true;
      return Status::Error("stopped");
    }
    // The copy stops at the recorded size, wherever the chain goes; it never follows an entry of
    // the table that could not be read.
    const bool unknown = SuccessorUnknown(g, cluster);
    const bool ends = !unknown && IsEnd(g.MediaFat[static_cast<size_t>(cluster + 1)]);
    if (ends || c.fileSize - c.done <= kMediaClusterSize) {
      if (!ends && !unknown) c.note = kChainGoesOnText;
      return CopyTail(c, cluster);
    }
    if (unknown) return Status::Error(UnknownEntryText(g, cluster));
    if (Status s = CopyWholeCluster(c, cluster); !s.ok()) return s;
    const int64_t next = g.MediaFat[static_cast<size_t>(cluster + 1)];
    if (!InTable(g, next)) {
      return Status::Error(
          "the recording's chain of clusters leaves the allocation table at cluster " +
          std::to_string(next));
    }
    cluster = next;
  }
  return Status::Error("the recording's chain of clusters runs in a loop");
}

Status WriteUnreadableList(const std::string& path, const std::vector<ByteRange>& ranges) {
  std::ofstream list(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  list << "# Byte ranges of the copied file that could not be read from the recorder disk and\r\n"
       << "# were written as zeros: first byte, last byte, length.\r\n";
  for (const ByteRange& r : ranges) {
    list << r.first << "-" << (r.first + r.count - 1) << "\t" << r.count << "\r\n";
  }
  list.close();
  if (!list) return Status::Error("cannot write " + path);
  return Status::Ok();
}

Status NoRoom(int64_t size, const VolumeInfo& volume) {
  return Status::Error("not enough free space at the destination (" + std::to_string(size) +
                       " bytes needed, " + std::to_string(volume.freeBytes) + " free)");
}

// Checks that need nothing from the disk: a file for the slot, room at the destination.
Status CheckBeforeCopy(const CopyJob& job, int slot, int64_t offset, int64_t size) {
  const MediaGeometry& g = *job.geometry;
  if (job.table->ProgFileUnknown[slot]) return Status::Error(kMediaEntryUnknownText);
  if (offset == 0 && size == 0)
    return Status::Error("no media file was found on the disk for this recording");
  if (size <= 0) return Status::Error("the recording's size is 0 bytes");
  if (offset < g.MediaDataOffset)
    return Status::Error("the recording's start lies before the data area of the disk");
  if (g.DriveSize > 0 && offset >= g.DriveSize) {
    return Status::Error("the recording's start lies beyond the end of the disk");
  }
  if (g.DriveSize > 0 && size > g.DriveSize) {
    return Status::Error("the recording's size (" + std::to_string(size) +
                         " bytes) is larger than the whole disk");
  }
  // The copy never writes more than the recorded size, so the size is what must fit.
  if (job.checkSpace) {
    const VolumeInfo volume = QueryVolume(job.destinationFolder);
    if (volume.maxFileBytes == kFatLargestFile && size > volume.maxFileBytes) {
      return Status::Error("the recording (" + std::to_string(size) +
                           " bytes) is too large for the destination's file system (" +
                           volume.fileSystem + "): FAT32 holds no file of 4 GiB or more");
    }
    if (volume.maxFileBytes >= 0 && size > volume.maxFileBytes) {
      return Status::Error("the destination's file system cannot hold a file of " +
                           std::to_string(size) + " bytes");
    }
    if (volume.freeBytes >= 0 && volume.freeBytes < size) return NoRoom(size, volume);
  }
  return Status::Ok();
}

// The name with every character outside plain ASCII made "_", as the name rule does with the
// characters Windows refuses.
std::string PlainAsciiName(const std::string& utf8) {
  std::string plain;
  for (const char ch : utf8) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x80) {
      plain.push_back(ch);
    } else if ((byte & 0xC0) != 0x80) {
      plain.push_back('_');  // the lead byte of a character; its continuation bytes go
    }
  }
  return plain;
}

// Creates "<name>.ts.part" exclusively (a .part left by an interrupted copy is ours to replace)
// and sets outcome.path to the final name. Some FUSE file systems (fusefat) take only plain ASCII
// names: when the name is refused and holds other characters, the plain form is used instead,
// and `note` says so.
Status CreatePart(const CopyJob& job, const std::string& name, OutputFile& out,
                  CopyOutcome& outcome, std::string& note) {
  const auto create = [&](const std::string& finalPath) {
    const std::string partPath = finalPath + kPartSuffix;
    if (FileExists(partPath)) (void)RemoveFile(partPath);
    return out.CreateExclusive(partPath);
  };
  const Status created = create(outcome.path);
  const std::string plain = PlainAsciiName(name);
  if (created.ok() || plain == name) return created;
  const std::string plainPath = job.destinationFolder + plain + ".ts";
  if (FileExists(plainPath)) {
    outcome.path = plainPath;
    outcome.alreadyExists = true;
    return Status::Error(kExistsMessage);
  }
  if (!create(plainPath).ok()) return created;
  outcome.path = plainPath;
  note =
      "the destination refused the name's letters outside plain ASCII: saved as " + plain + ".ts";
  return Status::Ok();
}

}  // namespace

double Percent(int64_t part, int64_t whole) {
  if (whole <= 0) return 0.0;
  const double p = static_cast<double>(part) / static_cast<double>(whole) * 100.0;
  return std::clamp(p, 0.0, 100.0);
}

CopyOutcome Trace_and_Record(const CopyJob& job, int RowIndex, BatchCounters& counters,
                             WorkObserver& observer) {
  CopyOutcome outcome;
  const ProgrammeTable& table = *job.table;
  if (RowIndex < 1 || RowIndex >= static_cast<int>(table.RowSlot.size())) {
    outcome.reason = "there is no such row";
    return outcome;
  }
  const int slot = table.RowSlot[static_cast<size_t>(RowIndex)];
  const int64_t offset = table.ProgFileOffset[slot];
  const int64_t size = table.ProgFileSize[slot];
  outcome.path = job.destinationFolder + table.ProgFileName[slot] + ".ts";
  if (FileExists(outcome.path)) {
    outcome.alreadyExists = true;
    outcome.reason = kExistsMessage;
    return outcome;
  }
  if (Status s = CheckBeforeCopy(job, slot, offset, size); !s.ok()) {
    outcome.reason = s.message();
    return outcome;
  }

  const std::unique_ptr<OutputFile> made =
      job.makeOutput ? job.makeOutput() : std::make_unique<OutputFile>();
  OutputFile& out = *made;
  std::string nameNote;
  if (Status s = CreatePart(job, table.ProgFileName[slot], out, outcome, nameNote); !s.ok()) {
    outcome.reason = s.message();
    return outcome;
  }
  const std::string partPath = outcome.path + kPartSuffix;
  if (Status s = job.checkSpace ? out.ReserveOutput(size) : Status::Ok(); !s.ok()) {
    (void)out.CloseOutput();
    (void)RemoveFile(partPath);
    const VolumeInfo volume = QueryVolume(job.destinationFolder);
    outcome.reason = s.message() == kDestinationFullText && volume.freeBytes >= 0
                         ? NoRoom(size, volume).message()
                         : s.message();
    return outcome;
  }
  observer.taskProgress(0.0);

  Drive drive;
  const int64_t copiedBefore = counters.BatchBytesCopied;
  ChainCopy c{job, drive, out, counters, observer, size, 0, {}, {}, {}};
  bool stopped = false;
  Status result;
  if (!observer.pump()) {
    stopped = true;
    result = Status::Error("stopped");
  } else if (Status opened = drive.OpenDrive(job.driveText, job.openDisk); !opened.ok()) {
    result = opened;
  } else {
    result =
        GetInfo(c, RoundedClusterNumber(offset - job.geometry->MediaDataOffset, kMediaClusterSize),
                stopped);
  }
  if (result.ok()) result = out.FlushOutput();
  const Status closed = out.CloseOutput();
  if (result.ok()) result = closed;
  drive.CloseDrive();
  const bool finished = result.ok();
  if (finished) result = RenameNoReplace(partPath, outcome.path);

  if (!result.ok()) {
    // A finished copy that could not take its name is kept under the .part name, never deleted.
    if (finished) {
      result = Status::Error(result.message() + "; the finished copy is kept as " + partPath);
    } else {
      (void)RemoveFile(partPath);
    }
    counters.BatchBytesCopied = copiedBefore;
    outcome.status = stopped ? CopyStatus::Stopped : CopyStatus::Failed;
    outcome.reason = result.message();
    return outcome;
  }
  outcome.bytesWritten = c.done;
  outcome.note = nameNote.empty() || c.note.empty() ? nameNote + c.note : nameNote + "; " + c.note;
  if (!c.unreadable.empty()) {
    for (const ByteRange& r : c.unreadable) outcome.unreadableBytes += r.count;
    const Status listed = WriteUnreadableList(outcome.path + kUnreadableSuffix, c.unreadable);
    outcome.status = CopyStatus::Failed;
    outcome.reason = std::to_string(outcome.unreadableBytes) +
                     " bytes could not be read and were written as zeros; see " + outcome.path +
                     kUnreadableSuffix + (listed.ok() ? "" : " (" + listed.message() + ")");
    return outcome;
  }
  outcome.status = CopyStatus::Downloaded;
  return outcome;
}

}  // namespace skelbrook
