// The main window frmTest: the recordings list, the details box and the control panel. Every step
// of the work starts in one of its handlers; the disk itself is the core's business.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <fstream>
#include <functional>
#include <vector>

#include "catalogue/programme_table.h"
#include "catalogue/read_catalogue.h"
#include "catalogue/recording_rows.h"
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

class frmTest : public QWidget {
  Q_OBJECT

 public:
  // `homeFolder` holds the settings file and the recordings list file; it is also the first
  // destination folder.
  explicit frmTest(const QString& homeFolder, QWidget* parent = nullptr);
  ~frmTest() override;

  // Seams for the parts that wait on the user, so they can be replaced where nobody is there to
  // answer: the folder chooser (opens at `start`, returns "" on cancel), the fatal message box,
  // and the end of the program; and the list of attached disks.
  std::function<QString(QWidget* owner, const QString& title, const QString& start)>
      BrowseForFolder;
  std::function<std::vector<DiskCandidate>()> FindAttachedDisks;
  std::function<void(const QString& text)> ShowMessage;
  std::function<void(int exitCode)> EndProgram;
  // How the recorder disk is opened, for the list and the copies: the raw drive or image when
  // empty (tests put a failing disk here).
  DiskOpener OpenDisk;

  // Whether start-up could open the recordings list file; the program cannot run without it.
  const Status& StartupStatus() const { return startupStatus_; }

  // Event handlers and procedures, under the names they have always had.
  void GetINIData();
  bool TestFolderHere();
  bool Exists(const QString& FE) const;
  void THeEnd();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void ProgView_ItemCheck(QTreeWidgetItem* Item);
  void ProgView_ItemClick(QTreeWidgetItem* Item);

  // What the window holds, for the program's own checks.
  int SelectedCount() const { return selection_.SelectedCount; }
  int64_t SelectedBytes() const { return selection_.SelectedBytes; }
  bool CopyEnabled() const { return CopyEnabled_; }
  const BatchCounters& Counters() const { return counters_; }
  const ProgrammeTable& Table() const { return table_; }
  const RecordingRows& Rows() const { return rows_; }
  bool IsReading() const { return reading_; }
  bool IsCopying() const { return copying_; }
  bool IsClosing() const { return closing_; }
  // The icon key of list row `row` (1-based), as the list shows it.
  QString RowIconKey(int row) const;
  QString SettingsPath() const;
  QString ListFilePath() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class Yield;
  friend class Yield;
  class ReadYield;
  friend class ReadYield;

  void BuildControls();
  void Form_Initialize();
  void Form_QueryUnload();
  void SetCopyEnabled(bool enabled);
  void ShowSelection();
  void ShowRow(int row);
  // The status line, its whole text also as its tooltip.
  void SetStatus(const QString& text);
  // A row's tooltip: why it was not copied, and what went wrong reading it.
  QString RowTip(int row) const;
  void FillDiskMenu();
  // What went wrong reading the row's catalogue entries; empty when nothing did.
  QString ProblemsText(int row) const;
  void OnRecognised();
  void FillProgView();
  void CopyTickedRecordings();
  void RecountSelection();
  void OnItemChanged(QTreeWidgetItem* item, int column);
  void OnRowStarted(int row, int pass);
  void OnRowFinished(int row, const CopyOutcome& outcome);
  void OnTaskProgress(double percent);
  void OnBatchProgress(double percent);
  // Lets the window process its pending events once; false when it is closing.
  bool Pump();
  QString FolderPath(const char* fileName) const;
  QString DestinationFolder() const;
  void SetDestination(const QString& folder);
  int RowOf(QTreeWidgetItem* item) const;
  int SlotOfRow(int row) const;

  // Controls, named as the program has always named them.
  QTreeWidget* ProgView = nullptr;
  ImageList* ImageList1 = nullptr;
  QPlainTextEdit* Text3 = nullptr;
  QFrame* Frame1 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* Text2 = nullptr;
  QPushButton* Command4 = nullptr;
  QLabel* Label3 = nullptr;
  QToolButton* cmdFindDisk = nullptr;
  QLabel* lblDisk = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Command1 = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* Command3 = nullptr;
  QProgressBar* pbTaskProgress = nullptr;
  QProgressBar* pbTaskProgress1 = nullptr;
  QCheckBox* chkRescue = nullptr;
  QCheckBox* chkNfo = nullptr;
  QCheckBox* chkUnlisted = nullptr;

  QString homeFolder_;
  Status startupStatus_;
  std::ofstream ListFile;

  // The core's state for this window: the catalogue as read, and names for its parts.
  Catalogue catalogue_;
  MediaGeometry& geometry_ = catalogue_.geometry;
  ProgrammeTable& table_ = catalogue_.table;
  RecordingRows& rows_ = catalogue_.rows;
  Selection selection_;
  std::vector<QString> rowReasons_;  // why each row's last copy failed; empty when it did not
  BatchCounters counters_;
  bool CopyEnabled_ = false;

  bool listed_ = false;       // a drive was recognised: no second list in this run
  bool reading_ = false;      // a list read runs: another press of Command1 is ignored
  bool copying_ = false;      // a batch runs: Command2 stays disabled
  bool rescuing_ = false;     // the batch that runs (or ran last) is a rescue
  bool closing_ = false;      // Exit or the close box: long work stops at its next yield
  bool syncingRows_ = false;  // the program itself is changing rows: no tick events
};

}  // namespace skelbrook::window
