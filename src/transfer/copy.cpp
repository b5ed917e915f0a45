// One recording from the recorder disk to a .ts file: follow the cluster chain through the media
// allocation table, read runs of clusters that lie one after another on the disk in large reads,
// restore the byte order, write sequentially, trim the last cluster. Every read and write result
// is accounted for; an incomplete copy never gets the final name. A rescue copies what reads
// first and then goes back for what did not, sector by sector, keeping a map so that it can be
// taken up again.
#include "transfer/copy.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "catalogue/byte_order.h"
#include "device/drive.h"
#include "device/file_system.h"
#include "device/output_file.h"
#include "disk/allocation_table.h"
#include "disk/unreadable.h"
#include "transfer/guide_nfo.h"
#include "transfer/rescue_map.h"

namespace skelbrook {
namespace {

constexpr const char* kPartSuffix = ".part";
constexpr const char* kIncompleteSuffix = ".incomplete.ts";
constexpr const char* kMapSuffix = ".map";
// The rescue's first pass gives up on a failed read at the end of the 64 KiB block it fails in.
constexpr int64_t kRescueBlock = kCopyBlockSize;
// The map is saved as the rescue goes, at most this often (and once more at the end).
constexpr std::chrono::seconds kMapSaveInterval{1};

// One piece of the copy: `keep` bytes of the file from byte `file` on come from the disk at
// `disk`. A whole cluster, or the part of the last one that the size says.
struct Piece {
  int64_t disk;
  int64_t file;
  int64_t keep;
};

// Whole 4-byte groups: what is read and restored for `bytes` bytes of the file.
int64_t Groups(int64_t bytes) {
  return (bytes + 3) / 4 * 4;
}

// The state of one copy.
struct ChainCopy {
  const CopyJob& job;
  Drive& drive;
  OutputFile& out;
  BatchCounters& counters;
  WorkObserver& observer;
  int64_t fileSize;
  const std::vector<Piece>& pieces;
  int64_t done = 0;  // bytes of the file dealt with, for the progress bar
  std::vector<uint8_t> staging;
};

bool IsEnd(int64_t successor) {
  return successor >= kEndOfChain;
}

// A cluster whose successor entry lies inside the table.
bool InTable(const MediaGeometry& g, int64_t cluster) {
  return cluster >= 0 && cluster + 1 < g.MediaFatCount &&
         cluster + 1 < static_cast<int64_t>(g.MediaFat.size());
}

// Walks the chain from StartCluster in the table in memory, before anything is read: every whole
// cluster up to the recorded size, then what is left in the cluster that holds the end, only
// when that is more than 1,024 bytes. Fails on a chain that loops, leaves the table, is shorter
// than the size, or needs a table entry that could not be read.
Status GetInfo(const MediaGeometry& g, int64_t StartCluster, int64_t FileSize,
               std::vector<Piece>& pieces, std::string& note) {
  int64_t cluster = StartCluster;
  int64_t done = 0;
  if (!InTable(g, cluster)) {
    return Status::Error("the recording's first cluster (" + std::to_string(cluster) +
                         ") lies outside the allocation table");
  }
  // A chain visits each cluster once: a cluster seen again means the chain runs in a loop.
  std::vector<bool> visited(static_cast<size_t>(g.MediaFatCount), false);
  while (!visited[static_cast<size_t>(cluster)]) {
    visited[static_cast<size_t>(cluster)] = true;
    // The copy stops at the recorded size, wherever the chain goes; it never follows an entry of
    // the table that could not be read.
    const bool unknown = SuccessorUnknown(g, cluster);
    const bool ends = !unknown && IsEnd(g.MediaFat[static_cast<size_t>(cluster + 1)]);
    if (ends || FileSize - done <= kMediaClusterSize) {
      if (!ends && !unknown) note = kChainGoesOnText;
      const int64_t remainder = FileSize - done;
      if (remainder > kMediaClusterSize) {
        return Status::Error("the recording is longer than its chain of clusters (" +
                             std::to_string(remainder - kMediaClusterSize) + " bytes missing)");
      }
      if (remainder > kTailThreshold) {
        pieces.push_back({MediaClusterOffset(g, cluster), done, remainder});
      }
      return Status::Ok();
    }
    if (unknown) return Status::Error(UnknownEntryText(g, cluster));
    pieces.push_back({MediaClusterOffset(g, cluster), done, kMediaClusterSize});
    done += kMediaClusterSize;
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

// The pieces from `first` on that lie one after another on the disk and fit one read of at
// most kLargestRead bytes (at least one piece): returns the index after the last.
size_t RunEnd(const std::vector<Piece>& pieces, size_t first) {
  size_t end = first + 1;
  int64_t bytes = Groups(pieces[first].keep);
  while (end < pieces.size() && pieces[end - 1].keep == kMediaClusterSize &&
         pieces[end].disk == pieces[end - 1].disk + kMediaClusterSize &&
         bytes + Groups(pieces[end].keep) <= kLargestRead) {
    bytes += Groups(pieces[end].keep);
    ++end;
  }
  return end;
}

void Progress(ChainCopy& c) {
  c.observer.taskProgress(Percent(c.done, c.fileSize));
  c.observer.batchProgress(Percent(c.counters.BatchBytesCopied, c.counters.BatchBytesTotal));
}

// Restores the byte order of `bytes` bytes of the file that lie at `from` in BlockBuffer and
// writes them at the file's current position (Do_Swap).
Status Do_Swap(ChainCopy& c, int64_t from, int64_t bytes) {
  c.staging.resize(static_cast<size_t>(Groups(bytes)));
  RestoreByteOrder(c.drive.BlockBuffer.data() + from, c.staging.data(), c.staging.size());
  return c.out.WriteOutput(c.staging.data(), bytes);
}

// The start of the 65,536-byte block (counted from its cluster's start) that holds byte `at` of
// a run, and the block's length within the run's `count` bytes.
std::pair<int64_t, int64_t> BlockAt(int64_t at, int64_t count) {
  const int64_t cluster = at / kMediaClusterSize * kMediaClusterSize;
  const int64_t start = cluster + (at - cluster) / kCopyBlockSize * kCopyBlockSize;
  return {start, std::min({kCopyBlockSize, cluster + kMediaClusterSize - start, count - start})};
}

// Reads `count` bytes of a run at `disk` into BlockBuffer. A disk that fails a large read may
// still deliver the blocks around the bad place: from the block that failed on, the run is read
// again block by block, and the first block that fails is named exactly.
Status ReadRun(ChainCopy& c, int64_t disk, int64_t count) {
  const int64_t delivered = c.drive.ReadDrive(disk, count);
  if (delivered >= count) return Status::Ok();
  std::vector<uint8_t> run = std::move(c.drive.BlockBuffer);
  for (int64_t at = BlockAt(delivered, count).first; at < count;) {
    const int64_t length = BlockAt(at, count).second;
    const int64_t got = c.drive.ReadDrive(disk + at, length);
    if (got < length) {
      return Status::Error("cannot read the recorder disk at " + ByteText(disk + at + got) + ": " +
                           c.drive.LastReadError());
    }
    std::copy(c.drive.BlockBuffer.begin(), c.drive.BlockBuffer.end(), run.begin() + at);
    at += length;
  }
  c.drive.BlockBuffer = std::move(run);
  return Status::Ok();
}

// The plain copy: each run of clusters in one read, then restored and written cluster by
// cluster, with a yield, the progress bars and a chance to stop per cluster. Any byte that
// cannot be read fails the copy.
Status CopyPieces(ChainCopy& c, bool& stopped) {
  size_t runEnd = 0;
  int64_t runFile = 0;
  for (size_t i = 0; i < c.pieces.size(); ++i) {
    if (!c.observer.pump()) {
      stopped = true;
      return Status::Error("stopped");
    }
    const Piece& p = c.pieces[i];
    if (i == runEnd) {
      runEnd = RunEnd(c.pieces, i);
      runFile = p.file;
      const Piece& last = c.pieces[runEnd - 1];
      const int64_t count = last.file - p.file + Groups(last.keep);
      if (Status s = ReadRun(c, p.disk, count); !s.ok()) return s;
    }
    if (Status s = Do_Swap(c, p.file - runFile, p.keep); !s.ok()) return s;
    c.done += p.keep;
    c.counters.BatchBytesCopied += p.keep;
    Progress(c);
  }
  return Status::Ok();
}

// ---- Rescue ---------------------------------------------------------------------------------

struct Rescue {
  ChainCopy& c;
  RescueMap& map;
  std::string mapPath;
  int pass = 1;
  std::chrono::steady_clock::time_point saved{};
};

// Saves the map when a second has passed since the last time, or now when `now` says so.
Status SaveMap(Rescue& r, int64_t current, char state, bool now = false) {
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - r.saved < kMapSaveInterval) return Status::Ok();
  r.saved = time;
  return r.map.Save(r.mapPath, current, state, r.pass);
}

// The index of the piece that holds byte `file` of the copy.
size_t PieceAt(const std::vector<Piece>& pieces, int64_t file) {
  const auto after = std::upper_bound(pieces.begin(), pieces.end(), file,
                                      [](int64_t f, const Piece& p) { return f < p.file; });
  return static_cast<size_t>(after - pieces.begin()) - 1;
}

// Restores what BlockBuffer holds for file bytes [file, file + bytes) and writes it there.
Status WriteAt(Rescue& r, int64_t file, int64_t bytes) {
  if (Status s = r.c.out.SeekOutput(file); !s.ok()) return s;
  return Do_Swap(r.c, 0, bytes);
}

// First pass over file bytes [from, to), which lie one after another on the disk: what reads is
// written and marked finished; a read that fails is given up at the end of the 64 KiB block it
// failed in, that block written as zeros for now and marked for the second pass.
Status FirstPassSpan(Rescue& r, int64_t from, int64_t to, int64_t diskFrom) {
  ChainCopy& c = r.c;
  int64_t pos = from;
  while (pos < to) {
    const int64_t length = to - pos;
    const int64_t delivered =
        std::min(c.drive.ReadDrive(diskFrom + (pos - from), Groups(length)), length);
    const int64_t good = delivered >= length ? length : delivered / kSectorSize * kSectorSize;
    if (good > 0) {
      if (Status s = WriteAt(r, pos, good); !s.ok()) return s;
      r.map.Mark(pos, good, kFinished);
    }
    pos += good;
    if (pos >= to) break;
    const int64_t cluster = pos / kMediaClusterSize * kMediaClusterSize;
    const int64_t blockEnd =
        std::min({to, cluster + kMediaClusterSize,
                  cluster + ((pos - cluster) / kRescueBlock + 1) * kRescueBlock});
    c.drive.BlockBuffer.assign(static_cast<size_t>(Groups(blockEnd - pos)), 0);
    if (Status s = WriteAt(r, pos, blockEnd - pos); !s.ok()) return s;
    r.map.Mark(pos, blockEnd - pos, kNonTrimmed);
    pos = blockEnd;
    if (Status s = SaveMap(r, pos, kNonTried); !s.ok()) return s;
  }
  return Status::Ok();
}

// Pass 1 over every area not tried yet, run by run; pass 2 over every area that failed, one
// logical sector at a time past the caches, so that exactly the unreadable sectors stay zero.
Status RescuePieces(Rescue& r, bool& stopped) {
  ChainCopy& c = r.c;
  const auto stop = [&] {
    stopped = !c.observer.pump();
    return stopped;
  };
  for (size_t i = 0; i < c.pieces.size();) {
    const size_t end = RunEnd(c.pieces, i);
    const int64_t runFrom = c.pieces[i].file;
    const int64_t runTo = c.pieces[end - 1].file + c.pieces[end - 1].keep;
    if (stop()) return Status::Error("stopped");
    const std::vector<MapArea> areas = r.map.Areas();
    for (const MapArea& a : areas) {
      const int64_t from = std::max(a.pos, runFrom), to = std::min(a.pos + a.size, runTo);
      if (a.status != kNonTried || from >= to) continue;
      if (Status s = FirstPassSpan(r, from, to, c.pieces[i].disk + (from - runFrom)); !s.ok())
        return s;
    }
    c.done = runTo;
    c.counters.BatchBytesCopied += runTo - runFrom;
    Progress(c);
    if (Status s = SaveMap(r, runTo, kNonTried); !s.ok()) return s;
    i = end;
  }
  r.pass = 2;
  const std::vector<MapArea> areas = r.map.Areas();
  for (const MapArea& a : areas) {
    if (a.status == kFinished) continue;
    // In pieces of at most one block, so that a yield and a stop come between them.
    for (int64_t pos = a.pos; pos < a.pos + a.size;) {
      if (stop()) return Status::Error("stopped");
      const Piece& p = c.pieces[PieceAt(c.pieces, pos)];
      const int64_t to = std::min({a.pos + a.size, p.file + p.keep, pos + kRescueBlock});
      const int64_t disk = p.disk + (pos - p.file);
      const std::vector<ReadGap> gaps = c.drive.ReadSalvaging(disk, Groups(to - pos), false);
      if (Status s = WriteAt(r, pos, to - pos); !s.ok()) return s;
      r.map.Mark(pos, to - pos, kFinished);
      for (const ReadGap& g : gaps) r.map.Mark(pos + (g.first - disk), g.bytes, kBadSector);
      if (Status s = SaveMap(r, to, kNonScraped); !s.ok()) return s;
      pos = to;
    }
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

// Where a copy is written until it is finished: "<name>.ts.part", or for a rescue, which may be
// left with holes and taken up again later, "<name>.incomplete.ts".
std::string WorkingPath(const std::string& finalPath, bool rescue) {
  if (!rescue) return finalPath + kPartSuffix;
  return finalPath.substr(0, finalPath.size() - 3) + kIncompleteSuffix;
}

// Opens the file the copy is written to and sets outcome.path to the final name: a rescue's file
// and map left by an earlier rescue run are taken up again (`resumed`); otherwise the file is
// created exclusively (a working file left by an interrupted copy is ours to replace). Some FUSE
// file systems (fusefat) take only plain ASCII names: when the name is refused and holds other
// characters, the plain form is used instead, and `note` says so.
Status OpenWorkingFile(const CopyJob& job, const std::string& name, OutputFile& out,
                       CopyOutcome& outcome, std::string& note, bool& resumed) {
  const std::string plain = PlainAsciiName(name);
  std::vector<std::string> finals{outcome.path};
  if (plain != name) finals.push_back(job.destinationFolder + plain + ".ts");
  for (const std::string& f : finals) {
    const std::string working = WorkingPath(f, job.rescue);
    if (job.rescue && FileExists(working) && FileExists(working + kMapSuffix)) {
      outcome.path = f;
      resumed = true;
      return out.OpenExisting(working);
    }
  }
  Status first;
  for (size_t i = 0; i < finals.size(); ++i) {
    if (i > 0 && FileExists(finals[i])) {
      outcome.path = finals[i];
      outcome.alreadyExists = true;
      return Status::Error(kExistsMessage);
    }
    const std::string working = WorkingPath(finals[i], job.rescue);
    if (FileExists(working)) (void)RemoveFile(working);
    const Status created = out.CreateExclusive(working);
    if (created.ok()) {
      outcome.path = finals[i];
      if (i > 0) {
        note = "the destination refused the name's letters outside plain ASCII: saved as " + plain +
               ".ts";
      }
      return created;
    }
    if (i == 0) first = created;
  }
  return first;
}

void AddNote(std::string& note, const std::string& more) {
  if (!more.empty()) note += (note.empty() ? "" : "; ") + more;
}

// A finished copy takes its recording's start as its date, so that a media library sorts it by
// when it was broadcast. A media file no record names has no start to give.
void DateCopy(const ProgrammeTable& table, int slot, const std::string& path, std::string& note) {
  if (table.ProgUnlisted[slot]) return;
  if (Status s = SetFileTimes(path, table.ProgStart[slot]); !s.ok()) AddNote(note, s.message());
}

// What is still missing from a rescued copy, in words: "N bytes in K areas could not be read,
// the first at byte X of the copy".
std::string MissingText(const RescueMap& map) {
  int areas = 0;
  int64_t first = -1;
  for (const MapArea& a : map.Areas()) {
    if (a.status == kFinished) continue;
    ++areas;
    if (first < 0) first = a.pos;
  }
  return std::to_string(map.Missing()) + " bytes in " + std::to_string(areas) +
         (areas == 1 ? " area" : " areas") + " could not be read, the first at byte " +
         std::to_string(first) + " of the copy";
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

  std::vector<Piece> pieces;
  std::string chainNote;
  const int64_t start =
      RoundedClusterNumber(offset - job.geometry->MediaDataOffset, kMediaClusterSize);
  if (Status s = GetInfo(*job.geometry, start, size, pieces, chainNote); !s.ok()) {
    outcome.reason = s.message();
    return outcome;
  }
  const int64_t length = pieces.empty() ? 0 : pieces.back().file + pieces.back().keep;

  const std::unique_ptr<OutputFile> made =
      job.makeOutput ? job.makeOutput() : std::make_unique<OutputFile>();
  OutputFile& out = *made;
  std::string nameNote;
  bool resumed = false;
  if (Status s = OpenWorkingFile(job, table.ProgFileName[slot], out, outcome, nameNote, resumed);
      !s.ok()) {
    outcome.reason = s.message();
    return outcome;
  }
  const std::string working = WorkingPath(outcome.path, job.rescue);
  const std::string mapPath = working + kMapSuffix;
  RescueMap map(length);
  if (resumed) {
    // A map that does not fit this recording cannot say what was read: the rescue starts over.
    if (std::optional<RescueMap> loaded = RescueMap::Load(mapPath, length)) {
      map = *loaded;
    } else {
      (void)out.CloseOutput();
      (void)RemoveFile(working);
      resumed = false;
      if (Status s = out.CreateExclusive(working); !s.ok()) {
        outcome.reason = s.message();
        return outcome;
      }
    }
  }
  if (Status s = job.checkSpace && !resumed ? out.ReserveOutput(size) : Status::Ok(); !s.ok()) {
    (void)out.CloseOutput();
    (void)RemoveFile(working);
    const VolumeInfo volume = QueryVolume(job.destinationFolder);
    outcome.reason = s.message() == kDestinationFullText && volume.freeBytes >= 0
                         ? NoRoom(size, volume).message()
                         : s.message();
    return outcome;
  }
  observer.taskProgress(0.0);

  Drive drive;
  const int64_t copiedBefore = counters.BatchBytesCopied;
  ChainCopy c{job, drive, out, counters, observer, size, pieces, 0, {}};
  Rescue rescue{c, map, mapPath};
  bool stopped = false;
  Status result = job.rescue ? SaveMap(rescue, 0, kNonTried, true) : Status::Ok();
  if (result.ok() && !observer.pump()) {
    stopped = true;
    result = Status::Error("stopped");
  }
  if (result.ok()) result = drive.OpenDrive(job.driveText, job.openDisk);
  if (result.ok()) result = job.rescue ? RescuePieces(rescue, stopped) : CopyPieces(c, stopped);
  if (result.ok()) result = out.FlushOutput();
  const Status closed = out.CloseOutput();
  if (result.ok()) result = closed;
  drive.CloseDrive();
  AddNote(outcome.note, nameNote);
  AddNote(outcome.note, chainNote);

  // The map as the copy left it, also when it stopped or failed: the next rescue goes on from it.
  if (job.rescue) (void)SaveMap(rescue, length, result.ok() ? kFinished : kNonTried, true);
  const bool finished = result.ok() && (!job.rescue || map.Missing() == 0);
  if (finished) {
    DateCopy(table, slot, working, outcome.note);
    result = RenameNoReplace(working, outcome.path);
  }
  if (job.rescue && !finished) {
    // Nothing with a hole takes the final name: the copy and its map stay for the next rescue.
    outcome.path = working;
    if (result.ok()) {
      outcome.unreadableBytes = map.Missing();
      outcome.status = CopyStatus::Failed;
      outcome.bytesWritten = length;
      AddNote(outcome.note, MissingText(map));
      outcome.reason = std::to_string(map.Missing()) +
                       " bytes could not be read and were written as zeros; the copy is kept as " +
                       working + " with its map " + mapPath +
                       ", and a later rescue retries only what is missing";
      return outcome;
    }
    counters.BatchBytesCopied = copiedBefore;
    outcome.status = stopped ? CopyStatus::Stopped : CopyStatus::Failed;
    outcome.reason = result.message() + "; the rescue so far is kept as " + working +
                     " with its map, and a later rescue goes on from there";
    return outcome;
  }
  if (!result.ok()) {
    // A finished copy that could not take its name is kept under its working name, never
    // deleted.
    if (finished) {
      result = Status::Error(result.message() + "; the finished copy is kept as " + working);
    } else {
      (void)RemoveFile(working);
    }
    counters.BatchBytesCopied = copiedBefore;
    outcome.status = stopped ? CopyStatus::Stopped : CopyStatus::Failed;
    outcome.reason = result.message();
    return outcome;
  }
  if (job.rescue) (void)RemoveFile(mapPath);
  if (job.writeNfo && !table.ProgUnlisted[slot]) {
    std::string nfoPath;
    if (Status s = WriteNfo(outcome.path, NfoText(table, slot), nfoPath); !s.ok()) {
      AddNote(outcome.note, "no guide file: " + s.message());
    }
  }
  outcome.bytesWritten = length;
  outcome.status = CopyStatus::Downloaded;
  return outcome;
}

}  // namespace skelbrook
