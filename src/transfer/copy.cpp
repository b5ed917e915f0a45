// One recording from the recorder disk to a .ts file: check it can be copied, plan the reads, open
// the file the copy is written to, copy plainly or rescue, then finish: flush, date, take the
// final name, write the guide file. Every read and write result is accounted for; an incomplete
// copy never gets the final name.
#include "transfer/copy.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "catalogue/parse_catalogue.h"
#include "device/file_system.h"
#include "disk/allocation_table.h"
#include "transfer/copy_files.h"
#include "transfer/copy_steps.h"
#include "transfer/parts.h"

namespace skelbrook {
namespace {

// Checks that need nothing from the disk or the destination: a file for the slot, a plausible
// place and size.
Status CheckBeforeCopy(const CopyJob& job, const MediaFile& media) {
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
  return Status::Ok();
}

// Whether the copy must go in parts: it is larger than the destination's largest file.
bool InParts(const CopyJob& job, const VolumeInfo& volume, int64_t length) {
  const int64_t largest = LargestFile(volume);
  return job.splitLarge && largest >= 0 && length > largest && ClustersPerPart(largest) > 0;
}

// Whether the destination can take the copy: a file of its size (or its parts) and room for it.
// The copy never writes more than the recorded size, so the size is what must fit.
Status CheckDestination(const CopyJob& job, const VolumeInfo& volume, int64_t size) {
  const int64_t largest = LargestFile(volume);
  if (largest >= 0 && size > largest && !InParts(job, volume, size)) {
    // Told by the file system's own limit where the recording exceeds it.
    VolumeInfo limit = volume;
    if (volume.maxFileBytes >= 0 && size > volume.maxFileBytes) limit.maxFileWritten = -1;
    return Status::Error("the recording (" + std::to_string(size) +
                         " bytes) is too large for the destination's file system (" +
                         volume.fileSystem + "): " + LimitText(limit));
  }
  if (volume.freeBytes >= 0 && volume.freeBytes < size) return NoRoom(size, volume);
  return Status::Ok();
}

// A rescue that ended with holes (or stopped, or failed): the copy and its map stay for the next
// rescue, and nothing with a hole takes the final name.
CopyOutcome KeptIncomplete(const OpenedCopy& copy, const Status& result, int64_t length,
                           CopyOutcome outcome) {
  outcome.path = copy.working;
  outcome.keptForRescue = true;
  outcome.status = result.stopped() ? CopyStatus::Stopped : CopyStatus::Failed;
  if (!result.ok()) {
    outcome.reason = result.message() + "; the rescue so far is kept as " + copy.working +
                     " with its map, and a later rescue goes on from there";
    return outcome;
  }
  outcome.status = CopyStatus::KeptIncomplete;
  outcome.unreadableBytes = copy.map.Missing();
  outcome.bytesWritten = length;
  AddNote(outcome.note, MissingText({&copy.map}));
  outcome.reason = std::to_string(copy.map.Missing()) +
                   " bytes could not be read and were written as zeros; the copy is kept as " +
                   copy.working + " with its map " + copy.mapPath +
                   ", and a later rescue retries only what is missing";
  return outcome;
}

// The end of a copy that was read: a whole copy takes its final name and is dated, its guide
// file beside it; anything else says why, and only a finished copy that could not take its name
// is kept under its working name.
CopyOutcome Conclude(const CopyJob& job, const Recording& recording, const OpenedCopy& copy,
                     Status result, int64_t length, CopyOutcome outcome) {
  const bool finished = result.ok() && (!job.rescue || copy.map.Missing() == 0);
  if (finished) {
    result = RenameNoReplace(copy.working, outcome.path);
    // Dated once named: fusefat gives a renamed file the time of the rename.
    if (result.ok()) DateCopy(recording, outcome.path, outcome.note);
  }
  if (job.rescue && !finished) return KeptIncomplete(copy, result, length, outcome);
  if (!result.ok()) {
    if (finished) {
      result = Status::Error(result.message() + "; the finished copy is kept as " + copy.working);
    } else {
      DiscardFile(copy.working);
    }
    outcome.status = result.stopped() ? CopyStatus::Stopped : CopyStatus::Failed;
    outcome.readFailure = result.unreadable();
    outcome.reason = result.message();
    return outcome;
  }
  if (job.rescue) DiscardFile(copy.mapPath);  // the copy is whole: its map says nothing more
  WriteGuideFile(job, recording, outcome.path, outcome.note);
  outcome.bytesWritten = length;
  outcome.status = CopyStatus::Downloaded;
  return outcome;
}

// The recording into one file.
CopyOutcome CopyWhole(const CopyJob& job, const Recording& recording, const ReadPlan& plan,
                      BatchCounters& counters, WorkObserver& observer, RescueStage stage) {
  CopyOutcome outcome;
  outcome.path = job.destinationFolder + recording.fileStem + ".ts";
  const int64_t size = recording.media.size;
  OpenedCopy copy;
  if (Status s = OpenCopy(job, recording.fileStem, size, plan.Length(), outcome, copy); !s.ok()) {
    outcome.reason = s.message();
    return outcome;
  }
  observer.taskProgress(0.0);
  const Status result = ReadIntoCopy(job, plan, 0, size, copy, counters, observer, stage);
  AddNote(outcome.note, copy.nameNote);
  AddNote(outcome.note, plan.note);
  return Conclude(job, recording, copy, result, plan.Length(), outcome);
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
  // A rescue taken up again goes on in the form it was left in (one file, or parts), and has its
  // room already.
  const bool resumeWhole = job.rescue && RescueToResume(job, name);
  const bool resumeParts = job.rescue && !resumeWhole && RescueToResume(job, PartStem(name, 1));
  const VolumeInfo volume = job.queryVolume(job.destinationFolder);
  ReadPlan plan;
  Status s = CheckBeforeCopy(job, recording.media);
  if (s.ok() && job.checkSpace && !resumeWhole && !resumeParts) {
    s = CheckDestination(job, volume, size);
  }
  if (s.ok() && recording.found) {
    s = PlanClusterReads(*job.geometry, recording.clusters, size, plan);
  } else if (s.ok()) {
    const int64_t first =
        RoundedClusterNumber(recording.media.offset - job.geometry->dataOffset, kMediaClusterSize);
    s = PlanReads(*job.geometry, first, size, plan);
  }
  if (!s.ok()) {
    outcome.reason = s.message();
    return outcome;
  }
  const int64_t copiedBefore = counters.copiedBytes;
  if (resumeParts || (!resumeWhole && InParts(job, volume, plan.Length()))) {
    outcome = CopyInParts(job, recording, plan, volume, counters, observer, stage);
  } else {
    outcome = CopyWhole(job, recording, plan, counters, observer, stage);
  }
  // What a copy that did not end well read adds nothing to the batch.
  if (outcome.status != CopyStatus::Downloaded && outcome.status != CopyStatus::KeptIncomplete)
    counters.copiedBytes = copiedBefore;
  return outcome;
}

}  // namespace skelbrook