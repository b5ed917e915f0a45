// Where a copy is written until it is finished ("<name>.ts.part", or a rescue's
// "<name>.incomplete.ts" with its map), taking a rescue's copy up again, the plainer name a FUSE
// destination may need, and the date a finished copy is given.
#pragma once

#include <string>

#include "catalogue/recording.h"
#include "common/status.h"
#include "device/output_file.h"
#include "transfer/copy.h"

namespace skelbrook {

// A rescue's map lies beside its copy: "<name>.incomplete.ts.map".
inline constexpr const char* kMapSuffix = ".map";

// Where a copy is written until it is finished: "<name>.ts.part", or for a rescue, which may be
// left with holes and taken up again later, "<name>.incomplete.ts".
std::string WorkingPath(const std::string& finalPath, bool rescue);

// Opens the file the copy is written to and sets outcome.path to the final name: a rescue's file
// and map left by an earlier rescue run are taken up again (`resumed`); otherwise the file is
// created exclusively (a working file left by an interrupted copy is ours to replace). Some FUSE
// file systems (fusefat) take only plain ASCII names: when the name is refused and holds other
// characters, the plain form is used instead, and `note` says so.
Status OpenWorkingFile(const CopyJob& job, const std::string& name, OutputFile& out,
                       CopyOutcome& outcome, std::string& note, bool& resumed);

// Whether a rescue's copy and map are left from an earlier run, under the name or its plain form.
bool RescueToResume(const CopyJob& job, const std::string& name);
// The map of that rescue; empty when there is none.
std::string RescueMapToResume(const CopyJob& job, const std::string& name);

// Adds `more` to a row's note, "; " between.
void AddNote(std::string& note, const std::string& more);

// A finished copy takes its recording's start as its date, so that a media library sorts it by
// when it was broadcast. A media file no record names has no start to give, nor has a found
// recording whose stream carries no time.
void DateCopy(const Recording& recording, const std::string& path, std::string& note);

}  // namespace skelbrook
