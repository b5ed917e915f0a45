// Copying the ticked recordings on a thread of their own, with the window live throughout: the
// list can still be ticked (a tick takes effect when the batch reaches the row), the copy button
// stays off, Stop ends the batch at its next read, and closing asks first. Rows, progress, icons
// and words come back to the window as queued calls.
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>

#include "window/background.h"
#include "window/batch_share.h"
#include "window/image_list.h"
#include "window/main_window.h"
#include "window/read_watch.h"
#include "window/window_text.h"

namespace skelbrook::window {
namespace {

constexpr const char* kRecordingBarText = "This recording: %p%";
constexpr const char* kBatchBarText = "All ticked recordings: %p%";

bool IsReadFailure(const CopyOutcome& o) {
  return o.reason.starts_with("cannot read the recorder disk");
}

}  // namespace

// The batch's side of the window, on the batch's thread.
class MainWindow::BatchAdapter : public BatchObserver {
 public:
  BatchAdapter(MainWindow* window, std::shared_ptr<std::atomic<bool>> stop,
               std::shared_ptr<BatchShare> share, const BatchCounters& counters)
      : window_(window), stop_(std::move(stop)), share_(std::move(share)), counters_(counters) {}

  bool pump() override { return !*stop_; }
  bool isTicked(size_t row, bool stored) override {
    return row < share_->ticks.size() ? share_->ticks[row].load() : stored;
  }
  void rowStarted(size_t row, int pass) override {
    Post(window_, [w = window_, row, pass] { w->onRowStarted(static_cast<int>(row), pass); });
  }
  void rowFinished(size_t row, const CopyOutcome& outcome) override {
    Post(window_,
         [w = window_, row, outcome] { w->onRowFinished(static_cast<int>(row), outcome); });
  }
  void taskProgress(double percent) override {
    share_->recordingPercent = percent;
    SendProgress();
  }
  void batchProgress(double percent) override {
    share_->batchPercent = percent;
    share_->copiedBytes = counters_.copiedBytes;
    share_->readBytes = counters_.readBytes;
    SendProgress();
  }
  void retryProgress(int64_t retried, int64_t toRetry, int64_t unreadable) override {
    Post(window_, [w = window_, retried, toRetry, unreadable] {
      w->onRetryProgress(retried, toRetry, unreadable);
    });
  }

 private:
  // One message on its way at a time, carrying the latest values when it arrives: a fast copy
  // cannot flood the window.
  void SendProgress() {
    if (share_->progressOnItsWay.exchange(true)) return;
    Post(window_, [w = window_, share = share_] {
      share->progressOnItsWay = false;
      w->onProgress(share->recordingPercent, share->batchPercent, share->copiedBytes,
                    share->readBytes);
    });
  }

  MainWindow* window_;
  std::shared_ptr<std::atomic<bool>> stop_;
  std::shared_ptr<BatchShare> share_;
  const BatchCounters& counters_;
};

CopyJob MainWindow::makeJob() const {
  CopyJob job;
  job.driveText = ToUtf8(driveEdit->text());
  job.destinationFolder = ToUtf8(destinationFolder());
  job.geometry = &catalogue_.geometry;  // not changed once the list is read
  job.rescue = rescueBox->isChecked();
  job.writeNfo = nfoBox->isChecked();
  job.splitLarge = splitBox->isChecked();
  job.queryVolume = queryVolume;
  job.openDisk = WatchReads(openDisk, readWatch_);
  return job;
}

void MainWindow::copyTicked() {
  if (!copyEnabled_ || copying_ || closing_) return;
  batchProgress->setValue(0);
  batchProgress->show();
  counters_ = BatchCounters{selection_.bytes, 0, 0, 0};
  rate_.Clear();
  setCopyEnabled(false);
  copying_ = true;
  stopping_ = false;
  *stop_ = false;
  setBusyControls(true);
  setStatus(QStringLiteral("Start time: ") + TimeOfDay() + QStringLiteral(" Bytes: ") +
            QString::number(selection_.bytes));

  const CopyJob job = makeJob();
  rescuing_ = job.rescue;
  batch_ = std::make_shared<BatchShare>(recordings_);
  auto rows = std::make_shared<std::vector<Recording>>(recordings_);
  auto counters = std::make_shared<BatchCounters>(counters_);
  auto result = std::make_shared<BatchResult>();
  waitTimer->start();
  background_->Run(
      [=, this, stop = stop_, share = batch_] {
        BatchAdapter adapter(this, stop, share, *counters);
        *result = CopyTickedRecordings(*rows, job, *counters, adapter);
      },
      [=, this] {
        counters_ = *counters;
        finishBatch(*result);
      });
}

void MainWindow::stopWork() {
  if (copying_) return stopCopy();
  if (!searching_ || !reading_) return;
  *stop_ = true;
  stopButton->setEnabled(false);
  setStatus(QStringLiteral("Stopping the search at its next read."));
}

void MainWindow::stopCopy() {
  if (!copying_ || stopping_) return;
  stopping_ = true;
  *stop_ = true;
  stopButton->setEnabled(false);
  setStatus(QStringLiteral("Stopping at the next read (a read already under way ends first)."));
}

// While a batch runs, Stop stands where the read button stood.
void MainWindow::setBusyControls(bool copying) {
  readListButton->setVisible(!copying);
  stopButton->setVisible(copying);
  stopButton->setEnabled(copying);
}

void MainWindow::onRowStarted(int row, int pass) {
  QTreeWidgetItem* item = recordingList->topLevelItem(row);
  if (!item) return;
  // The recording's bar says which pass of a rescue runs: first everything that reads, for every
  // ticked recording; then, recording by recording, what would not read, sector by sector.
  if (!rescuing_) {
    recordingProgress->setFormat(QString::fromLatin1(kRecordingBarText));
  } else if (pass == 2) {
    recordingProgress->setFormat(QStringLiteral("Retrying what would not read: %p%"));
  } else {
    recordingProgress->setFormat(QStringLiteral("Copying what reads: %p%"));
  }
  recordingProgress->setValue(0);
  recordingProgress->show();
  {
    const QSignalBlocker blocker(recordingList);
    item->setIcon(kColumnName, rowIcons->Icon(QString::fromLatin1(kIconDownloading)));
    item->setData(kColumnName, kIconKeyRole, QString::fromLatin1(kIconDownloading));
  }
  // What an earlier attempt at this row said is old news while it is copied again.
  rowReasons_[static_cast<size_t>(row)].clear();
  refreshRowTips(row);
  recordingList->setCurrentItem(item);
  recordingList->scrollToItem(item);
  showRow(row);
}

void MainWindow::onProgress(double recording, double batch, int64_t copiedBytes,
                            int64_t readBytes) {
  recordingProgress->setValue(BarValue(recording));
  recordingProgress->show();
  batchProgress->setValue(BarValue(batch));
  batchProgress->show();
  // The rate and the time left of the recent past, as the command line shows them.
  rate_.Add(RecentRate::Clock::now(), readBytes);
  const double rate = rate_.BytesPerSecond();
  QString text = QString::fromLatin1(kBatchBarText);
  if (rate > 0) {
    text += QStringLiteral(", %1 MB/s, %2 left")
                .arg(rate / 1e6, 0, 'f', 1)
                .arg(Duration(rate_.SecondsLeft(counters_.totalBytes - copiedBytes)));
  }
  batchProgress->setFormat(text);
}

void MainWindow::onRetryProgress(int64_t retried, int64_t toRetry, int64_t unreadable) {
  setStatus(QStringLiteral("Retrying what would not read, sector by sector: %1 of %2 bytes "
                           "retried, %3 still unreadable.")
                .arg(retried)
                .arg(toRetry)
                .arg(unreadable));
  batchProgress->setFormat(QStringLiteral("All retries: %p%"));
}

QString MainWindow::rowReason(const CopyOutcome& outcome) const {
  // A copy in parts (on FAT32) names its parts' files.
  QStringList parts;
  for (const CopyPart& part : outcome.parts) parts << QFileInfo(FromUtf8(part.path)).fileName();
  // Where a rescue keeps what it has: the working file, or each part's, with the map.
  const QString kept =
      parts.isEmpty()
          ? QFileInfo(FromUtf8(outcome.path)).fileName() + QStringLiteral(" (map beside it)")
          : QStringLiteral("its parts ") + parts.join(QStringLiteral(", ")) +
                QStringLiteral(" (each with its map)");
  const QString rescueBox = QString::fromLatin1(kRescueBoxText);
  if (outcome.status == CopyStatus::Downloaded) {
    if (parts.isEmpty()) return {};
    return QStringLiteral(
               "Copied in %1 parts, %2: the recording is larger than the destination holds in one "
               "file. A media library plays them as one.")
        .arg(parts.size())
        .arg(parts.join(QStringLiteral(", ")));
  }
  if (outcome.status == CopyStatus::Stopped) {
    if (!outcome.keptForRescue) return {};
    return QStringLiteral(
               "Stopped: what was read so far is kept in %1. Copy it again with \"%2\" ticked to "
               "go on from there.")
        .arg(kept, rescueBox);
  }
  if (outcome.unreadableBytes > 0) {
    return QStringLiteral(
               "Kept incomplete: %1 bytes could not be read and are zeros in %2. Copy it again "
               "with \"%3\" ticked to retry only those bytes.")
        .arg(outcome.unreadableBytes)
        .arg(kept, rescueBox);
  }
  QString reason = QStringLiteral("Not copied: ") + FromUtf8(outcome.reason);
  if (IsReadFailure(outcome) && !rescuing_) {
    reason += QStringLiteral(". Tick \"%1\" and copy it again to keep what reads.").arg(rescueBox);
  }
  return reason;
}

void MainWindow::onRowFinished(int row, const CopyOutcome& outcome) {
  QTreeWidgetItem* item = recordingList->topLevelItem(row);
  if (!item || recordingAt(row) == nullptr) return;
  Recording& model = recordings_[static_cast<size_t>(row)];
  ApplyOutcome(model, outcome);
  if (batch_) ShareTick(*batch_, row, model.ticked);
  // A copied recording's bar ends full, whichever progress message came last: one sent during
  // this row may have been read before the window learnt that the row had started.
  if (outcome.status == CopyStatus::Downloaded) recordingProgress->setValue(kProgressMax);
  {
    // The batch's own unticks are not the user's: they raise no tick event, and the recount at
    // the end of the batch sets the totals.
    const QSignalBlocker blocker(recordingList);
    item->setCheckState(kColumnName, model.ticked ? Qt::Checked : Qt::Unchecked);
    item->setIcon(kColumnName, rowIcons->Icon(FromUtf8(model.icon)));
    item->setData(kColumnName, kIconKeyRole, FromUtf8(model.icon));
  }
  const QString file = FromUtf8(model.fileStem) + QStringLiteral(".ts");
  rowReasons_[static_cast<size_t>(row)] = rowReason(outcome);
  if (outcome.status == CopyStatus::Failed && outcome.unreadableBytes > 0) {
    setStatus(file + QStringLiteral(" kept incomplete: ") + FromUtf8(outcome.reason));
  } else if (outcome.status == CopyStatus::Failed) {
    setStatus(outcome.alreadyExists
                  ? QString::fromLatin1(kExistsMessage)
                  : QStringLiteral("Errors! ") + file + QStringLiteral(" was not copied: ") +
                        FromUtf8(outcome.reason));
  }
  refreshRowTips(row);
  if (recordingList->currentItem() == item) showRow(row);
}

QString MainWindow::batchCounts(const BatchResult& result) const {
  int copied = 0, incomplete = 0, failed = 0;
  for (const CopyOutcome& o : result.outcomes) {
    if (o.status == CopyStatus::Downloaded) {
      ++copied;
    } else if (o.status == CopyStatus::Failed) {
      ++(o.unreadableBytes > 0 ? incomplete : failed);
    }
  }
  QStringList counts{QStringLiteral("%1 copied").arg(copied)};
  if (incomplete > 0) counts << QStringLiteral("%1 kept incomplete").arg(incomplete);
  if (failed > 0) counts << QStringLiteral("%1 not copied").arg(failed);
  QString text = counts.join(QStringLiteral(", "));
  if (incomplete + failed > 0) text += QStringLiteral(": point at a row for its reason");
  return text;
}

void MainWindow::finishBatch(const BatchResult& result) {
  copying_ = false;
  batch_.reset();
  waitTimer->stop();
  checkDiskWait();
  setBusyControls(false);
  batchProgress->setFormat(QString::fromLatin1(kBatchBarText));  // no rate once nothing runs
  selection_ = CountTicked(recordings_);
  const QString ended = result.stopped ? QStringLiteral("Stopped") : statusText_.trimmed();
  setStatus(
      ended + QStringLiteral(" - End time: ") + TimeOfDay() + QStringLiteral(". ") +
      batchCounts(result) +
      (result.stopped ? QStringLiteral("; the rows not reached are still ticked.") : QString()));
  recordingList->setFocus();
  setCopyEnabled(selection_.bytes > 0);
  emit batchEnded();
  if (quitAfterBatch_) {
    const bool exit = exitAfterBatch_;
    quitAfterBatch_ = exitAfterBatch_ = false;
    close();
    if (exit) endProgram(0);
  }
}

}  // namespace skelbrook::window
