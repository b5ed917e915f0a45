// The copy batch over the ticked rows, and the selection recount after it.
#include "transfer/batch.h"

namespace skelbrook {

BatchResult CopyTickedRecordings(RecordingRows& rows, const CopyJob& job, BatchCounters& counters,
                                 BatchObserver& observer) {
  BatchResult result;
  // The tick of each row is read when the loop reaches it: ticks made meanwhile count.
  for (size_t i = 0; i < rows.rows.size(); ++i) {
    if (!rows.rows[i].ticked) continue;
    const int row = static_cast<int>(i) + 1;
    rows.rows[i].icon = kIconDownloading;
    observer.rowStarted(row);
    if (!observer.pump()) {
      rows.rows[i].icon = kIconDefault;
      result.stopped = true;
      break;
    }
    const CopyOutcome outcome = Trace_and_Record(job, row, counters, observer);
    result.rowsCopied.push_back(row);
    result.outcomes.push_back(outcome);
    if (outcome.status == CopyStatus::Downloaded) {
      rows.rows[i].ticked = false;
      rows.rows[i].icon = kIconDownloaded;
    } else if (outcome.status == CopyStatus::Stopped) {
      rows.rows[i].icon = kIconDefault;
    } else {
      rows.rows[i].icon = kIconFailed;
    }
    observer.rowFinished(row, outcome);
    if (outcome.status == CopyStatus::Stopped) {
      result.stopped = true;
      break;
    }
  }
  return result;
}

void RecountSelection(const RecordingRows& rows, const ProgrammeTable& table,
                      Selection& selection) {
  selection.SelectedBytes = 0;
  selection.SelectedCount = 0;
  for (size_t i = 0; i < rows.rows.size(); ++i) {
    if (!rows.rows[i].ticked) continue;
    const size_t row = i + 1;
    if (row < table.RowSlot.size())
      selection.SelectedBytes += table.ProgFileSize[table.RowSlot[row]];
    ++selection.SelectedCount;
  }
}

}  // namespace skelbrook
