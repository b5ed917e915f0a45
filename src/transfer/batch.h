// The copy batch: every ticked row in list order, its icon while and after it is copied, and the
// selection totals recounted afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include "catalogue/recording_rows.h"
#include "transfer/copy.h"

namespace skelbrook {

struct Selection {
  int SelectedCount = 0;
  int64_t SelectedBytes = 0;
};

// What a front end hears about the rows during a batch, besides pump() and the progress bars.
class BatchObserver : public WorkObserver {
 public:
  // The row (1-based) is about to be copied: its icon is "downloading" now. `pass` is 1 for a
  // copy and a rescue's first pass, 2 when a rescue goes back to retry what would not read.
  virtual void rowStarted(int /*row*/, int /*pass*/) {}
  // The row's copy ended; its icon and tick are already updated in the rows.
  virtual void rowFinished(int /*row*/, const CopyOutcome& /*outcome*/) {}
};

struct BatchResult {
  std::vector<int> rowsCopied;        // rows attempted, in order
  std::vector<CopyOutcome> outcomes;  // the last outcome of each, in the same order
  bool stopped = false;               // the front end asked to stop; the loop ended at that point
};

// Copies every row that is ticked when the loop reaches it. Copied rows are unticked and marked
// "downloaded"; failed rows stay ticked and are marked "failed". A rescue runs its first pass over
// every row before it retries any; a row that read whole takes its final name at once.
BatchResult CopyTickedRecordings(RecordingRows& rows, const CopyJob& job, BatchCounters& counters,
                                 BatchObserver& observer);

// The count and byte total of the rows ticked now.
void RecountSelection(const RecordingRows& rows, const ProgrammeTable& table, Selection& selection);

}  // namespace skelbrook
