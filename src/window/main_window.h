// The main window: the recordings list, the details box and the control panel. Every step of the
// work starts here; the disk itself is read by the core on a thread of its own (background.h),
// so that the window stays live however long the recorder disk takes over a read.
#pragma once

#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "catalogue/read_catalogue.h"
#include "catalogue/recording.h"
#include "common/recent_rate.h"
#include "common/status.h"
#include "device/disk_reader.h"
#include "disk/disk_finder.h"
#include "transfer/batch.h"
#include "transfer/copy.h"

class QCheckBox;
class QCloseEvent;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QToolButton;
class QTreeWidgetItem;

namespace skelbrook::window {

class Background;
class ImageList;
class ReadWatch;
struct BatchShare;

inline constexpr const char* kWindowCaption = "9200TSkelbrook 0.89  (oska)";
inline constexpr const char* kSettingsFileName = "9200T_sk.ini";
inline constexpr const char* kListFileName = "Files9200T.txt";
inline constexpr const char* kProbeFileName = "123.654";
inline constexpr const char* kSettingsSection = "9200T";
inline constexpr const char* kKeySaveTo = "Save to";
inline constexpr const char* kKeyPhysicalDrive = "Physical drive";
// Whether a guide file (.nfo) is written beside each copy: "1" or "0".
inline constexpr const char* kKeyWriteNfo = "Write guide files";
inline constexpr const char* kKeySplitForFat = "Split for FAT32";
inline constexpr const char* kDefaultDrive = "2";
inline constexpr const char* kFolderTitle = "Select a 'copy to' folder.";
// Where the message for a disk without _RECORD_LIST_ sends the user (set when building).
inline constexpr const char* kSupportContact = SKELBROOK_RECORD_LIST_HELP;

inline constexpr const char* kCheckFolderText = "Check the destination folder!";
inline constexpr const char* kReadingText = "Reading FAT into memory from the 9200T drive!";
inline constexpr const char* kUnknownDriveText = kNotRecognisedText;
inline constexpr const char* kCheckItemsText = "Check the items required for transfer.";
inline constexpr const char* kNoRecordingsText = "No recordings were found on this disk.";
inline constexpr const char* kOnlyMediaFilesText =
    "The media files on the disk are listed as NNN_unlisted.ts, without titles or times.";
inline constexpr const char* kStopAndQuitQuestion = "A copy is running. Stop it and quit?";
inline constexpr const char* kRescueBoxText = "Rescue unreadable sectors";
// A read that has waited this long is worth a word to the user.
inline constexpr int kWaitWorthSayingSeconds = 2;

// The list's columns: the programme, the size text, the channel and times.
inline constexpr int kColumnName = 0;
inline constexpr int kColumnSize = 1;
inline constexpr int kColumnStatus = 2;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // `homeFolder` holds the settings file and the recordings list file. `firstDestination` is
  // where copies go until the user chooses a folder (the home folder when empty).
  explicit MainWindow(const QString& homeFolder, const QString& firstDestination = {},
                      QWidget* parent = nullptr);
  // Stops any disk work at its next step and waits for it.
  ~MainWindow() override;

  // Seams for what waits on the user or the system, so that it can be replaced where nobody is
  // there to answer: the folder chooser (opens at `start`, returns "" on cancel), the fatal
  // message box, the question before quitting during a copy, the end of the program, and the
  // list of attached disks (called on a thread of its own).
  std::function<QString(QWidget* owner, const QString& title, const QString& start)>
      browseForFolder;
  std::function<std::vector<DiskCandidate>()> findAttachedDisks;
  std::function<void(const QString& text)> showMessage;
  std::function<bool(const QString& question)> askYesNo;
  std::function<void(int exitCode)> endProgram;
  // How the recorder disk is opened, for the list and the copies: the raw drive or image when
  // empty (tests put a failing or slow disk here).
  DiskOpener openDisk;
  // What the destination folder's file system is and holds (called on a thread of its own):
  // the system's answer unless a test says otherwise.
  std::function<VolumeInfo(const std::string& folder)> queryVolume = QueryVolume;

  // Whether start-up could open the recordings list file; the program cannot run without it.
  const Status& startupStatus() const { return startupStatus_; }

  // What the window does: read the list, copy the ticked rows, stop a copy, choose the
  // destination, quit.
  void readList();
  void copyTicked();
  void stopCopy();
  void chooseDestination();
  void quit();
  // Stops what disk work runs: a copy, or a search of the whole disk.
  void stopWork();

  // What the window holds, for the program's own checks. Rows count from 0.
  int selectedCount() const { return selection_.count; }
  int64_t selectedBytes() const { return selection_.bytes; }
  bool copyEnabled() const { return copyEnabled_; }
  const BatchCounters& counters() const { return counters_; }
  const std::vector<Recording>& recordings() const { return recordings_; }
  bool isReading() const { return reading_; }
  bool isCopying() const { return copying_; }
  bool isClosing() const { return closing_; }
  // The icon key of list row `row`, as the list shows it.
  QString rowIconKey(int row) const;
  QString settingsPath() const;
  QString listFilePath() const;

 signals:
  // A read of the list ended, whatever came of it.
  void listReadEnded();
  // A copy batch ended.
  void batchEnded();
  // The disk finder's scan ended and its menu is filled.
  void disksFound();
  // The destination's tooltip now says what file system it is on.
  void destinationDescribed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class ReadAdapter;
  class BatchAdapter;

  // Building the window.
  void buildControls();
  void buildList();
  void buildDriveRow();
  void buildProgressAndStatus();
  void buildButtons();
  void buildOptions();
  void layOutControls();

  // Start-up and shut-down.
  void restoreSession();
  void loadSettings();
  bool isNonEmptyFile(const QString& path) const;
  void closeListFile();
  // Asks the user before leaving a copy; true when the window may close now.
  bool mayCloseNow();

  // Reading the list (window_reading.cpp).
  void onRecognised(const QString& path, int64_t driveSize);
  void onScanProgress(int64_t read, int64_t toRead);
  void finishRead(CatalogueResult result, std::shared_ptr<Catalogue> read, bool withUnlisted);
  void showReadOutcome(CatalogueResult result, bool withUnlisted);
  void showMissingCatalogue();
  void showSearchOutcome(const Status& searched);
  void populateList();
  void fillDiskMenu();
  void showDisks(const std::vector<DiskCandidate>& disks);

  // Selecting.
  void onItemChanged(QTreeWidgetItem* item, int column);
  void onRowTicked(QTreeWidgetItem* item);
  void onRowClicked(QTreeWidgetItem* item);
  void showSelection();
  void setCopyEnabled(bool enabled);
  void showRow(int row);
  // A row's tooltip: its whole name, why it was not copied, what went wrong reading it.
  QString rowTip(int row) const;
  void refreshRowTips(int row);
  QString problemsText(int row) const;
  int rowOf(QTreeWidgetItem* item) const;
  // The recording of list row `row`; none for a row that is not there.
  const Recording* recordingAt(int row) const;

  // Copying (window_copying.cpp).
  CopyJob makeJob() const;
  void onRowStarted(int row, int pass);
  void onRowFinished(int row, const CopyOutcome& outcome);
  // The rate is of the bytes read, the time left of the bytes not copied yet.
  void onProgress(double recording, double batch, int64_t copiedBytes, int64_t readBytes);
  // What a row's tooltip and details say of how its copy ended; empty for a plain copy.
  QString rowReason(const CopyOutcome& outcome) const;
  void onRetryProgress(int64_t retried, int64_t toRetry, int64_t unreadable);
  void finishBatch(const BatchResult& result);
  QString batchCounts(const BatchResult& result) const;
  void setBusyControls(bool copying);

  // The status line: its whole text also as its tooltip; while a read of the disk waits, the
  // wait is said instead, and the text comes back when the read does.
  void setStatus(const QString& text);
  void checkDiskWait();

  // The destination folder and what it is on.
  QString folderPath(const char* fileName) const;
  QString destinationFolder() const;
  void setDestination(const QString& folder);

  // The controls.
  QTreeWidget* recordingList = nullptr;
  ImageList* rowIcons = nullptr;
  QPlainTextEdit* detailsBox = nullptr;
  QFrame* controlPanel = nullptr;
  QLabel* driveLabel = nullptr;
  QLineEdit* driveEdit = nullptr;
  QPushButton* destinationButton = nullptr;
  QLabel* destinationLabel = nullptr;
  QToolButton* findDiskButton = nullptr;
  QLabel* diskLabel = nullptr;
  QLabel* statusLabel = nullptr;
  QPushButton* readListButton = nullptr;
  QPushButton* stopButton = nullptr;
  QPushButton* copyButton = nullptr;
  QPushButton* exitButton = nullptr;
  QProgressBar* recordingProgress = nullptr;
  QProgressBar* batchProgress = nullptr;
  QCheckBox* rescueBox = nullptr;
  QCheckBox* nfoBox = nullptr;
  QCheckBox* unlistedBox = nullptr;
  QCheckBox* deepBox = nullptr;
  QCheckBox* splitBox = nullptr;  // shown only where a file's size is limited (FAT32)
  QTimer* waitTimer = nullptr;

  QString homeFolder_;
  QString firstDestination_;
  Status startupStatus_;
  std::ofstream listFile_;

  // The catalogue as read; the window's thread alone touches it once the read is over.
  Catalogue catalogue_;
  std::vector<Recording>& recordings_ = catalogue_.recordings;
  Selection selection_;
  std::vector<QString> rowReasons_;  // why each row's last copy failed; empty when it did not
  BatchCounters counters_;
  RecentRate rate_;
  bool copyEnabled_ = false;

  Background* background_ = nullptr;
  std::shared_ptr<ReadWatch> readWatch_;
  std::shared_ptr<std::atomic<bool>> stop_;  // asks the running disk work to stop
  std::shared_ptr<BatchShare> batch_;        // what the running batch shares with the window
  QString statusText_;
  bool showingWait_ = false;
  bool listed_ = false;          // a drive was recognised: no second list in this run
  bool reading_ = false;         // a list read runs: another press of the read button is ignored
  bool copying_ = false;         // a batch runs: the copy button stays disabled
  bool rescuing_ = false;        // the batch that runs (or ran last) is a rescue
  bool stopping_ = false;        // the user asked the batch to stop
  bool quitAfterBatch_ = false;  // the user chose to stop the copy and quit
  bool exitAfterBatch_ = false;  // ... by the Exit button, which also ends the program
  bool closing_ = false;         // the window is going: long work stops at its next step
  bool findingDisks_ = false;    // the disk finder's scan runs
  bool searching_ = false;       // the read searches the whole disk for lost recordings
  bool syncingRows_ = false;     // the program itself is changing rows: no tick events
};

}  // namespace skelbrook::window
