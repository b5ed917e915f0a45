// The copy batch: every ticked recording in list order, its icon while and after it is copied,
// and the selection totals recounted afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalogue/recording.h"
#include "transfer/copy.h"

namespace skelbrook {

// The ticked recordings: how many, and their bytes.
struct Selection {
  int count = 0;
  int64_t bytes = 0;
};

// What a front end hears about the rows during a batch, besides keepGoing() and the progress bars.
// Rows are indices into the recordings.
class BatchObserver : public WorkObserver {
 public:
  // The row is about to be copied: its icon is "downloading" now. `pass` is 1 for a copy and a
  // rescue's first pass, 2 when a rescue goes back to retry what would not read.
  virtual void rowStarted(size_t /*row*/, int /*pass*/) {}
  // The row's copy ended; its icon and tick are already updated in the recordings.
  virtual void rowFinished(size_t /*row*/, const CopyOutcome& /*outcome*/) {}
  // Whether the row is ticked now. The batch asks as it reaches each row, so a front end whose
  // user ticks rows while the batch runs answers for them; `stored` is the recording's tick.
  virtual bool isTicked(size_t /*row*/, bool stored) { return stored; }
};

struct BatchResult {
  std::vector<size_t> rows;           // the rows attempted, in order
  std::vector<CopyOutcome> outcomes;  // the last outcome of each, in the same order
  bool stopped = false;               // the front end asked to stop; the batch ended there
};

// Copies every recording that is ticked when the loop reaches it. Copied ones are unticked and
// marked "downloaded"; failed ones stay ticked and are marked "failed", those a rescue kept with
// holes "incomplete". A rescue runs its first pass over every recording before it retries any;
// one that read whole takes its final name at once.
BatchResult CopyTickedRecordings(std::vector<Recording>& recordings, const CopyJob& job,
                                 BatchCounters& counters, BatchObserver& observer);

// What a copy's outcome makes of its row: copied rows are unticked and "downloaded"; a rescue
// kept with holes is "incomplete" and failed rows "failed", both still ticked; a stopped row
// shows again what it showed before the batch.
void ApplyOutcome(Recording& recording, const CopyOutcome& outcome);

// The count and byte total of the recordings ticked now.
Selection CountTicked(const std::vector<Recording>& recordings);

}  // namespace skelbrook
