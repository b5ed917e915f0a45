// The copy batch over the ticked recordings, and the count of the ticked ones.
#include "transfer/batch.h"

#include <optional>

namespace skelbrook {
namespace {

// The icon a row goes back to when its copy is stopped: what it showed before the batch.
RowIcon IconAtRest(const Recording& recording) {
  return recording.found ? RowIcon::Found : RowIcon::Default;
}

// Copies the row (one pass, or both) unless the front end asked to stop first: nothing then.
std::optional<CopyOutcome> CopyRow(std::vector<Recording>& recordings, size_t row,
                                   const CopyJob& job, BatchCounters& counters,
                                   BatchObserver& observer, RescueStage stage) {
  recordings[row].icon = RowIcon::Downloading;
  observer.rowStarted(row, stage == RescueStage::RetryOnly ? 2 : 1);
  if (!observer.keepGoing()) return std::nullopt;
  return CopyRecording(job, recordings[row], counters, observer, stage);
}

// Whether a rescue's first pass left the row with holes for the retry pass.
bool LeftForRetry(const CopyJob& job, const CopyOutcome& outcome) {
  return job.rescue && outcome.status == CopyStatus::KeptIncomplete;
}

// The rows the first pass left with holes, retried one after another (or, once stopped, left
// with what the first pass read).
void RetryRows(std::vector<Recording>& recordings, const std::vector<size_t>& retry,
               const CopyJob& job, BatchCounters& counters, BatchObserver& observer,
               BatchResult& result) {
  for (const size_t k : retry) {
    const size_t row = result.rows[k];
    // Unticked meanwhile: kept with what the first pass read, and not retried (nor counted in
    // what the retry has to read).
    if (!result.stopped && !observer.isTicked(row, true)) {
      counters.retryBytes -= result.outcomes[k].unreadableBytes;
      observer.batchProgress(Percent(counters.retriedBytes, counters.retryBytes));
      ApplyOutcome(recordings[row], result.outcomes[k]);
      observer.rowFinished(row, result.outcomes[k]);
      continue;
    }
    std::optional<CopyOutcome> again;
    if (!result.stopped)
      again = CopyRow(recordings, row, job, counters, observer, RescueStage::RetryOnly);
    // Stopped before or in the retry: the copy keeps what the first pass read, and its holes.
    result.stopped = !again || again->status == CopyStatus::Stopped;
    if (!result.stopped) result.outcomes[k] = *again;
    ApplyOutcome(recordings[row], result.outcomes[k]);
    observer.rowFinished(row, result.outcomes[k]);
  }
}

}  // namespace

BatchResult CopyTickedRecordings(std::vector<Recording>& recordings, const CopyJob& batchJob,
                                 BatchCounters& counters, BatchObserver& observer) {
  BatchResult result;
  CopyJob job = batchJob;
  if (!job.pace) job.pace = std::make_shared<ReadPace>();  // one disk, one pace for every copy
  // A rescue reads all the easy data first, over every recording, while the disk still reads;
  // only then does it retry what would not read, recording by recording.
  const RescueStage first = job.rescue ? RescueStage::FirstPassOnly : RescueStage::BothPasses;
  std::vector<size_t> retry;  // indices into result.outcomes
  // The tick of each row is read when the loop reaches it: ticks made meanwhile count.
  for (size_t row = 0; row < recordings.size() && !result.stopped; ++row) {
    recordings[row].ticked = observer.isTicked(row, recordings[row].ticked);
    if (!recordings[row].ticked) continue;
    const std::optional<CopyOutcome> outcome =
        CopyRow(recordings, row, job, counters, observer, first);
    if (!outcome) {  // stopped before the copy began: the row is as it was
      CopyOutcome stopped;
      stopped.status = CopyStatus::Stopped;
      ApplyOutcome(recordings[row], stopped);
      observer.rowFinished(row, stopped);
      result.stopped = true;
      break;
    }
    result.rows.push_back(row);
    result.outcomes.push_back(*outcome);
    result.stopped = outcome->status == CopyStatus::Stopped;
    if (LeftForRetry(job, *outcome)) {
      retry.push_back(result.outcomes.size() - 1);
      continue;  // its row stays "downloading" until it is retried
    }
    ApplyOutcome(recordings[row], *outcome);
    observer.rowFinished(row, *outcome);
  }
  for (const size_t k : retry) counters.retryBytes += result.outcomes[k].unreadableBytes;
  RetryRows(recordings, retry, job, counters, observer, result);
  return result;
}

void ApplyOutcome(Recording& recording, const CopyOutcome& outcome) {
  switch (outcome.status) {
    case CopyStatus::Downloaded:
      recording.ticked = false;
      recording.icon = RowIcon::Downloaded;
      break;
    case CopyStatus::Stopped:
      recording.icon = IconAtRest(recording);
      break;
    case CopyStatus::KeptIncomplete:
      recording.icon = RowIcon::Incomplete;
      break;
    case CopyStatus::Failed:
      recording.icon = RowIcon::Failed;
      break;
  }
}

Selection CountTicked(const std::vector<Recording>& recordings) {
  Selection selection;
  for (const Recording& r : recordings) {
    if (!r.ticked) continue;
    selection.bytes += r.media.size;
    ++selection.count;
  }
  return selection;
}

}  // namespace skelbrook
