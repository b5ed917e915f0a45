// One recording from the recorder disk to a .ts file: check it can be copied, plan the reads, open
// the file the copy is written to, copy plainly or rescue, then finish: flush, date, take the
// final name, write the guide file. Every read and write result is accounted for; an incomplete
// copy never gets the final name.
#include "transfer/copy.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "catalogue/parse_catalogue.h"
#include "device/drive.h"
#include "device/file_system.h"
#include "device/output_file.h"
#include "disk/allocation_table.h"
#include "transfer/copy_context.h"
#include "transfer/copy_files.h"
#include "transfer/guide_nfo.h"
#include "transfer/parts.h"
#include "transfer/rescue.h"
#include "transfer/rescue_map.h"

namespace skelbrook {
namespace {

Status NoRoom(int64_t size, const VolumeInfo& volume) {
  return Status::Error("not enough free space at the destination (" + std::to_string(size) +
                       " bytes needed, " + std::to_string(volume.freeBytes) + " free)");
}

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

// Why the destination takes no file of the copy's size, in words.
std::string LimitText(const VolumeInfo& volume) {
  if (volume.maxFileWritten >= 0 && LargestFile(volume) == volume.maxFileWritten) {
    return "its driver writes no file larger than " + std::to_string(volume.maxFileWritten) +
           " bytes";
  }
  if (volume.maxFileBytes == kFatLargestFile) return "FAT32 holds no file of 4 GiB or more";
  return "it holds no file larger than " + std::to_string(volume.maxFileBytes) + " bytes";
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

// What is still missing from a rescued copy (kept whole, or in parts one after another), in
// words: "N bytes in K areas could not be read, the first at byte X of the copy".
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
  const VolumeInfo volume = job.queryVolume(job.destinationFolder);
  return reserved.message() == kDestinationFullText && volume.freeBytes >= 0 ? NoRoom(size, volume)
                                                                             : reserved;
}

// Reads the recording (or, of one copied in parts, the part `before` bytes into it) into the
// opened copy and flushes it; a rescue's map is saved as the copy leaves it. The copy is closed
// afterwards. The recording's bar runs up to `whole`.
Status ReadIntoCopy(const CopyJob& job, const ReadPlan& plan, int64_t before, int64_t whole,
                    OpenedCopy& copy, BatchCounters& counters, WorkObserver& observer,
                    RescueStage stage) {
  Drive drive;
  CopyContext c{drive, *copy.out, plan, whole, counters, observer, before, before, {}};
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
  outcome.keptForRescue = true;
  outcome.status = result.stopped() ? CopyStatus::Stopped : CopyStatus::Failed;
  if (!result.ok()) {
    outcome.reason = result.message() + "; the rescue so far is kept as " + copy.working +
                     " with its map, and a later rescue goes on from there";
    return outcome;
  }
  outcome.unreadableBytes = copy.map.Missing();
  outcome.bytesWritten = length;
  AddNote(outcome.note, MissingText({&copy.map}));
  outcome.reason = std::to_string(copy.map.Missing()) +
                   " bytes could not be read and were written as zeros; the copy is kept as " +
                   copy.working + " with its map " + copy.mapPath +
                   ", and a later rescue retries only what is missing";
  return outcome;
}

// A guide file says what the recording is (a found one without a name has nothing to say):
// "<name>.nfo" beside the copy "<name>.ts".
void WriteGuideFile(const CopyJob& job, const Recording& recording, const std::string& tsPath,
                    std::string& note) {
  if (!job.writeNfo || recording.unlisted || (recording.found && recording.title.empty())) return;
  std::string nfoPath;
  if (Status s = WriteNfo(tsPath, NfoText(recording), nfoPath); !s.ok()) {
    AddNote(note, "no guide file: " + s.message());
  }
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

// The names of the parts' files, "a, b and c".
std::string PartNames(const std::vector<CopyPart>& parts) {
  std::string names;
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) names += k + 1 == parts.size() ? " and " : ", ";
    names += parts[k].path;
  }
  return names;
}

// Gives every finished part its final name, or none: a part under its final name never stands
// for a recording that is not all there.
Status NameParts(const std::vector<OpenedCopy>& copies, const std::vector<CopyPart>& finals) {
  for (size_t k = 0; k < copies.size(); ++k) {
    const Status renamed = RenameNoReplace(copies[k].working, finals[k].path);
    if (renamed.ok()) continue;
    std::vector<CopyPart> kept, stuck;
    for (size_t j = 0; j < copies.size(); ++j) {
      if (j < k && !RenameNoReplace(finals[j].path, copies[j].working).ok()) {
        stuck.push_back(finals[j]);
        kept.push_back(finals[j]);
      } else {
        kept.push_back({copies[j].working, 0});
      }
    }
    std::string text = renamed.message() + "; the finished parts are kept as " + PartNames(kept);
    if (!stuck.empty()) {
      text += " (" + PartNames(stuck) +
              " could not be given back its working name: the copy is NOT whole under its final "
              "names)";
    }
    return Status::Error(text);
  }
  return Status::Ok();
}

// Every part of a recording read whole, under its final name and dated, the stack's guide file
// beside them.
CopyOutcome PartsCopied(const CopyJob& job, const Recording& recording, const ReadPlan& plan,
                        const VolumeInfo& volume, const std::vector<OpenedCopy>& copies,
                        const std::vector<CopyPart>& finals, CopyOutcome outcome) {
  if (Status named = NameParts(copies, finals); !named.ok()) {
    outcome.reason = named.message();
    return outcome;
  }
  for (const CopyPart& part : finals) DateCopy(recording, part.path, outcome.note);
  if (job.rescue) {
    for (const OpenedCopy& c : copies) DiscardFile(c.mapPath);
  }
  // The guide file is the stack's: "<name>.nfo", as the parts' common name has it.
  const std::string& first = finals.front().path;
  const size_t suffix = PartStem("", 1).size() + 3;  // " - part1.ts"
  WriteGuideFile(job, recording, first.substr(0, first.size() - suffix) + ".ts", outcome.note);
  AddNote(outcome.note, plan.note);
  AddNote(outcome.note, "split into " + std::to_string(finals.size()) +
                            " parts: on the destination (" + volume.fileSystem + ") " +
                            LimitText(volume));
  outcome.path = first;
  outcome.parts = finals;
  outcome.bytesWritten = plan.Length();
  outcome.status = CopyStatus::Downloaded;
  return outcome;
}

// A rescue's parts kept with their holes (or as far as it went), each with its map, for the
// next rescue to go on with part by part.
// `later`: the working files of parts after those this run opened, left by an earlier one.
CopyOutcome PartsKeptIncomplete(const std::vector<OpenedCopy>& copies,
                                const std::vector<CopyPart>& later, const Status& result,
                                int64_t length, CopyOutcome outcome) {
  std::vector<CopyPart> kept;
  std::vector<const RescueMap*> maps;
  int64_t missing = 0;
  for (const OpenedCopy& c : copies) {
    kept.push_back({c.working, c.map.Length()});
    maps.push_back(&c.map);
    missing += c.map.Missing();
  }
  kept.insert(kept.end(), later.begin(), later.end());
  outcome.path = kept.front().path;
  outcome.parts = kept;
  outcome.keptForRescue = true;
  const std::string where = "the copy is kept in " + std::to_string(kept.size()) +
                            (kept.size() == 1 ? " part, " : " parts, ") + PartNames(kept) +
                            (kept.size() == 1 ? ", with its map" : ", each with its map");
  if (!result.ok()) {
    outcome.reason = result.message() + "; " + where + ", and a later rescue goes on from there";
    return outcome;
  }
  outcome.unreadableBytes = missing;
  outcome.bytesWritten = length;
  AddNote(outcome.note, MissingText(maps));
  outcome.reason = std::to_string(missing) + " bytes could not be read and were written as " +
                   "zeros; " + where + ", and a later rescue retries only what is missing";
  return outcome;
}

// Clusters in each part: a rescue left in parts goes on with the parts it was cut into, whatever
// the destination says of itself now (a stick mounted another way, another computer).
int64_t PartClusters(const CopyJob& job, const Recording& recording, const VolumeInfo& volume) {
  const std::string mapPath =
      job.rescue ? RescueMapToResume(job, PartStem(recording.fileStem, 1)) : std::string();
  if (!mapPath.empty()) {
    const std::optional<RescueMap> first = RescueMap::Load(mapPath, RescueMap::kAnyLength);
    if (first && first->Length() > 0 && first->Length() % kMediaClusterSize == 0)
      return first->Length() / kMediaClusterSize;
  }
  return ClustersPerPart(LargestFile(volume));
}

// The path of the first of the recording's parts that is there already; empty when none is.
std::string PartAlreadyThere(const CopyJob& job, const Recording& recording, size_t parts) {
  for (size_t k = 0; k < parts; ++k) {
    std::string path = job.destinationFolder + PartStem(recording.fileStem, k + 1) + ".ts";
    if (FileExists(path)) return path;
  }
  return {};
}

// A recording the destination cannot hold in one file, copied as parts (see parts.h). Each part
// goes through its own working file (a rescue's with its own map) and none takes its name until
// every part is whole.
CopyOutcome CopyInParts(const CopyJob& job, const Recording& recording, const ReadPlan& plan,
                        const VolumeInfo& volume, BatchCounters& counters, WorkObserver& observer,
                        RescueStage stage) {
  CopyOutcome outcome;
  const std::vector<ReadPlan> parts = SplitPlan(plan, PartClusters(job, recording, volume));
  // A part already there refuses the recording, as a copy already there does.
  outcome.path = PartAlreadyThere(job, recording, parts.size());
  if (!outcome.path.empty()) {
    outcome.alreadyExists = true;
    outcome.reason = kExistsMessage;
    return outcome;
  }
  observer.taskProgress(0.0);
  std::vector<OpenedCopy> copies;
  std::vector<CopyPart> finals;
  Status result;
  int64_t before = 0, missing = 0;
  for (size_t k = 0; k < parts.size() && result.ok(); ++k) {
    const std::string stem = PartStem(recording.fileStem, k + 1);
    const int64_t length = parts[k].Length();
    CopyOutcome part;
    part.path = job.destinationFolder + stem + ".ts";
    OpenedCopy copy;
    result = OpenCopy(job, stem, length, length, part, copy);
    outcome.path = part.path;  // the part that failed, if one does
    if (!result.ok()) {
      outcome.alreadyExists = part.alreadyExists;
      break;
    }
    if (k == 0) AddNote(outcome.note, copy.nameNote);
    result = ReadIntoCopy(job, parts[k], before, plan.Length(), copy, counters, observer, stage);
    if (job.rescue) missing += copy.map.Missing();
    copies.push_back(std::move(copy));
    finals.push_back({part.path, length});
    before += length;
  }
  const bool finished = result.ok() && missing == 0;
  if (finished) return PartsCopied(job, recording, plan, volume, copies, finals, outcome);
  outcome.status = result.stopped() ? CopyStatus::Stopped : CopyStatus::Failed;
  if (job.rescue && !copies.empty()) {
    std::vector<CopyPart> later;
    for (size_t k = copies.size(); k < parts.size(); ++k) {
      const std::string working = WorkingPath(
          job.destinationFolder + PartStem(recording.fileStem, k + 1) + ".ts", job.rescue);
      if (FileExists(working)) later.push_back({working, parts[k].Length()});
    }
    return PartsKeptIncomplete(copies, later, result, plan.Length(), outcome);
  }
  // Nothing of a plain copy that did not end well is kept.
  for (const OpenedCopy& c : copies) DiscardFile(c.working);
  outcome.reason = result.message();
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
  if (outcome.status != CopyStatus::Downloaded && outcome.unreadableBytes == 0)
    counters.copiedBytes = copiedBefore;
  return outcome;
}

}  // namespace skelbrook
