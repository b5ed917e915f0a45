// The recordings the catalogue lost, found again by reading the media area: chains of the
// allocation table that no media-directory entry starts ("orphan chain"), and clusters the table
// marks free, or all of them when the table is gone, chained by their own stream ("content"):
// each stream's continuity counters go on from one cluster's last packets to the next cluster's
// first, and its clock steps on by a fraction of a second. Recordings written at the same time
// (their clusters interleaved), stored out of order, or of one channel at different times come
// out separate and in stream order; each ends where its stream ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "common/observer.h"
#include "common/status.h"
#include "device/disk_reader.h"
#include "device/drive.h"

namespace skelbrook {

inline constexpr const char* kFoundByChain = "orphan chain";
inline constexpr const char* kFoundByContent = "content";

struct FoundRecording {
  std::vector<int64_t> clusters;  // media clusters in stream order
  int64_t size = 0;               // bytes: whole packets up to the stream's end
  double durationSeconds = 0;     // from its first clock to its last
  int64_t startTime = -1;         // the first broadcast time it carries (UTC seconds), -1 for none
  std::string title;              // the first present event's name it carries; empty for none
  const char* how = kFoundByContent;
};

// Reads the media area of the open, recognised drive of `catalogue` sequentially, in large reads
// past the caches, keeping a small summary per cluster, and returns the lost recordings in the
// order of their first cluster on the disk. Sectors that will not read are skipped and added to
// the catalogue's account. Stops (Status::Stopped) when the observer asks.
Status FindLostRecordings(Drive& drive, Catalogue& catalogue, WorkObserver& observer,
                          std::vector<FoundRecording>& found);

// Appends the found recordings as rows after the others: "found_NNN.ts", with the time of its
// first broadcast time ("found_NNN_YYYYMMDD-HHMM.ts") and its event's name when it carries both.
void AddFoundRows(const std::vector<FoundRecording>& found, Catalogue& catalogue);

// The search from the drive-box text, through `opener`: opens the drive again, finds the lost
// recordings and adds their rows to `catalogue` (whose geometry must be recognised).
Status SearchForLostRecordings(std::string_view driveText, const DiskOpener& opener,
                               Catalogue& catalogue, WorkObserver& observer);

}  // namespace skelbrook
