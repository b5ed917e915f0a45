// Reading the list, finding the disk and checking the destination: disk work that runs off the
// window's thread. While a list is read the window stays live: the read button ignores further
// presses, Exit and the close box stop the read at its next step and leave.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <fstream>

#include "catalogue/text.h"
#include "recovery/lost_recordings.h"
#include "settings/settings_file.h"
#include "window/background.h"
#include "window/main_window.h"
#include "window/read_watch.h"
#include "window/window_text.h"

namespace skelbrook::window {
namespace {

// Whether a file can be created and removed in `folder` (a file named "123.654" left there is
// removed too). Run off the window's thread: a slow stick may take its time.
bool DestinationWritable(const std::string& folder) {
  const std::string probe = folder + kProbeFileName;
  const std::optional<int64_t> length = FileLength(probe);
  if (!length || *length == 0) {
    std::ofstream create(PathFromUtf8(probe), std::ios::out | std::ios::trunc | std::ios::binary);
    if (!create.is_open()) return false;
    create.close();
    if (create.fail()) return false;
  }
  return RemoveFile(probe).ok();
}

}  // namespace

// The read's side of the window, on the read's thread: its steps ask whether to go on, and the
// moment the drive is recognised is sent to the window.
class MainWindow::ReadAdapter : public CatalogueObserver {
 public:
  ReadAdapter(MainWindow* window, std::shared_ptr<std::atomic<bool>> stop, const Catalogue& read)
      : window_(window), stop_(std::move(stop)), read_(read) {}
  bool pump() override { return !*stop_; }
  void scanProgress(int64_t read, int64_t toRead) override {
    Post(window_, [w = window_, read, toRead] { w->onScanProgress(read, toRead); });
  }
  void recognised() override {
    const QString path = FromUtf8(read_.path);
    const int64_t size = read_.geometry.driveSize;
    Post(window_, [window = window_, path, size] { window->onRecognised(path, size); });
  }

 private:
  MainWindow* window_;
  std::shared_ptr<std::atomic<bool>> stop_;
  const Catalogue& read_;
};

void MainWindow::readList() {
  // One list per run: after a recognised drive the button stays off for good.
  if (reading_ || listed_ || closing_) return;
  reading_ = true;
  readListButton->setEnabled(false);  // presses while a read runs are ignored
  for (QCheckBox* box : {unlistedBox, deepBox}) box->setEnabled(false);  // they shape the read
  *stop_ = false;
  auto read = std::make_shared<Catalogue>();
  auto result = std::make_shared<CatalogueResult>(CatalogueResult::NotRecognised);
  auto writable = std::make_shared<bool>(true);
  auto searched = std::make_shared<Status>(Status::Ok());
  const bool withUnlisted = unlistedBox->isChecked();
  const bool deep = deepBox->isChecked();
  searching_ = deep;
  if (deep) setBusyControls(true);  // Stop, where the read button stands
  const std::string folder = ToUtf8(destinationFolder()), drive = ToUtf8(driveEdit->text());
  const std::string settings = ToUtf8(settingsPath());
  std::ostream* listFile = listFile_.is_open() ? &listFile_ : nullptr;
  const DiskOpener opener = WatchReads(openDisk, readWatch_);
  waitTimer->start();
  background_->Run(
      [=, this] {
        *writable = DestinationWritable(folder);
        if (!*writable) return;
        Post(this, [this] { setStatus(QString::fromLatin1(kReadingText)); });
        // The settings are stored before the drive is read, whether or not it is recognised.
        if (WriteSetting(settings, kSettingsSection, kKeySaveTo, folder).ok()) {
          // Not fatal: the values are in the window, and the next read stores them again.
          (void)WriteSetting(settings, kSettingsSection, kKeyPhysicalDrive, drive);
        }
        ReadAdapter adapter(this, stop_, *read);
        *result = ReadCatalogue(drive, opener, *read, listFile, adapter, withUnlisted);
        if (!deep || !read->geometry.recognised || *result == CatalogueResult::Stopped) return;
        Post(this, [this] { setStatus(QStringLiteral("Searching the whole disk...")); });
        *searched = SearchForLostRecordings(drive, opener, *read, adapter);
      },
      [=, this] {
        if (!*writable) setStatus(QString::fromLatin1(kCheckFolderText));
        finishRead(*writable ? *result : CatalogueResult::Stopped, read, withUnlisted);
        if (deep && listed_ && !closing_) showSearchOutcome(*searched);
      });
}

void MainWindow::onRecognised(const QString& path, int64_t driveSize) {
  listed_ = true;
  for (QWidget* w : {static_cast<QWidget*>(destinationButton),
                     static_cast<QWidget*>(destinationLabel), static_cast<QWidget*>(driveEdit),
                     static_cast<QWidget*>(driveLabel), static_cast<QWidget*>(findDiskButton)}) {
    w->hide();
  }
  diskLabel->setText(
      QStringLiteral("Disk: ") + path +
      (driveSize > 0 ? QStringLiteral(" (") + FromUtf8(SizeText(driveSize)) + QStringLiteral(")")
                     : QString()) +
      QStringLiteral(". Copies go to: ") + destinationFolder());
  diskLabel->show();
  setStatus(QString::fromLatin1(kCheckItemsText));
  setCopyEnabled(false);
}

void MainWindow::onScanProgress(int64_t read, int64_t toRead) {
  rate_.Add(RecentRate::Clock::now(), read);
  QString text = QStringLiteral("Searching the whole disk: %p%");
  if (const double rate = rate_.BytesPerSecond(); rate > 0) {
    text += QStringLiteral(", %1 MB/s, %2 left")
                .arg(rate / 1e6, 0, 'f', 1)
                .arg(Duration(rate_.SecondsLeft(toRead - read)));
  }
  recordingProgress->setFormat(text);
  recordingProgress->setValue(BarValue(Percent(read, toRead)));
  recordingProgress->show();
}

void MainWindow::finishRead(CatalogueResult result, std::shared_ptr<Catalogue> read,
                            bool withUnlisted) {
  reading_ = false;
  if (searching_) {
    searching_ = false;
    rate_.Clear();
    recordingProgress->hide();
    setBusyControls(false);
  }
  waitTimer->stop();
  checkDiskWait();
  if (closing_) {
    emit listReadEnded();
    return;
  }
  if (!listed_) {
    // Not recognised, or the folder would not do: the window stays ready for another try.
    readListButton->setEnabled(true);
    for (QCheckBox* box : {unlistedBox, deepBox}) box->setEnabled(true);
    if (result == CatalogueResult::NotRecognised) {
      setStatus(QString::fromLatin1(kUnknownDriveText) + QStringLiteral(" (") +
                FromUtf8(read->rejection) + QStringLiteral(")"));
    }
    emit listReadEnded();
    return;
  }
  catalogue_ = std::move(*read);
  closeListFile();
  showReadOutcome(result, withUnlisted);
  recordingList->setFocus();
  emit listReadEnded();
}

void MainWindow::showReadOutcome(CatalogueResult result, bool withUnlisted) {
  // Rows besides the catalogue's: the media files no record names, and what a search found.
  const bool otherRows =
      withUnlisted || std::any_of(catalogue_.recordings.begin(), catalogue_.recordings.end(),
                                  [](const Recording& r) { return r.found; });
  switch (result) {
    case CatalogueResult::Listed:
      populateList();
      // Said again: the status line said what the read and the search were doing meanwhile.
      setStatus(QString::fromLatin1(kCheckItemsText) +
                (recordings_.empty() ? QStringLiteral(" ") + QString::fromLatin1(kNoRecordingsText)
                                     : QString()));
      if (ReadInPart(catalogue_.account)) {
        const auto areas = catalogue_.account.unreadable.size();
        setStatus(
            QStringLiteral("The catalogue was read only in part (%1 %2 of the disk could not be "
                           "read%3). ")
                .arg(areas)
                .arg(areas == 1 ? QStringLiteral("area") : QStringLiteral("areas"))
                .arg(catalogue_.account.problems.empty()
                         ? QString()
                         : QStringLiteral(", and limits were hit")) +
            QString::fromLatin1(kCheckItemsText));
      }
      break;
    case CatalogueResult::Unreadable:
      if (otherRows) populateList();
      setStatus(FromUtf8(catalogue_.account.failure) +
                (withUnlisted ? QStringLiteral(" ") + QString::fromLatin1(kOnlyMediaFilesText)
                              : QString()));
      break;
    case CatalogueResult::RecordListNotFound:
      if (!otherRows) return showMissingCatalogue();
      populateList();
      setStatus(QStringLiteral("_RECORD_LIST_ was not found. ") +
                QString::fromLatin1(kOnlyMediaFilesText));
      break;
    case CatalogueResult::NotRecognised:
    case CatalogueResult::Stopped:
      break;
  }
}

// What the search of the whole disk came to, after what the catalogue said.
void MainWindow::showSearchOutcome(const Status& searched) {
  const auto found = std::count_if(catalogue_.recordings.begin(), catalogue_.recordings.end(),
                                   [](const Recording& r) { return r.found; });
  QString said;
  if (searched.stopped()) {
    said = QStringLiteral(
        "The search of the whole disk was stopped: no lost recordings are "
        "listed.");
  } else if (!searched.ok()) {
    said = QStringLiteral("The search of the whole disk failed: ") + FromUtf8(searched.message());
  } else if (found == 0) {
    said = QStringLiteral("The search of the whole disk found no lost recordings.");
  } else {
    said = QStringLiteral("The search of the whole disk found %1 lost %2, listed as found_NNN.")
               .arg(found)
               .arg(found == 1 ? QStringLiteral("recording") : QStringLiteral("recordings"));
  }
  setStatus(statusText_ + QStringLiteral(" ") + said);
}

// A recognised disk without its catalogue: the message box, then the program ends; the box says
// how the recordings may still be found.
void MainWindow::showMissingCatalogue() {
  showMessage(
      QStringLiteral("Cannot locate _RECORD_LIST_ on this disk. The recordings may still "
                     "be there: start Skelbrook again, tick \"%1\" or \"%2\" and read the list "
                     "(%3). Exiting program.")
          .arg(unlistedBox->text(), deepBox->text(), QString::fromLatin1(kSupportContact)));
  closing_ = true;
  endProgram(1);
}

// ---- Finding the disk ------------------------------------------------------------------------

void MainWindow::fillDiskMenu() {
  // Each disk's sector 16 is read, and a failing disk may take long over it: the scan runs off
  // the window's thread and fills the menu when it is done, open or not.
  if (findingDisks_) return;
  findingDisks_ = true;
  QMenu* menu = findDiskButton->menu();
  if (menu->actions().isEmpty())
    menu->addAction(QStringLiteral("Looking for disks..."))->setEnabled(false);
  auto found = std::make_shared<std::vector<DiskCandidate>>();
  background_->Run([found, find = findAttachedDisks] { *found = find(); },
                   [this, found] {
                     findingDisks_ = false;
                     showDisks(*found);
                     emit disksFound();
                   });
}

void MainWindow::showDisks(const std::vector<DiskCandidate>& disks) {
  QMenu* menu = findDiskButton->menu();
  menu->clear();
  if (disks.empty()) menu->addAction(QStringLiteral("No disks found"))->setEnabled(false);
  for (const DiskCandidate& disk : disks) {
    QAction* action = menu->addAction(FromUtf8(DescribeCandidate(disk)));
    const QString path = FromUtf8(disk.path);
    if (disk.recorderDisk) {
      QFont bold = action->font();
      bold.setBold(true);
      action->setFont(bold);
    }
    connect(action, &QAction::triggered, this, [this, path] { driveEdit->setText(path); });
  }
}

}  // namespace skelbrook::window
