// Where a copy is written until it is finished, taking a rescue up again, names a destination
// refuses, and what a finished copy is given.
#include "transfer/copy_files.h"

#include <vector>

#include "device/file_system.h"

namespace skelbrook {
namespace {

constexpr const char* kPartSuffix = ".part";
constexpr const char* kIncompleteSuffix = ".incomplete.ts";

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

}  // namespace

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
    if (FileExists(working)) DiscardFile(working);
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
void DateCopy(const Recording& recording, const std::string& path, std::string& note) {
  if (recording.unlisted || (recording.found && recording.startTime <= 0)) return;
  if (Status s = SetFileTimes(path, recording.startTime); !s.ok()) AddNote(note, s.message());
}

// Whether a rescue's copy and map are left from an earlier run, under the name or its plain form.
std::string RescueMapToResume(const CopyJob& job, const std::string& name) {
  for (const std::string& stem : {name, PlainAsciiName(name)}) {
    const std::string working = WorkingPath(job.destinationFolder + stem + ".ts", true);
    if (FileExists(working) && FileExists(working + kMapSuffix)) return working + kMapSuffix;
  }
  return {};
}

bool RescueToResume(const CopyJob& job, const std::string& name) {
  return !RescueMapToResume(job, name).empty();
}

}  // namespace skelbrook
