// The main window MainWindow: the recordings list, the details box and the control panel. Every
// step of the work starts in one of its handlers; the disk itself is the core's business.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <fstream>
#include <functional>
#include <vector>

#include "catalogue/read_catalogue.h"
#include "catalogue/recording.h"
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
class QTreeWidget;
class QToolButton;
class QTreeWidgetItem;

namespace skelbrook::window {

class ImageList;

inline constexpr const char* kWindowCaption = "9200TSkelbrook 0.89  (oska)";
inline constexpr const char* kSettingsFileName = "9200T_sk.ini";
inline constexpr const char* kListFileName = "Files9200T.txt";
inline constexpr const char* kProbeFileName = "123.654";
inline constexpr const char* kSettingsSection = "9200T";
inline constexpr const char* kKeySaveTo = "Save to";
inline constexpr const char* kKeyPhysicalDrive = "Physical drive";
// Whether a guide file (.nfo) is written beside each copy: "1" or "0".
inline constexpr const char* kKeyWriteNfo = "Write guide files";
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

// The list's columns: the programme, the size text, the channel and times.
inline constexpr int kColumnName = 0;
inline constexpr int kColumnSize = 1;
inline constexpr int kColumnStatus = 2;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // `homeFolder` holds the settings file and the recordings list file; it is also the first
  // destination folder.
  explicit MainWindow(const QString& homeFolder, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Seams for the parts that wait on the user, so they can be replaced where nobody is there to
  // answer: the folder chooser (opens at `start`, returns "" on cancel), the fatal message box,
  // and the end of the program; and the list of attached disks.
  std::function<QString(QWidget* owner, const QString& title, const QString& start)>
      browseForFolder;
  std::function<std::vector<DiskCandidate>()> findAttachedDisks;
  std::function<void(const QString& text)> showMessage;
  std::function<void(int exitCode)> endProgram;
  // How the recorder disk is opened, for the list and the copies: the raw drive or image when
  // empty (tests put a failing disk here).
  DiskOpener openDisk;

  // Whether start-up could open the recordings list file; the program cannot run without it.
  const Status& startupStatus() const { return startupStatus_; }

  // What the window does: start-up, the buttons, ticking and clicking rows, shut-down.
  void loadSettings();
  bool destinationIsWritable();
  bool isNonEmptyFile(const QString& path) const;
  void closeListFile();
  void readList();
  void copyTicked();
  void quit();
  void chooseDestination();
  void onRowTicked(QTreeWidgetItem* item);
  void onRowClicked(QTreeWidgetItem* item);

  // What the window holds, for the program's own checks.
  int selectedCount() const { return selection_.count; }
  int64_t selectedBytes() const { return selection_.bytes; }
  bool copyEnabled() const { return copyEnabled_; }
  const BatchCounters& counters() const { return counters_; }
  const std::vector<Recording>& recordings() const { return recordings_; }
  bool isReading() const { return reading_; }
  bool isCopying() const { return copying_; }
  bool isClosing() const { return closing_; }
  // The icon key of list row `row` (counted from 0), as the list shows it.
  QString rowIconKey(int row) const;
  QString settingsPath() const;
  QString listFilePath() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class CopyObserverAdapter;
  friend class CopyObserverAdapter;
  class ReadObserverAdapter;
  friend class ReadObserverAdapter;

  void buildControls();
  void buildList();
  void buildDriveRow();
  void buildProgressAndStatus();
  void buildButtonsAndOptions();
  void layOutControls();
  void restoreSession();
  void prepareToClose();
  void setCopyEnabled(bool enabled);
  void showSelection();
  void showRow(int row);
  // The status line, its whole text also as its tooltip.
  void setStatus(const QString& text);
  // A row's tooltip: why it was not copied, and what went wrong reading it.
  QString rowTip(int row) const;
  void fillDiskMenu();
  // What went wrong reading the row's catalogue entries; empty when nothing did.
  QString problemsText(int row) const;
  void onRecognised();
  // The list and the status line once the catalogue has been read (or found missing).
  void showReadOutcome(CatalogueResult result, bool withUnlisted);
  void populateList();
  void CopyTickedRecordings();
  void RecountSelection();
  void onItemChanged(QTreeWidgetItem* item, int column);
  void onRowStarted(int row, int pass);
  void onRowFinished(int row, const CopyOutcome& outcome);
  void onRecordingProgress(double percent);
  void onBatchProgress(double percent);
  // Lets the window process its pending events once; false when it is closing.
  bool processPendingEvents();
  QString folderPath(const char* fileName) const;
  QString destinationFolder() const;
  void setDestination(const QString& folder);
  int rowOf(QTreeWidgetItem* item) const;
  // The recording of list row `row` (counted from 0); none for a row that is not there.
  const Recording* recordingAt(int row) const;

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
  QPushButton* copyButton = nullptr;
  QPushButton* exitButton = nullptr;
  QProgressBar* recordingProgress = nullptr;
  QProgressBar* batchProgress = nullptr;
  QCheckBox* rescueBox = nullptr;
  QCheckBox* nfoBox = nullptr;
  QCheckBox* unlistedBox = nullptr;

  QString homeFolder_;
  Status startupStatus_;
  std::ofstream listFile_;

  // The core's state for this window: the catalogue as read, and names for its parts.
  Catalogue catalogue_;
  MediaGeometry& geometry_ = catalogue_.geometry;
  std::vector<Recording>& recordings_ = catalogue_.recordings;
  Selection selection_;
  std::vector<QString> rowReasons_;  // why each row's last copy failed; empty when it did not
  BatchCounters counters_;
  bool copyEnabled_ = false;

  bool listed_ = false;       // a drive was recognised: no second list in this run
  bool reading_ = false;      // a list read runs: another press of readListButton is ignored
  bool copying_ = false;      // a batch runs: copyButton stays disabled
  bool rescuing_ = false;     // the batch that runs (or ran last) is a rescue
  bool closing_ = false;      // Exit or the close box: long work stops at its next yield
  bool syncingRows_ = false;  // the program itself is changing rows: no tick events
};

}  // namespace skelbrook::window
