// Reading the list, and finding the disk: disk work that runs off the window's thread. While a
// list is read the window stays live: the read button ignores further presses, Exit and the close
// box stop the read at its next step and leave, and a search of the whole disk can be stopped.
#include <algorithm>
#include <fstream>

#include "catalogue/search.h"
#include "recovery/lost_recordings.h"
#include "session/session.h"
#include "session/session_text.h"
#include "settings/settings_file.h"

namespace skelbrook::session {
namespace {

constexpr const char* kProbeFileName = "123.654";

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

struct ScanProgress {
  int64_t read = 0, toRead = 0;
};

}  // namespace

// The read's side of the session, on the read's thread: its steps ask whether to go on, and the
// moment the drive is recognised and the search's progress are handed to the window's thread.
class Session::ReadAdapter : public CatalogueObserver {
 public:
  ReadAdapter(Session* session, const Catalogue& read) : session_(session), read_(read) {}
  bool keepGoing() override { return !*session_->stop_; }
  void scanProgress(int64_t read, int64_t toRead) override {
    scan_.Send({read, toRead}, session_->worker_,
               [s = session_](const ScanProgress& p) { s->ScanProgressed(p.read, p.toRead); });
  }
  void recognised() override {
    session_->worker_.PostBack([s = session_, path = read_.path, size = read_.geometry.driveSize] {
      s->Recognised(path, size);
    });
  }

 private:
  Session* session_;
  const Catalogue& read_;
  Latest<ScanProgress> scan_;
};

void Session::ReadList() {
  // One list per run, one read at a time: presses while a read runs, or after one, do nothing.
  if (phase_ != Phase::Ready) return;
  const bool withUnlisted = unlisted_, deep = deep_;
  phase_ = deep ? Phase::Searching : Phase::Reading;
  *stop_ = false;
  Show();
  // The list file holds this read's lines only (a read stopped before holds some).
  listFile_.close();
  listFile_.open(PathFromUtf8(ListFilePath()), std::ios::out | std::ios::trunc | std::ios::binary);
  auto read = std::make_shared<Catalogue>();
  auto result = std::make_shared<CatalogueResult>(CatalogueResult::NotRecognised);
  auto writable = std::make_shared<bool>(true);
  auto searched = std::make_shared<Status>(Status::Ok());
  std::ostream* listFile = listFile_.is_open() ? &listFile_ : nullptr;
  const DiskOpener opener = WatchReads(seams_.openDisk, readWatch_);
  worker_.Run(
      [=, this, folder = destination_, drive = driveText_, settings = SettingsPath()] {
        *writable = DestinationWritable(folder);
        if (!*writable) return;
        worker_.PostBack([this] {
          SetStatus(text::kReading);
          Show();
        });
        // The settings are stored before the drive is read, whether or not it is recognised.
        if (WriteSetting(settings, kSettingsSection, kKeySaveTo, folder).ok()) {
          // Not fatal: the values are in the window, and the next read stores them again.
          (void)WriteSetting(settings, kSettingsSection, kKeyPhysicalDrive, drive);
        }
        ReadAdapter adapter(this, *read);
        *result = ReadCatalogue(drive, opener, *read, listFile, adapter, withUnlisted);
        if (!deep || !read->geometry.recognised) return;
        if (*result == CatalogueResult::Stopped) {
          *searched = Status::Stopped();  // stopped before the search began
          return;
        }
        worker_.PostBack([this] {
          SetStatus(text::kSearching);
          Show();
        });
        *searched = SearchForLostRecordings(drive, opener, *read, adapter);
      },
      [=, this] {
        if (!*writable) SetStatus(text::kCheckFolder);
        FinishRead(*writable ? *result : CatalogueResult::Stopped, read, withUnlisted, *searched,
                   deep);
      });
}

void Session::Recognised(const std::string& path, int64_t driveSize) {
  if (phase_ == Phase::Closing) return;
  recognised_ = true;
  diskLine_ = text::DiskLineText(path, driveSize, destination_);
  SetStatus(text::kCheckItems);
  SetCopyEnabled(false);
  Show();
}

void Session::ScanProgressed(int64_t read, int64_t toRead) {
  if (phase_ != Phase::Searching && phase_ != Phase::Stopping) return;
  rate_.Add(Clock::now(), read);
  const int percent = text::BarValue(Percent(read, toRead));
  recordingBar_ = {true, percent,
                   text::BarText(text::kSearchBar, percent) +
                       text::RateText(rate_.BytesPerSecond(), rate_.SecondsLeft(toRead - read))};
  Show();
}

void Session::FinishRead(CatalogueResult result, std::shared_ptr<Catalogue> read, bool withUnlisted,
                         const Status& searched, bool deep) {
  showingWait_ = false;
  if (deep) {
    rate_.Clear();
    recordingBar_.visible = false;
  }
  if (phase_ == Phase::Closing) {
    if (listFile_.is_open()) listFile_.close();
    return EndWork(Work::ReadList);
  }
  if (result == CatalogueResult::Stopped && *stop_) {
    // Stopped before the catalogue was read: nothing to list, and the disk may be read again.
    recognised_ = false;
    SetStatus(text::kReadStopped);
  }
  if (!recognised_) {
    // Not recognised, or the folder would not do: the window stays ready for another try.
    phase_ = Phase::Ready;
    if (result == CatalogueResult::NotRecognised)
      SetStatus(text::NotRecognisedText(read->rejection));
    Show();
    return EndWork(Work::ReadList);
  }
  phase_ = Phase::Listed;
  catalogue_ = std::move(*read);
  reasons_.assign(catalogue_.recordings.size(), std::string());
  searchable_.clear();
  for (const Recording& r : catalogue_.recordings) searchable_.push_back(SearchableText(r));
  if (listFile_.is_open()) listFile_.close();
  ShowReadOutcome(result, withUnlisted);
  if (phase_ == Phase::Closing) return EndWork(Work::ReadList);
  if (deep) {
    const auto found = std::count_if(catalogue_.recordings.begin(), catalogue_.recordings.end(),
                                     [](const Recording& r) { return r.found; });
    SetStatus(status_ + " " +
              text::SearchOutcomeText(searched.stopped(), searched.ok() ? "" : searched.message(),
                                      static_cast<size_t>(found)));
  }
  Show();
  view_.FocusList();
  EndWork(Work::ReadList);
}

void Session::ShowReadOutcome(CatalogueResult result, bool withUnlisted) {
  const std::vector<Recording>& rows = catalogue_.recordings;
  // Rows besides the catalogue's: the media files no record names, and what a search found.
  const bool otherRows = withUnlisted || std::any_of(rows.begin(), rows.end(),
                                                     [](const Recording& r) { return r.found; });
  switch (result) {
    case CatalogueResult::Listed:
      ShowInOrder();
      // Said again: the status line said what the read and the search were doing meanwhile.
      SetStatus(std::string(text::kCheckItems) +
                (rows.empty() ? std::string(" ") + text::kNoRecordings : ""));
      if (ReadInPart(catalogue_.account)) {
        SetStatus(text::ReadInPartText(catalogue_.account.unreadable.size(),
                                       !catalogue_.account.problems.empty()));
      }
      break;
    case CatalogueResult::Unreadable:
      if (otherRows) ShowInOrder();
      SetStatus(catalogue_.account.failure +
                (withUnlisted ? std::string(" ") + text::kOnlyMediaFiles : ""));
      break;
    case CatalogueResult::RecordListNotFound:
      if (!otherRows) {
        // The message box, then the program ends; the box says how the recordings may still be
        // found.
        view_.ShowFatalMessage(text::MissingCatalogueText(seams_.recordListHelp));
        Leave();
        view_.EndProgram(1);
        return;
      }
      ShowInOrder();
      SetStatus(std::string(text::kRecordListNotFound) + text::kOnlyMediaFiles);
      break;
    case CatalogueResult::NotRecognised:
    case CatalogueResult::Stopped:
      break;
  }
}

// ---- Finding the disk -------------------------------------------------------------------------

void Session::FindDisks() {
  // Each disk's sector 16 is read, and a failing disk may take long over it: the scan runs off
  // the window's thread and the list fills when it is done.
  if (findingDisks_) return;
  findingDisks_ = true;
  if (disks_.empty()) view_.ShowDisks({{text::kLookingForDisks, "", false}});
  auto found = std::make_shared<std::vector<DiskCandidate>>();
  worker_.Run([found, find = seams_.findDisks] { *found = find(); },
              [this, found] {
                findingDisks_ = false;
                ShowDisks(*found);
                EndWork(Work::FindDisks);
              });
}

void Session::ShowDisks(const std::vector<DiskCandidate>& disks) {
  disks_ = disks;
  std::vector<DiskChoice> choices;
  for (const DiskCandidate& disk : disks)
    choices.push_back(
        {DescribeCandidate(disk), disk.path, disk.recorderDisk && disk.problem.empty()});
  if (choices.empty()) choices.push_back({text::kNoDisksFound, "", false});
  view_.ShowDisks(choices);
}

void Session::ChooseDisk(size_t index) {
  if (index >= disks_.size() || phase_ != Phase::Ready) return;
  SetDriveText(DriveBoxText(disks_[index].path));
}

}  // namespace skelbrook::session
