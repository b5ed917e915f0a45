// The copy batch over the ticked rows, and the selection recount after it.
#include "transfer/batch.h"

#include <optional>

namespace skelbrook {
namespace {

// Copies the row (one pass, or both) after a yield: nothing when the front end asked to stop.
std::optional<CopyOutcome> CopyRow(RecordingRows& rows, size_t index, const CopyJob& job,
                                   BatchCounters& counters, BatchObserver& observer,
                                   RescueStage stage) {
  const int row = static_cast<int>(index) + 1;
  rows.rows[index].icon = kIconDownloading;
  observer.rowStarted(row, stage == RescueStage::RetryOnly ? 2 : 1);
  if (!observer.pump()) return std::nullopt;
  return Trace_and_Record(job, row, counters, observer, stage);
}

// Whether a rescue's first pass left the row with holes for the retry pass.
bool LeftForRetry(const CopyJob& job, const CopyOutcome& outcome) {
  return job.rescue && outcome.status == CopyStatus::Failed && outcome.unreadableBytes > 0;
}

void MarkRow(RecordingRow& model, const CopyOutcome& outcome) {
  if (outcome.status == CopyStatus::Downloaded) {
    model.ticked = false;
    model.icon = kIconDownloaded;
  } else if (outcome.status == CopyStatus::Stopped) {
    model.icon = kIconDefault;
  } else {
    model.icon = kIconFailed;
  }
}

}  // namespace

BatchResult CopyTickedRecordings(RecordingRows& rows, const CopyJob& job, BatchCounters& counters,
                                 BatchObserver& observer) {
  BatchResult result;
  // A rescue reads all the easy data first, over every recording, while the disk still reads;
  // only then does it retry what would not read, recording by recording.
  const RescueStage first = job.rescue ? RescueStage::FirstPassOnly : RescueStage::BothPasses;
  std::vector<size_t> retry;  // indices into result.outcomes
  // The tick of each row is read when the loop reaches it: ticks made meanwhile count.
  for (size_t i = 0; i < rows.rows.size() && !result.stopped; ++i) {
    if (!rows.rows[i].ticked) continue;
    const std::optional<CopyOutcome> outcome = CopyRow(rows, i, job, counters, observer, first);
    if (!outcome) {
      rows.rows[i].icon = kIconDefault;
      result.stopped = true;
      break;
    }
    result.rowsCopied.push_back(static_cast<int>(i) + 1);
    result.outcomes.push_back(*outcome);
    result.stopped = outcome->status == CopyStatus::Stopped;
    if (LeftForRetry(job, *outcome)) {
      retry.push_back(result.outcomes.size() - 1);
      continue;  // its row stays "downloading" until it is retried
    }
    MarkRow(rows.rows[i], *outcome);
    observer.rowFinished(static_cast<int>(i) + 1, *outcome);
  }
  for (const size_t k : retry) {
    const int row = result.rowsCopied[k];
    const auto index = static_cast<size_t>(row) - 1;
    std::optional<CopyOutcome> again;
    if (!result.stopped)
      again = CopyRow(rows, index, job, counters, observer, RescueStage::RetryOnly);
    // Stopped before or in the retry: the copy keeps what the first pass read, and its holes.
    result.stopped = !again || again->status == CopyStatus::Stopped;
    if (!result.stopped) result.outcomes[k] = *again;
    MarkRow(rows.rows[index], result.outcomes[k]);
    observer.rowFinished(row, result.outcomes[k]);
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
