// Copying one recording: its cluster chain, read off the recorder disk in runs of clusters that
// lie one after another, restored to natural byte order and written to "<name>.ts" in the
// destination folder, by way of a "<name>.ts.part" file that only becomes the final name once it
// is complete. A rescue writes "<name>.incomplete.ts" and its map instead, and gives the final
// name only once every byte has been read. The steps live beside it: read_plan.h plans the reads,
// copy_context.h copies plainly, rescue.h rescues, copy_files.h names and finishes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/recording.h"
#include "common/observer.h"
#include "device/disk_reader.h"
#include "device/file_system.h"
#include "device/output_file.h"
#include "device/read_pace.h"
#include "disk/media_geometry.h"

namespace skelbrook {

inline constexpr const char* kExistsMessage =
    "Errors! Make sure the file name(s) you are copying do not exist.";

// Everything a copy needs to know besides the recording.
struct CopyJob {
  std::string driveText;          // as typed in the drive box
  std::string destinationFolder;  // ends with the platform's folder separator (or is empty)
  const MediaGeometry* geometry = nullptr;
  // Copy what reads first, then go back for what did not, sector by sector; what stays
  // unreadable is zeros in "<name>.incomplete.ts", mapped in "<name>.incomplete.ts.map".
  bool rescue = false;
  bool checkSpace = true;  // refuse rows the destination has no room for
  // A recording larger than the destination's file system holds in one file (4 GiB or more
  // on FAT32) is copied in parts "<name> - partN.ts" (see parts.h) rather than refused.
  bool splitLarge = true;
  // Write the guide information beside each finished copy as "<name>.nfo".
  bool writeNfo = false;
  // How the recorder disk is opened and the destination file made: the raw drive and a plain
  // file when empty.
  DiskOpener openDisk;
  std::function<std::unique_ptr<OutputFile>()> makeOutput;
  // What the destination folder's file system is and holds: the system's answer unless a test
  // tells otherwise.
  std::function<VolumeInfo(const std::string& folder)> queryVolume = QueryVolume;
  // How large the reads of the disk may be (read_pace.h): shared by the copies of a batch, so
  // that each goes on from what the one before learnt of the disk. A copy alone when empty.
  std::shared_ptr<ReadPace> pace;
};

// The running batch's byte counts; the batch bar shows copied / total, and during a rescue's
// retries retried / to retry.
struct BatchCounters {
  int64_t totalBytes = 0;
  int64_t copiedBytes = 0;
  // Bytes read off the disk so far, which the rate is measured by: never taken back, and neither
  // what a rescue skips or cannot read nor what one taken up again finds copied already.
  int64_t readBytes = 0;
  int64_t retryBytes = 0;    // what the first pass left unread, over every recording retried
  int64_t retriedBytes = 0;  // how much of it has been retried so far
};

// How a copy ended.
enum class CopyStatus {
  Downloaded,      // whole, under its final name
  Failed,          // not copied: `reason` says why
  KeptIncomplete,  // a rescue read all it could; the rest are zeros, mapped for a later rescue
  Stopped,         // the user asked to stop
};

// One file of a recording copied in parts, and its length.
struct CopyPart {
  std::string path;
  int64_t bytes = 0;
};

struct CopyOutcome {
  CopyStatus status = CopyStatus::Failed;
  bool alreadyExists = false;  // refused because the destination name is taken
  bool readFailure = false;    // failed because the recorder disk would not read
  std::string reason;          // empty when downloaded
  std::string path;            // the final file name (a rescue with holes: its .incomplete.ts)
  int64_t bytesWritten = 0;
  int64_t unreadableBytes = 0;  // rescue mode: bytes not read (zeros in the file)
  // A rescue's copy kept under its working name with its map (holes, stopped, or failed), for a
  // later rescue to go on with.
  bool keptForRescue = false;
  std::string note;  // said of a good copy, e.g. that its chain went on past its size
  // A recording copied in parts: their files in order (path is the first); a rescue's kept
  // parts are their working files. Empty for a copy in one file.
  std::vector<CopyPart> parts;
};

// Which passes of a rescue one call runs. A batch runs the first pass over every recording
// before it retries any: all the easy data first, while the disk still reads.
enum class RescueStage {
  BothPasses,     // copy what reads, then retry what did not
  FirstPassOnly,  // copy what reads; a copy with holes is kept for the retry
  RetryOnly,      // take a copy kept with holes up again and retry only what is missing
};

// Copies the recording. Never replaces an existing file, never leaves an incomplete file under
// the final name, and says why when it fails. `stage` matters only for a rescue.
CopyOutcome CopyRecording(const CopyJob& job, const Recording& recording, BatchCounters& counters,
                          WorkObserver& observer, RescueStage stage = RescueStage::BothPasses);

// 0..100, clamped; 0 when the whole is 0.
double Percent(int64_t part, int64_t whole);

}  // namespace skelbrook
