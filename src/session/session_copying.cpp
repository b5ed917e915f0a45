// Copying the ticked recordings on a thread of their own, with the window live throughout: the
// list can still be ticked (a tick takes effect when the batch reaches the row), the copy button
// stays off, Stop ends the batch at its next read, and leaving asks first.
#include "session/session.h"
#include "session/session_text.h"
#include "transfer/copy_files.h"
#include "transfer/parts.h"

namespace skelbrook::session {
namespace {

struct BarsProgress {
  double recording = 0, batch = 0;
  int64_t copiedBytes = 0, readBytes = 0;
};

struct RetryProgress {
  int64_t retried = 0, toRetry = 0, unreadable = 0;
};

}  // namespace

// The batch's side of the session, on the batch's thread.
class Session::BatchAdapter : public BatchObserver {
 public:
  BatchAdapter(Session* session, std::shared_ptr<std::vector<std::atomic<bool>>> ticks,
               std::shared_ptr<std::atomic<bool>> stop, const BatchCounters& counters)
      : session_(session), ticks_(std::move(ticks)), stop_(std::move(stop)), counters_(counters) {}

  bool keepGoing() override { return !*stop_; }
  bool isTicked(size_t row, bool stored) override {
    return row < ticks_->size() ? (*ticks_)[row].load() : stored;
  }
  void rowStarted(size_t row, int pass) override {
    session_->worker_.PostBack([s = session_, row, pass] { s->RowStarted(row, pass); });
  }
  void rowFinished(size_t row, const CopyOutcome& outcome) override {
    session_->worker_.PostBack([s = session_, row, outcome] { s->RowFinished(row, outcome); });
  }
  void taskProgress(double percent) override {
    latest_.recording = percent;
    SendBars();
  }
  void batchProgress(double percent) override {
    latest_.batch = percent;
    latest_.copiedBytes = counters_.copiedBytes;
    latest_.readBytes = counters_.readBytes;
    SendBars();
  }
  void retryProgress(int64_t retried, int64_t toRetry, int64_t unreadable) override {
    retry_.Send(
        {retried, toRetry, unreadable}, session_->worker_,
        [s = session_](const RetryProgress& p) { s->Retried(p.retried, p.toRetry, p.unreadable); });
  }

 private:
  void SendBars() {
    bars_.Send(latest_, session_->worker_, [s = session_](const BarsProgress& p) {
      s->Progressed(p.recording, p.batch, p.copiedBytes, p.readBytes);
    });
  }

  Session* session_;
  std::shared_ptr<std::vector<std::atomic<bool>>> ticks_;
  std::shared_ptr<std::atomic<bool>> stop_;
  const BatchCounters& counters_;
  BarsProgress latest_;
  Latest<BarsProgress> bars_;
  Latest<RetryProgress> retry_;
};

CopyJob Session::MakeJob() const {
  CopyJob job;
  job.driveText = catalogue_.path;  // the disk the list was read from
  job.destinationFolder = destination_;
  job.geometry = &catalogue_.geometry;  // not changed once the list is read
  job.rescue = rescue_;
  job.writeNfo = nfo_;
  job.splitLarge = split_;
  job.queryVolume = seams_.queryVolume;
  job.openDisk = WatchReads(seams_.openDisk, readWatch_);
  return job;
}

std::optional<int64_t> Session::RoomNeeded(const CopyJob& job, size_t row) const {
  const Recording& r = catalogue_.recordings[row];
  const int64_t largest = LargestFile(volume_), size = r.media.size;
  const bool inParts = largest >= 0 && size > largest;
  // Refused without a byte written: too large for the destination and not to be split, or its
  // copy (or, copied in parts, its first part) there already.
  if (inParts && !split_) return std::nullopt;
  if (FileExists(job.destinationFolder + r.fileStem + ".ts") ||
      (inParts && FileExists(job.destinationFolder + PartStem(r.fileStem, 1) + ".ts")))
    return std::nullopt;
  // A rescue taken up again has its room already.
  if (job.rescue &&
      (RescueToResume(job, r.fileStem) || RescueToResume(job, PartStem(r.fileStem, 1))))
    return 0;
  return size;
}

std::optional<std::vector<bool>> Session::RowsToCopy() {
  std::vector<bool> ticked(catalogue_.recordings.size());
  for (size_t i = 0; i < ticked.size(); ++i) ticked[i] = catalogue_.recordings[i].ticked;
  const int64_t free = volume_.freeBytes;
  if (free < 0) return ticked;
  // No ticked recording needs more than its size: when the selection fits, the destination is
  // not asked what is there already.
  if (selection_.bytes <= free) return ticked;
  const CopyJob job = MakeJob();
  std::vector<std::optional<int64_t>> room(ticked.size());
  int64_t needed = 0;
  for (size_t i = 0; i < ticked.size(); ++i) {
    if (ticked[i]) room[i] = RoomNeeded(job, i);
    needed += room[i].value_or(0);
  }
  if (needed <= free) return ticked;
  // In the catalogue's order, each ticked recording that still fits; those that will be refused
  // take no room and go too, so that each says why.
  std::vector<bool> fitting(ticked.size());
  int64_t taken = 0;
  int fits = 0, wanted = 0;
  for (size_t i = 0; i < ticked.size(); ++i) {
    if (!room[i]) {
      fitting[i] = ticked[i];
      continue;
    }
    ++wanted;
    if (taken + *room[i] > free) continue;
    taken += *room[i];
    fitting[i] = true;
    ++fits;
  }
  if (fits == 0) {
    SetStatus(text::NoneFitsText(needed, free, destination_));
    Show();
    return std::nullopt;
  }
  if (!view_.AskYesNo(text::DoesNotFitText(needed, free, destination_, fits, wanted))) {
    view_.FocusList();
    return std::nullopt;
  }
  return fitting;
}

void Session::Copy() {
  if (!copyEnabled_ || phase_ != Phase::Listed) return;
  if (const std::optional<std::vector<bool>> rows = RowsToCopy()) StartBatch(*rows);
}

void Session::StartBatch(const std::vector<bool>& chosen) {
  int64_t bytes = 0;
  for (size_t i = 0; i < chosen.size(); ++i)
    bytes += chosen[i] ? catalogue_.recordings[i].media.size : 0;
  batchBarName_ = text::kBatchBar;
  batchBar_ = {true, 0, text::BarText(batchBarName_, 0)};
  recordingBar_.percent = 0;  // nothing of this batch is copied yet
  recordingBar_.text = text::BarText(recordingBarName_, 0);
  counters_ = BatchCounters{bytes, 0, 0, 0, 0};
  rate_.Clear();
  batchFailed_ = false;
  SetCopyEnabled(false);
  phase_ = Phase::Copying;
  *stop_ = false;
  SetStatus(text::BatchStartText(seams_.timeOfDay(), bytes));
  const CopyJob job = MakeJob();
  rescuing_ = job.rescue;
  batchTicks_ = std::make_shared<std::vector<std::atomic<bool>>>(catalogue_.recordings.size());
  for (size_t i = 0; i < chosen.size(); ++i) (*batchTicks_)[i] = chosen[i];
  auto rows = std::make_shared<std::vector<Recording>>(catalogue_.recordings);
  auto counters = std::make_shared<BatchCounters>(counters_);
  auto result = std::make_shared<BatchResult>();
  Show();
  worker_.Run(
      [=, this, ticks = batchTicks_, stop = stop_] {
        BatchAdapter adapter(this, ticks, stop, *counters);
        *result = CopyTickedRecordings(*rows, job, *counters, adapter);
      },
      [=, this] {
        counters_ = *counters;
        FinishBatch(*result);
      });
}

void Session::Stop() {
  if (phase_ != Phase::Copying && phase_ != Phase::Searching) return;
  stoppingFrom_ = phase_;
  phase_ = Phase::Stopping;
  *stop_ = true;
  SetStatus(stoppingFrom_ == Phase::Copying ? text::kStoppingCopy : text::kStoppingSearch);
  Show();
}

void Session::RowStarted(size_t row, int pass) {
  if (row >= catalogue_.recordings.size() || phase_ == Phase::Closing) return;
  // The recording's bar says which pass of a rescue runs: first everything that reads, for every
  // ticked recording; then, recording by recording, what would not read, sector by sector.
  recordingBarName_ = !rescuing_  ? text::kRecordingBar
                      : pass == 2 ? text::kRetryPassBar
                                  : text::kFirstPassBar;
  recordingBar_ = {true, 0, text::BarText(recordingBarName_, 0)};
  catalogue_.recordings[row].icon = RowIcon::Downloading;
  // What an earlier attempt at this row said is old news while it is copied again.
  reasons_[row].clear();
  current_ = row;
  ShowRowChanged(row);
  Show();
}

void Session::Progressed(double recording, double batch, int64_t copiedBytes, int64_t readBytes) {
  if (phase_ != Phase::Copying && phase_ != Phase::Stopping) return;
  const int task = text::BarValue(recording), all = text::BarValue(batch);
  recordingBar_ = {true, task, text::BarText(recordingBarName_, task)};
  // The rate and the time left of the recent past, as the command line shows them.
  rate_.Add(Clock::now(), readBytes);
  batchBar_ = {true, all,
               text::BarText(batchBarName_, all) +
                   text::RateText(rate_.BytesPerSecond(),
                                  rate_.SecondsLeft(counters_.totalBytes - copiedBytes))};
  Show();
}

void Session::Retried(int64_t retried, int64_t toRetry, int64_t unreadable) {
  if (phase_ != Phase::Copying && phase_ != Phase::Stopping) return;
  if (phase_ == Phase::Copying) SetStatus(text::RetryText(retried, toRetry, unreadable));
  batchBarName_ = text::kAllRetriesBar;
  batchBar_.text = text::BarText(batchBarName_, batchBar_.percent);
  Show();
}

void Session::RowFinished(size_t row, const CopyOutcome& outcome) {
  if (row >= catalogue_.recordings.size() || phase_ == Phase::Closing) return;
  Recording& recording = catalogue_.recordings[row];
  ApplyOutcome(recording, outcome);
  if (batchTicks_ && row < batchTicks_->size()) (*batchTicks_)[row] = recording.ticked;
  // A copied recording's bar ends full, whichever progress message came last: one sent during
  // this row may have been read before the window learnt that the row had started.
  if (outcome.status == CopyStatus::Downloaded)
    recordingBar_ = {true, 100, text::BarText(recordingBarName_, 100)};
  reasons_[row] = text::RowReason(outcome, rescuing_);
  if (const std::string ended = text::RowEndedText(recording.fileStem + ".ts", outcome);
      !ended.empty()) {
    SetStatus(ended);
    batchFailed_ = true;
  }
  ShowRowChanged(row);
  Show();
}

void Session::FinishBatch(const BatchResult& result) {
  if (phase_ == Phase::Closing) return EndWork(Work::Copy);
  phase_ = Phase::Listed;
  batchTicks_.reset();
  showingWait_ = false;
  batchBar_.text = text::BarText(text::kBatchBar, batchBar_.percent);  // no rate once nothing runs
  selection_ = CountTicked(catalogue_.recordings);
  int copied = 0, keptIncomplete = 0, notCopied = 0;
  for (const CopyOutcome& o : result.outcomes) {
    copied += o.status == CopyStatus::Downloaded;
    keptIncomplete += o.status == CopyStatus::KeptIncomplete;
    notCopied += o.status == CopyStatus::Failed;
  }
  SetStatus(text::BatchEndText(status_, seams_.timeOfDay(), copied, keptIncomplete, notCopied,
                               result.stopped));
  SetCopyEnabled(selection_.bytes > 0);
  Show();
  view_.FocusList();
  DescribeDestination();  // the copies took room there
  EndWork(Work::Copy);
  if (quitWhenStopped_) {
    Leave();
    view_.EndProgram(0);
  }
}

}  // namespace skelbrook::session
