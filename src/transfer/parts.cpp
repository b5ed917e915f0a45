// Copying a recording in parts: cutting its plan, reading each part through a working file of its
// own, and naming them all or none.
#include "transfer/parts.h"

#include <algorithm>
#include <optional>

#include "transfer/copy_files.h"
#include "transfer/copy_steps.h"
#include "transfer/rescue_map.h"

namespace skelbrook {
namespace {

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
  outcome.status = CopyStatus::KeptIncomplete;
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

}  // namespace

int64_t ClustersPerPart(int64_t largestFile) {
  return largestFile < 0 ? kClustersPerPart
                         : std::min(kClustersPerPart, largestFile / kMediaClusterSize);
}

std::string PartStem(const std::string& stem, size_t number) {
  return stem + " - part" + std::to_string(number);
}

std::vector<ReadPlan> SplitPlan(const ReadPlan& plan, int64_t clustersPerPart) {
  const int64_t partBytes = clustersPerPart * kMediaClusterSize;
  std::vector<ReadPlan> parts;
  for (const ReadPiece& piece : plan.pieces) {
    // Pieces start at whole clusters of the copy, so none straddles a cut.
    const auto part = static_cast<size_t>(piece.fileOffset / partBytes);
    if (parts.size() <= part) parts.resize(part + 1);
    ReadPiece own = piece;
    own.fileOffset -= static_cast<int64_t>(part) * partBytes;
    parts[part].pieces.push_back(own);
  }
  return parts;
}

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
  outcome.readFailure = result.unreadable();
  outcome.reason = result.message();
  return outcome;
}

}  // namespace skelbrook
