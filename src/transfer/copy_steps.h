// The steps one copy goes through between its plan and its end, shared by a copy into one file
// (copy.cpp) and a copy in parts (parts.cpp): open the file the copy is written to, read the
// recording into it, and say in words what a rescue could not read or a destination cannot hold.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/recording.h"
#include "common/observer.h"
#include "common/status.h"
#include "device/file_system.h"
#include "device/output_file.h"
#include "transfer/copy.h"
#include "transfer/read_plan.h"
#include "transfer/rescue_map.h"

namespace skelbrook {

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
                CopyOutcome& outcome, OpenedCopy& copy);

// Reads the recording (or, of one copied in parts, the part `before` bytes into it) into the
// opened copy and flushes it; a rescue's map is saved as the copy leaves it. The copy is closed
// afterwards. The recording's bar runs up to `whole`.
Status ReadIntoCopy(const CopyJob& job, const ReadPlan& plan, int64_t before, int64_t whole,
                    OpenedCopy& copy, BatchCounters& counters, WorkObserver& observer,
                    RescueStage stage);

// The destination has no room for `size` bytes.
Status NoRoom(int64_t size, const VolumeInfo& volume);

// What is still missing from a rescued copy (kept whole, or in parts one after another), in
// words: "N bytes in K areas could not be read, the first at byte X of the copy".
std::string MissingText(const std::vector<const RescueMap*>& maps);

// Why the destination takes no file of the copy's size, in words.
std::string LimitText(const VolumeInfo& volume);

// A guide file says what the recording is (a found one without a name has nothing to say):
// "<name>.nfo" beside the copy "<name>.ts". What went wrong writing it goes into `note`.
void WriteGuideFile(const CopyJob& job, const Recording& recording, const std::string& tsPath,
                    std::string& note);

}  // namespace skelbrook
