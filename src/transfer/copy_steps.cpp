// Opening a copy's working file, reading a recording into it, and the words a copy's outcome
// uses.
#include "transfer/copy_steps.h"

#include <optional>

#include "device/drive.h"
#include "transfer/copy_context.h"
#include "transfer/copy_files.h"
#include "transfer/guide_nfo.h"
#include "transfer/rescue.h"

namespace skelbrook {
namespace {

// Runs the rescue's passes that `stage` asks for; the retry only where the first left holes.
Status RunRescue(Rescue& r, RescueStage stage) {
  if (stage != RescueStage::RetryOnly) {
    if (Status s = RescueFirstPass(r); !s.ok()) return s;
  }
  if (stage == RescueStage::FirstPassOnly || r.map.Missing() == 0) return Status::Ok();
  if (Status s = SaveMap(r, 0, kNonTrimmed, true); !s.ok()) return s;
  return RescueRetryPass(r);
}

// The map as the rescue leaves it, also when it stopped or failed, so that the next rescue goes on
// from there; saved only when the copy could be made durable up to what it claims.
void SaveFinalMap(Rescue& r, bool finished) {
  // A map that cannot be saved leaves the last one saved, which never claims more than the copy
  // holds; the row's reason already says what went wrong.
  (void)SaveMap(r, r.map.Length(), finished ? kFinished : kNonTried, true);
}

}  // namespace

Status NoRoom(int64_t size, const VolumeInfo& volume) {
  return Status::Error("not enough free space at the destination (" + std::to_string(size) +
                       " bytes needed, " + std::to_string(volume.freeBytes) + " free)");
}

std::string MissingText(const std::vector<const RescueMap*>& maps) {
  int areas = 0;
  int64_t first = -1, missing = 0, before = 0;
  for (const RescueMap* map : maps) {
    for (const MapArea& a : map->Areas()) {
      if (a.status == kFinished) continue;
      ++areas;
      if (first < 0) first = before + a.pos;
    }
    missing += map->Missing();
    before += map->Length();
  }
  return std::to_string(missing) + " bytes in " + std::to_string(areas) +
         (areas == 1 ? " area" : " areas") + " could not be read, the first at byte " +
         std::to_string(first) + " of the copy";
}

Status OpenCopy(const CopyJob& job, const std::string& name, int64_t size, int64_t length,
                CopyOutcome& outcome, OpenedCopy& copy) {
  copy.out = job.makeOutput ? job.makeOutput() : std::make_unique<OutputFile>();
  OutputFile& out = *copy.out;
  if (Status s = OpenWorkingFile(job, name, out, outcome, copy.nameNote, copy.resumed); !s.ok())
    return s;
  copy.working = WorkingPath(outcome.path, job.rescue);
  copy.mapPath = copy.working + kMapSuffix;
  copy.map = RescueMap(length);
  if (copy.resumed) {
    // A map that does not fit this recording cannot say what was read: the rescue starts over.
    if (std::optional<RescueMap> loaded = RescueMap::Load(copy.mapPath, length)) {
      copy.map = *loaded;
    } else {
      (void)out.Close();  // nothing of it is kept
      DiscardFile(copy.working);
      copy.resumed = false;
      if (Status s = out.CreateExclusive(copy.working); !s.ok()) return s;
    }
  }
  if (!job.checkSpace || copy.resumed) return Status::Ok();
  const Status reserved = out.Reserve(size);
  if (reserved.ok()) return reserved;
  (void)out.Close();  // nothing of it is kept
  DiscardFile(copy.working);
  const VolumeInfo volume = job.queryVolume(job.destinationFolder);
  return reserved.message() == kDestinationFullText && volume.freeBytes >= 0 ? NoRoom(size, volume)
                                                                             : reserved;
}

Status ReadIntoCopy(const CopyJob& job, const ReadPlan& plan, int64_t before, int64_t whole,
                    OpenedCopy& copy, BatchCounters& counters, WorkObserver& observer,
                    RescueStage stage) {
  Drive drive;
  drive.SetKeepGoing([&observer] { return observer.keepGoing(); });
  drive.SharePace(job.pace);
  CopyContext c{drive, *copy.out, plan, whole, counters, observer, before, before, {}};
  // A slow disk's bars move with each piece of a long read, not only once it is all in.
  drive.SetOnPiece([&c](int64_t delivered) { ReportProgress(c, delivered); });
  Rescue rescue{c, copy.map, copy.mapPath};
  Status result = job.rescue ? SaveMap(rescue, 0, kNonTried, true) : Status::Ok();
  if (result.ok() && !observer.keepGoing()) result = Status::Stopped();
  if (result.ok()) result = drive.Open(job.driveText, job.openDisk);
  if (result.ok()) result = job.rescue ? RunRescue(rescue, stage) : CopyPlainly(c);
  if (result.ok()) result = copy.out->Flush();
  if (job.rescue) SaveFinalMap(rescue, result.ok());
  const Status closed = copy.out->Close();
  return result.ok() ? closed : result;
}

void WriteGuideFile(const CopyJob& job, const Recording& recording, const std::string& tsPath,
                    std::string& note) {
  if (!job.writeNfo || recording.unlisted || (recording.found && recording.title.empty())) return;
  std::string nfoPath;
  if (Status s = WriteNfo(tsPath, NfoText(recording), nfoPath); !s.ok()) {
    AddNote(note, "no guide file: " + s.message());
  }
}

std::string LimitText(const VolumeInfo& volume) {
  if (volume.maxFileWritten >= 0 && LargestFile(volume) == volume.maxFileWritten) {
    return "its driver writes no file larger than " + std::to_string(volume.maxFileWritten) +
           " bytes";
  }
  if (volume.maxFileBytes == kFatLargestFile) return "FAT32 holds no file of 4 GiB or more";
  return "it holds no file larger than " + std::to_string(volume.maxFileBytes) + " bytes";
}

}  // namespace skelbrook
