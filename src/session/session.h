// The window's behaviour, without any toolkit: what the window knows (the catalogue and its
// recordings, the ticks, the settings, the recordings list file, why rows were not copied, the
// batch's counts and rate), the one phase it is in, every rule of which control is live when,
// and the threads that do the disk work. A window is a view of it (view.h): it forwards what the
// user does to the calls below and shows what the session describes (screen.h).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/read_catalogue.h"
#include "common/recent_rate.h"
#include "common/status.h"
#include "device/disk_reader.h"
#include "device/file_system.h"
#include "disk/disk_finder.h"
#include "session/read_watch.h"
#include "session/screen.h"
#include "session/view.h"
#include "session/worker.h"
#include "transfer/batch.h"

namespace skelbrook::session {

// What the window is doing. Long work runs on threads of its own in Reading, Searching and
// Copying; the window stays live throughout.
enum class Phase {
  Ready,      // no list yet: the drive and the destination can be chosen, the list read
  Reading,    // the list is being read
  Listed,     // the list is read: rows can be ticked and copied
  Searching,  // the list is being read with a search of the whole disk, which Stop ends
  Copying,    // the ticked rows are being copied
  Stopping,   // Stop was pressed: the copy or the search ends at its next read
  Closing,    // the window is going
};

// The window's options, as their check boxes show them.
enum class OptionBox { Unlisted, Deep, Nfo, Split, Rescue };

// Where the window keeps its files, and where copies go until the user chooses a folder.
struct Places {
  std::string homeFolder;
  std::string firstDestination;  // the home folder when empty
};

// What the session reaches the world through; the system's own unless a test says otherwise.
struct Seams {
  // How the recorder disk is opened, for the list and the copies: the raw drive or image when
  // empty.
  DiskOpener openDisk;
  // The disks attached to the computer (called on a thread of its own).
  std::function<std::vector<DiskCandidate>()> findDisks = [] { return FindDisks(); };
  // What the destination folder's file system is and holds (called on a thread of its own).
  std::function<VolumeInfo(const std::string& folder)> queryVolume = QueryVolume;
  // The time of day in the user's format, for the batch's start and end.
  std::function<std::string()> timeOfDay;
  // Where the message for a disk without its catalogue sends the user.
  std::string recordListHelp = "README.md, section 'Cannot locate _RECORD_LIST_'";
};

// The window's files, in its home folder.
inline constexpr const char* kSettingsFileName = "9200T_sk.ini";
inline constexpr const char* kListFileName = "Files9200T.txt";
// What the settings file remembers: the destination, the drive, and two of the options ("1" or
// "0"): whether a guide file (.nfo) is written beside each copy, and whether a recording too
// large for a FAT32 destination is copied in parts.
inline constexpr const char* kSettingsSection = "9200T";
inline constexpr const char* kKeySaveTo = "Save to";
inline constexpr const char* kKeyPhysicalDrive = "Physical drive";
inline constexpr const char* kKeyWriteNfo = "Write guide files";
inline constexpr const char* kKeySplitForFat = "Split for FAT32";

class Session {
 public:
  using Clock = std::chrono::steady_clock;
  // A read that has waited this long is worth a word to the user.
  static constexpr std::chrono::seconds kWaitWorthSaying{2};

  // Starts the window's session: loads the settings (or writes the defaults), opens the
  // recordings list file and shows the screen.
  Session(View& view, Places places, Seams seams = {});
  // Stops any disk work at its next step and waits for it.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Whether start-up could open the recordings list file; the program cannot run without it.
  const Status& StartupStatus() const { return startup_; }

  // What the user does.
  void SetDriveText(const std::string& text);
  void ReadList();
  void TickRow(size_t row, bool ticked);
  void SelectRow(size_t row);  // clicked, or moved to with the keys
  void Copy();                 // asks first when the ticked rows do not fit the destination
  void Stop();
  void ChooseDestination();
  void SetOption(OptionBox box, bool on);
  void FindDisks();               // the disk finder opens: its list is filled when the scan ends
  void ChooseDisk(size_t index);  // a line of the disk finder's list
  void Exit();                    // the Exit button
  // The close box or the system closes the window: true when it may go now. During a copy the
  // user is asked first; the window then goes once the copy has stopped.
  bool Close();
  // Called by the view's timer, a few times a second: while a read of the disk waits, says so.
  void Tick(Clock::time_point now = Clock::now());
  // A column's header clicked: the list in that column's order; clicked again, reversed; a third
  // time, in the catalogue's order again. The rows keep their numbers, and a copy still goes in
  // the catalogue's order.
  void SortBy(SortKey key);
  // What the search box holds: only the rows whose title, channel or guide text hold every word
  // are shown. Ticks of rows not shown are kept, and copied.
  void SetSearch(const std::string& typed);
  // Ticks every row shown; unticks every row, shown or not.
  void TickShown();
  void UntickAll();

  // What the session knows, for its views and the program's own checks.
  Phase CurrentPhase() const { return phase_; }
  const Screen& CurrentScreen() const { return screen_; }
  const std::vector<Recording>& Recordings() const { return catalogue_.recordings; }
  const Selection& Ticked() const { return selection_; }
  // The rows shown, in the order shown.
  const std::vector<size_t>& ShownRows() const { return shown_; }
  bool CopyEnabled() const { return copyEnabled_; }
  RowView Row(size_t row) const;
  std::string SettingsPath() const;
  std::string ListFilePath() const;
  // What the system is reached through; a test may change it between steps.
  Seams& SeamsInUse() { return seams_; }

 private:
  class ReadAdapter;
  class BatchAdapter;

  // Start-up and the settings (session.cpp).
  void LoadSettings();
  void SetDestination(const std::string& folder);
  void DescribeDestination();  // what the destination is on, found out off the window's thread
  void StoreOption(const char* key, bool on);

  // The screen: built from the state after every change and handed to the view.
  void Show();
  void SetStatus(const std::string& text);
  void ShowRowChanged(size_t row);
  std::vector<RowView> AllRows() const;
  std::string DetailsOf(size_t row) const;
  std::string TipOf(size_t row) const;
  void ShowSelection();
  void SetCopyEnabled(bool enabled);
  void CountTick(size_t row, bool ticked);  // one row's tick, counted
  // The rows shown and their order, from the search and the column chosen; shows them.
  void ShowInOrder();
  // What the status line adds to its words while a search hides rows.
  std::string ListNote() const;
  // The room the row's copy takes at the destination; none when the copy will be refused without
  // a byte written (too large for it and not to be split, or there already).
  std::optional<int64_t> RoomNeeded(const CopyJob& job, size_t row) const;
  // When the ticked rows do not fit the destination: which of them, in the catalogue's order, do;
  // none when the user would rather not copy. All of them when they fit.
  std::optional<std::vector<bool>> RowsToCopy();
  bool WorkRunning() const;
  void EndWork(Work work);
  // The window goes: long work stops at its next step.
  void Leave();
  // Whether a copy batch runs (or is stopping).
  bool CopyRuns() const;
  // Exit, or the close box, during a copy: asks, and once the user says yes stops the copy and
  // leaves when it has stopped.
  void AskToQuit();

  // Reading the list (session_reading.cpp).
  void Recognised(const std::string& path, int64_t driveSize);
  void ScanProgressed(int64_t read, int64_t toRead);
  void FinishRead(CatalogueResult result, std::shared_ptr<Catalogue> read, bool withUnlisted,
                  const Status& searched, bool deep);
  void ShowReadOutcome(CatalogueResult result, bool withUnlisted);
  void ShowDisks(const std::vector<DiskCandidate>& disks);

  // Copying (session_copying.cpp).
  CopyJob MakeJob() const;
  void StartBatch(const std::vector<bool>& chosen);  // the rows this batch copies
  void RowStarted(size_t row, int pass);
  void RowFinished(size_t row, const CopyOutcome& outcome);
  // The rate is of the bytes read, the time left of the bytes not copied yet.
  void Progressed(double recording, double batch, int64_t copiedBytes, int64_t readBytes);
  void Retried(int64_t retried, int64_t toRetry, int64_t unreadable);
  void FinishBatch(const BatchResult& result);

  View& view_;
  Places places_;
  Seams seams_;
  Status startup_;
  std::ofstream listFile_;
  Screen screen_;

  Phase phase_ = Phase::Ready;
  Phase stoppingFrom_ = Phase::Ready;  // what Stop is ending: Copying or Searching
  bool recognised_ = false;            // a drive was recognised: the drive row goes for the run
  bool quitWhenStopped_ = false;       // the user chose to stop the copy and quit
  bool findingDisks_ = false;

  // What the window knows.
  std::string driveText_;
  std::string destination_;
  std::string destinationTip_;
  VolumeInfo volume_;        // what the destination is on, once found out
  bool splitShown_ = false;  // the destination limits a file's size (FAT32)
  bool unlisted_ = false, deep_ = false, nfo_ = false, split_ = true, rescue_ = false;
  Catalogue catalogue_;
  std::vector<std::string> reasons_;  // why each row's last copy ended as it did; "" if copied
  Selection selection_;
  bool copyEnabled_ = false;
  BatchCounters counters_;
  RecentRate rate_;
  bool rescuing_ = false;     // the batch that runs (or ran last) is a rescue
  bool batchFailed_ = false;  // a row of the running batch was not copied whole
  Bar recordingBar_, batchBar_;
  std::string recordingBarName_ = "This recording", batchBarName_ = "All ticked recordings";
  std::string diskLine_;
  std::optional<size_t> current_;
  std::vector<size_t> shown_;            // the rows shown, in the order shown
  std::vector<std::string> searchable_;  // each row's words for the search, folded
  std::string search_;
  SortKey sortKey_ = SortKey::Catalogue;
  bool sortDescending_ = false;
  std::string status_;  // what the status line says, when it is not saying that it waits
  bool showingWait_ = false;
  std::string waitText_;
  std::vector<DiskCandidate> disks_;

  // The work off the window's thread, and what it shares with the window.
  std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<ReadWatch> readWatch_ = std::make_shared<ReadWatch>();
  std::shared_ptr<std::vector<std::atomic<bool>>> batchTicks_;  // the ticks the batch reads
  Worker worker_;  // last: its threads end before anything above goes
};

}  // namespace skelbrook::session
