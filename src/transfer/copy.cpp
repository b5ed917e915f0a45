// One recording from the recorder disk to a .ts file: check it can be copied, plan the reads, open
// the file the copy is written to, copy plainly or rescue, then finish: flush, date, take the
// final name, write the guide file. Every read and write result is accounted for; an incomplete
// copy never gets the final name.
#include "transfer/copy.h"

#include <algorithm>
#include <vector>

#include "catalogue/parse_catalogue.h"
#include "device/drive.h"
#include "device/file_system.h"
#include "device/output_file.h"
#include "disk/allocation_table.h"
#include "transfer/copy_context.h"
#include "transfer/copy_files.h"
#include "transfer/guide_nfo.h"
#include "transfer/rescue.h"
#include "transfer/rescue_map.h"

namespace skelbrook {
namespace {

Status NoRoom(int64_t size, const VolumeInfo& volume) {
  return Status::Error("not enough free space at the destination (" + std::to_string(size) +
                       " bytes needed, " + std::to_string(volume.freeBytes) + " free)");
}

// Checks that need nothing from the disk: a file for the slot, room at the destination (not for
// a rescue taken up again, whose copy has its room already).
Status CheckBeforeCopy(const CopyJob& job, const MediaFile& media, bool checkSpace) {
  const MediaGeometry& g = *job.geometry;
  const int64_t offset = media.offset, size = media.size;
  if (media.entryMaybeLost) return Status::Error(kMediaEntryUnknownText);
  if (!media.Found())
    return Status::Error("no media file was found on the disk for this recording");
  if (size <= 0) return Status::Error("the recording's size is 0 bytes");
  if (offset < g.dataOffset)
    return Status::Error("the recording's start lies before the data area of the disk");
  if (g.driveSize > 0 && offset >= g.driveSize) {
    return Status::Error("the recording's start lies beyond the end of the disk");
  }
  if (g.driveSize > 0 && size > g.driveSize) {
    return Status::Error("the recording's size (" + std::to_string(size) +
                         " bytes) is larger than the whole disk");
  }
  // The copy never writes more than the recorded size, so the size is what must fit.
  if (checkSpace) {
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

// A copy under way: the file it is written to, and for a rescue the map of what it holds.
struct OpenedCopy {
  std::unique_ptr<OutputFile> out;
  std::string working;  // the name the copy has until it is finished
  std::string mapPath;
  RescueMap map;
  bool resumed = false;  // a rescue's copy and map left by an earlier run, taken up again
  std::string nameNote;
};

// Opens the file the copy is written to (setting outcome.path to the final name), loads a
// resumed rescue's map, and reserves the room a new copy needs.
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
  const VolumeInfo volume = QueryVolume(job.destinationFolder);
  return reserved.message() == kDestinationFullText && volume.freeBytes >= 0 ? NoRoom(size, volume)
                                                                             : reserved;
}

// Reads the recording into the opened copy and flushes it; a rescue's map is saved as the copy
// leaves it. The copy is closed afterwards.
Status ReadIntoCopy(const CopyJob& job, const ReadPlan& plan, int64_t size, OpenedCopy& copy,
                    BatchCounters& counters, WorkObserver& observer, RescueStage stage) {
  Drive drive;
  CopyContext c{drive, *copy.out, plan, size, counters, observer, 0, {}};
  Rescue rescue{c, copy.map, copy.mapPath};
  Status result = job.rescue ? SaveMap(rescue, 0, kNonTried, true) : Status::Ok();
  if (result.ok() && !observer.pump()) result = Status::Stopped();
  if (result.ok()) result = drive.Open(job.driveText, job.openDisk);
  if (result.ok()) result = job.rescue ? RunRescue(rescue, stage) : CopyPlainly(c);
  if (result.ok()) result = copy.out->Flush();
  if (job.rescue) SaveFinalMap(rescue, result.ok());
  const Status closed = copy.out->Close();
  return result.ok() ? closed : result;
}

// A rescue that ended with holes (or stopped, or failed): the copy and its map stay for the next
// rescue, and nothing with a hole takes the final name.
CopyOutcome KeptIncomplete(const OpenedCopy& copy, const Status& result, int64_t length,
                           CopyOutcome outcome) {
  outcome.path = copy.working;
  outcome.status = result.stopped() ? CopyStatus::Stopped : CopyStatus::Failed;
  if (!result.ok()) {
    outcome.reason = result.message() + "; the rescue so far is kept as " + copy.working +
                     " with its map, and a later rescue goes on from there";
    return outcome;
  }
  outcome.unreadableBytes = copy.map.Missing();
  outcome.bytesWritten = length;
  AddNote(outcome.note, MissingText(copy.map));
  outcome.reason = std::to_string(copy.map.Missing()) +
                   " bytes could not be read and were written as zeros; the copy is kept as " +
                   copy.working + " with its map " + copy.mapPath +
                   ", and a later rescue retries only what is missing";
  return outcome;
}

// The end of a copy that was read: a whole copy is dated and takes its final name, its guide
// file beside it; anything else says why, and only a finished copy that could not take its name
// is kept under its working name.
CopyOutcome Conclude(const CopyJob& job, const Recording& recording, const OpenedCopy& copy,
                     Status result, int64_t length, CopyOutcome outcome) {
  const bool finished = result.ok() && (!job.rescue || copy.map.Missing() == 0);
  if (finished) {
    DateCopy(recording, copy.working, outcome.note);
    result = RenameNoReplace(copy.working, outcome.path);
  }
  if (job.rescue && !finished) return KeptIncomplete(copy, result, length, outcome);
  if (!result.ok()) {
    if (finished) {
      result = Status::Error(result.message() + "; the finished copy is kept as " + copy.working);
    } else {
      DiscardFile(copy.working);
    }
    outcome.status = result.stopped() ? CopyStatus::Stopped : CopyStatus::Failed;
    outcome.reason = result.message();
    return outcome;
  }
  if (job.rescue) DiscardFile(copy.mapPath);  // the copy is whole: its map says nothing more
  // A guide file says what the recording is: a found one without a name has nothing to say.
  if (job.writeNfo && !recording.unlisted && !(recording.found && recording.title.empty())) {
    std::string nfoPath;
    if (Status s = WriteNfo(outcome.path, NfoText(recording), nfoPath); !s.ok()) {
      AddNote(outcome.note, "no guide file: " + s.message());
    }
  }
  outcome.bytesWritten = length;
  outcome.status = CopyStatus::Downloaded;
  return outcome;
}

}  // namespace

double Percent(int64_t part, int64_t whole) {
  if (whole <= 0) return 0.0;
  const double p = static_cast<double>(part) / static_cast<double>(whole) * 100.0;
  return std::clamp(p, 0.0, 100.0);
}

CopyOutcome CopyRecording(const CopyJob& job, const Recording& recording, BatchCounters& counters,
                          WorkObserver& observer, RescueStage stage) {
  CopyOutcome outcome;
  const int64_t size = recording.media.size;
  const std::string& name = recording.fileStem;
  outcome.path = job.destinationFolder + name + ".ts";
  if (FileExists(outcome.path)) {
    outcome.alreadyExists = true;
    outcome.reason = kExistsMessage;
    return outcome;
  }
  const bool resuming = job.rescue && RescueToResume(job, name);
  ReadPlan plan;
  OpenedCopy copy;
  Status s = CheckBeforeCopy(job, recording.media, job.checkSpace && !resuming);
  if (s.ok() && recording.found) {
    s = PlanClusterReads(*job.geometry, recording.clusters, size, plan);
  } else if (s.ok()) {
    const int64_t first =
        RoundedClusterNumber(recording.media.offset - job.geometry->dataOffset, kMediaClusterSize);
    s = PlanReads(*job.geometry, first, size, plan);
  }
  if (s.ok()) s = OpenCopy(job, name, size, plan.Length(), outcome, copy);
  if (!s.ok()) {
    outcome.reason = s.message();
    return outcome;
  }
  observer.taskProgress(0.0);
  const int64_t copiedBefore = counters.copiedBytes;
  const Status result = ReadIntoCopy(job, plan, size, copy, counters, observer, stage);
  AddNote(outcome.note, copy.nameNote);
  AddNote(outcome.note, plan.note);
  outcome = Conclude(job, recording, copy, result, plan.Length(), outcome);
  // What a copy that did not end well read adds nothing to the batch.
  if (outcome.status != CopyStatus::Downloaded && outcome.unreadableBytes == 0)
    counters.copiedBytes = copiedBefore;
  return outcome;
}

}  // namespace skelbrook
