// Start-up and its settings, the screen built from the state, ticking and selecting rows, the
// status line, leaving. Reading the list is in session_reading.cpp, copying in
// session_copying.cpp.
#include "session/session.h"

#include "device/drive.h"
#include "device/time_of_day.h"
#include "session/session_text.h"
#include "settings/settings_file.h"

namespace skelbrook::session {
namespace {

constexpr const char* kDefaultDrive = "2";

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != FolderSeparator()) folder += FolderSeparator();
  return folder;
}

bool IsNonEmptyFile(const std::string& path) {
  const std::optional<int64_t> length = FileLength(path);
  return length && *length > 0;
}

}  // namespace

Session::Session(View& view, Places places, Seams seams)
    : view_(view),
      places_(std::move(places)),
      seams_(std::move(seams)),
      worker_([&view](std::function<void()> call) { view.Post(std::move(call)); }) {
  if (places_.firstDestination.empty()) places_.firstDestination = places_.homeFolder;
  if (!seams_.timeOfDay) seams_.timeOfDay = TimeOfDay;
  status_.clear();
  LoadSettings();
  listFile_.open(PathFromUtf8(ListFilePath()), std::ios::out | std::ios::trunc | std::ios::binary);
  if (!listFile_.is_open()) startup_ = Status::Error(text::CannotCreateText(ListFilePath()));
  Show();
}

Session::~Session() {
  *stop_ = true;
}

// ---- Start-up and the settings ----------------------------------------------------------------

std::string Session::SettingsPath() const {
  return WithSeparator(places_.homeFolder) + kSettingsFileName;
}

std::string Session::ListFilePath() const {
  return WithSeparator(places_.homeFolder) + kListFileName;
}

void Session::LoadSettings() {
  const std::string path = SettingsPath();
  if (IsNonEmptyFile(path)) {
    driveText_ = ReadSetting(path, kSettingsSection, kKeyPhysicalDrive);
    nfo_ = ReadSetting(path, kSettingsSection, kKeyWriteNfo) == "1";
    split_ = ReadSetting(path, kSettingsSection, kKeySplitForFat) != "0";
    SetDestination(ReadSetting(path, kSettingsSection, kKeySaveTo));
    return;
  }
  driveText_ = kDefaultDrive;
  SetDestination(WithSeparator(places_.firstDestination));
  // A settings file that cannot be written is not fatal: the values are in the window, and the
  // next read of a drive tries to store them again.
  (void)WriteSetting(path, kSettingsSection, kKeySaveTo, destination_);
  (void)WriteSetting(path, kSettingsSection, kKeyPhysicalDrive, driveText_);
}

void Session::SetDestination(const std::string& folder) {
  destination_ = folder;
  destinationTip_ = folder;
  volume_ = {};
  Show();
  DescribeDestination();
}

void Session::DescribeDestination() {
  // What the folder's file system is and how much room it has: finding that out may wake a slow
  // stick, so it is done off the window's thread.
  auto volume = std::make_shared<VolumeInfo>();
  const std::string folder = destination_;
  worker_.Run([volume, folder, query = seams_.queryVolume] { *volume = query(folder); },
              [this, volume, folder] {
                if (destination_ == folder) {  // not chosen again meanwhile
                  volume_ = *volume;
                  destinationTip_ = text::DestinationTip(folder, DescribeVolume(*volume));
                  // The free space is said with the selection's total when the ticks change
                  // next: the words a batch ended with stay until then.
                  splitShown_ = LargestFile(*volume) >= 0;
                  Show();
                }
                view_.WorkEnded(Work::DescribeDestination);
              });
}

void Session::StoreOption(const char* key, bool on) {
  // Remembered when it can be; a settings file that cannot be written is no reason to refuse.
  (void)WriteSetting(SettingsPath(), kSettingsSection, key, on ? "1" : "0");
}

void Session::SetOption(OptionBox box, bool on) {
  switch (box) {
    case OptionBox::Unlisted:
    case OptionBox::Deep:
      // They shape the read: fixed once one has started.
      if (phase_ == Phase::Ready) (box == OptionBox::Unlisted ? unlisted_ : deep_) = on;
      break;
    case OptionBox::Nfo:
      nfo_ = on;
      StoreOption(kKeyWriteNfo, on);
      break;
    case OptionBox::Split:
      split_ = on;
      StoreOption(kKeySplitForFat, on);
      break;
    case OptionBox::Rescue:
      rescue_ = on;
      break;
  }
  Show();
}

void Session::SetDriveText(const std::string& text) {
  // The drive is fixed from the press of the read button on: the list is of that disk, and the
  // copies read it.
  if (driveText_ == text || phase_ != Phase::Ready) return Show();
  driveText_ = text;
  Show();
}

void Session::ChooseDestination() {
  if (phase_ != Phase::Ready) return;  // the folder is fixed from the read on
  const std::string chosen = view_.ChooseFolder(text::kFolderTitle, destination_);
  // The chooser waits on the user while the window goes on: a read may have begun meanwhile.
  if (chosen.empty() || phase_ != Phase::Ready) return;
  SetDestination(WithSeparator(chosen));
}

// ---- The screen -------------------------------------------------------------------------------

bool Session::WorkRunning() const {
  return phase_ == Phase::Reading || phase_ == Phase::Searching || phase_ == Phase::Copying ||
         phase_ == Phase::Stopping;
}

void Session::Show() {
  Screen& s = screen_;
  s.driveRow = {!recognised_, phase_ == Phase::Ready};
  s.driveLabel = DriveBoxLabel();
  s.driveText = driveText_;
  s.driveTip = ResolveDrivePath(driveText_);
  s.destination = destination_;
  s.destinationTip = destinationTip_;
  s.diskLineVisible = recognised_;
  s.diskLine = diskLine_;
  const std::string note = ListNote();
  s.status = showingWait_ ? waitText_ : note.empty() ? status_ : status_ + " " + note;
  s.recordingBar = recordingBar_;
  s.batchBar = batchBar_;
  // While a copy or a search runs, Stop stands where the read button stood.
  const bool stoppable = phase_ == Phase::Copying || phase_ == Phase::Searching;
  const bool stopShown = stoppable || phase_ == Phase::Stopping;
  s.readButton = {!stopShown, phase_ == Phase::Ready};
  s.stopButton = {stopShown, stoppable};
  s.copyButton = {true, copyEnabled_};
  s.exitButton = {true, true};
  s.unlistedBox = {true, phase_ == Phase::Ready, unlisted_};
  s.deepBox = {true, phase_ == Phase::Ready, deep_};
  s.nfoBox = {true, true, nfo_};
  s.splitBox = {splitShown_, true, split_};
  s.rescueBox = {true, true, rescue_};
  s.currentRow = current_;
  const bool listed = recognised_ && phase_ != Phase::Reading && phase_ != Phase::Searching &&
                      phase_ != Phase::Closing &&
                      !(phase_ == Phase::Stopping && stoppingFrom_ == Phase::Searching);
  s.searchBox = s.tickShownButton = s.untickAllButton = {true, listed};
  s.search = search_;
  s.sortKey = sortKey_;
  s.sortDescending = sortDescending_;
  s.details = current_ ? DetailsOf(*current_) : std::string();
  const bool copying =
      phase_ == Phase::Copying || (phase_ == Phase::Stopping && stoppingFrom_ == Phase::Copying);
  s.taskbar.state = !copying       ? TaskbarState::None
                    : showingWait_ ? TaskbarState::Paused
                    : batchFailed_ ? TaskbarState::Error
                                   : TaskbarState::Normal;
  s.taskbar.percent = copying ? batchBar_.percent : 0;
  view_.ShowScreen(s);
}

void Session::SetStatus(const std::string& text) {
  status_ = text;
}

// ---- The rows ---------------------------------------------------------------------------------

std::string Session::TipOf(size_t row) const {
  std::string tip = text::ProblemsText(catalogue_.recordings[row].problems);
  if (row < reasons_.size() && !reasons_[row].empty())
    tip = reasons_[row] + (tip.empty() ? "" : "\n\n" + tip);
  return tip;
}

std::string Session::DetailsOf(size_t row) const {
  if (row >= catalogue_.recordings.size()) return {};
  const std::string tip = TipOf(row);
  return catalogue_.recordings[row].guideText + (tip.empty() ? "" : "\n\n" + tip);
}

RowView Session::Row(size_t row) const {
  const Recording& r = catalogue_.recordings.at(row);
  RowView v;
  v.row = row;
  v.name = r.rowText;
  v.size = r.sizeText;
  v.channelAndTimes = r.channelAndTimes;
  v.icon = r.icon;
  v.ticked = r.ticked;
  v.warning = !r.problems.empty();
  v.tip = TipOf(row);
  // The name column also shows the whole name, which the column may cut off.
  v.nameTip = v.tip.empty() ? v.name : v.name + "\n\n" + v.tip;
  return v;
}

std::vector<RowView> Session::AllRows() const {
  std::vector<RowView> rows;
  rows.reserve(shown_.size());
  for (const size_t i : shown_) rows.push_back(Row(i));
  return rows;
}

void Session::ShowInOrder() {
  shown_ = OrderRows(catalogue_.recordings, sortKey_, sortDescending_,
                     RowsHolding(searchable_, search_));
  view_.ShowRows(AllRows());
}

std::string Session::ListNote() const {
  if (SearchWords(search_).empty() || !recognised_) return {};
  int hiddenTicks = 0;
  std::vector<bool> isShown(catalogue_.recordings.size());
  for (const size_t i : shown_) isShown[i] = true;
  for (size_t i = 0; i < catalogue_.recordings.size(); ++i)
    hiddenTicks += catalogue_.recordings[i].ticked && !isShown[i];
  return text::ShownText(shown_.size(), catalogue_.recordings.size(), hiddenTicks);
}

void Session::SortBy(SortKey key) {
  if (!recognised_) return;
  // A column once: by it; twice: the other way round; a third time: the catalogue's order again.
  const bool again = key == sortKey_;
  sortKey_ = again && sortDescending_ ? SortKey::Catalogue : key;
  sortDescending_ = again && !sortDescending_;
  ShowInOrder();
  Show();
}

void Session::SetSearch(const std::string& typed) {
  if (typed == search_) return;
  search_ = typed;
  ShowInOrder();
  Show();
}

void Session::ShowRowChanged(size_t row) {
  if (row < catalogue_.recordings.size()) view_.ShowRow(Row(row));
}

// ---- Ticking and selecting --------------------------------------------------------------------

void Session::CountTick(size_t row, bool ticked) {
  Recording& recording = catalogue_.recordings[row];
  if (recording.ticked == ticked) return;
  recording.ticked = ticked;
  // The batch reads each tick when it reaches the row, so a tick made during a batch counts.
  if (batchTicks_ && row < batchTicks_->size()) (*batchTicks_)[row] = ticked;
  selection_.count += ticked ? 1 : -1;
  selection_.bytes += ticked ? recording.media.size : -recording.media.size;
  ShowRowChanged(row);
}

void Session::TickRow(size_t row, bool ticked) {
  if (row >= catalogue_.recordings.size() || catalogue_.recordings[row].ticked == ticked) return;
  CountTick(row, ticked);
  current_ = row;  // ticking a row also selects it
  ShowSelection();
  Show();
}

void Session::TickShown() {
  for (const size_t row : shown_) CountTick(row, true);
  ShowSelection();
  Show();
}

void Session::UntickAll() {
  for (size_t row = 0; row < catalogue_.recordings.size(); ++row) CountTick(row, false);
  ShowSelection();
  Show();
}

void Session::SelectRow(size_t row) {
  if (row >= catalogue_.recordings.size() || current_ == row) return;
  current_ = row;
  Show();
}

void Session::ShowSelection() {
  if (selection_.count == 0) {
    SetStatus(text::kCheckItems);
    SetCopyEnabled(false);
    return;
  }
  // Beside the total, the room it goes into.
  std::string words = text::SelectionText(selection_.count, selection_.bytes);
  if (volume_.freeBytes >= 0)
    words.append(" ").append(text::FreeText(volume_.freeBytes, destination_));
  SetStatus(words);
  if (!copyEnabled_) SetCopyEnabled(true);
}

void Session::SetCopyEnabled(bool enabled) {
  // No batch inside a batch: while one runs the button stays off, and the batch's end decides.
  if (phase_ == Phase::Copying || phase_ == Phase::Stopping) enabled = false;
  copyEnabled_ = enabled;
}

// ---- Leaving ----------------------------------------------------------------------------------

void Session::Leave() {
  phase_ = Phase::Closing;
  *stop_ = true;  // a read or a copy stops at its next step
  // A list being read is still writing to its file, which stays open until the read is over.
  if (!worker_.Busy() && listFile_.is_open()) listFile_.close();
}

bool Session::CopyRuns() const {
  return phase_ == Phase::Copying || (phase_ == Phase::Stopping && stoppingFrom_ == Phase::Copying);
}

void Session::AskToQuit() {
  if (quitWhenStopped_) return;  // asked already: the window goes once the copy has stopped
  if (!view_.AskYesNo(text::kStopAndQuit)) {
    view_.FocusList();  // never on Exit, where one more key press would ask again
    return;
  }
  // The question waits on the user while the window goes on: the copy may have ended meanwhile.
  if (!CopyRuns()) {
    Leave();
    view_.EndProgram(0);
    return;
  }
  quitWhenStopped_ = true;
  Stop();
}

void Session::Exit() {
  if (CopyRuns()) return AskToQuit();
  if (phase_ == Phase::Closing) return;
  Leave();
  view_.EndProgram(0);
}

bool Session::Close() {
  if (phase_ == Phase::Closing) return true;
  if (CopyRuns()) {
    AskToQuit();
    return false;
  }
  Leave();
  return true;
}

void Session::EndWork(Work work) {
  view_.WorkEnded(work);
}

void Session::Tick(Clock::time_point now) {
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(readWatch_->Waiting(now)).count();
  if (WorkRunning() && seconds >= kWaitWorthSaying.count()) {
    const bool stoppingCopy = phase_ == Phase::Stopping && stoppingFrom_ == Phase::Copying;
    const std::string wait = text::WaitText(seconds, stoppingCopy);
    if (showingWait_ && wait == waitText_) return;
    showingWait_ = true;
    waitText_ = wait;
    Show();
  } else if (showingWait_) {
    showingWait_ = false;
    Show();
  }
}

}  // namespace skelbrook::session
