// The main window on Linux (Qt): the recordings list, the details box and the control panel. It
// is a view of the session (session/session.h): it builds the widgets, forwards what the user
// does and shows what the session describes; every rule and every word is the session's.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "session/session.h"
#include "session/view.h"

class QCheckBox;
class QCloseEvent;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace skelbrook::window {

class ImageList;

// The list's columns: the programme, the size text, the channel and times.
inline constexpr int kColumnName = 0;
inline constexpr int kColumnSize = 1;
inline constexpr int kColumnChannelAndTimes = 2;

class MainWindow : public QWidget, public session::View {
  Q_OBJECT

 public:
  // `homeFolder` holds the settings file and the recordings list file. `firstDestination` is
  // where copies go until the user chooses a folder (the home folder when empty).
  explicit MainWindow(const QString& homeFolder, const QString& firstDestination = {},
                      QWidget* parent = nullptr);
  // Stops any disk work at its next step and waits for it.
  ~MainWindow() override;

  // What waits on the user, replaceable where nobody is there to answer: the folder chooser
  // (opens at `start`, returns "" on cancel), the fatal message box, the question before
  // quitting during a copy, and the end of the program.
  std::function<QString(QWidget* owner, const QString& title, const QString& start)>
      browseForFolder;
  std::function<void(const QString& text)> showMessage;
  std::function<bool(const QString& question)> askYesNo;
  std::function<void(int exitCode)> endProgram;

  session::Session& session() { return *session_; }
  // The icon key of list row `row` (a list index), as the list shows it.
  QString rowIconKey(size_t row) const;

  // session::View
  void Post(std::function<void()> call) override;
  void ShowScreen(const session::Screen& screen) override;
  void ShowRows(const std::vector<session::RowView>& rows) override;
  void ShowRow(const session::RowView& row) override;
  void ShowDisks(const std::vector<session::DiskChoice>& disks) override;
  void FocusList() override;
  bool AskYesNo(const std::string& question) override;
  void ShowFatalMessage(const std::string& text) override;
  std::string ChooseFolder(const std::string& title, const std::string& start) override;
  void EndProgram(int exitCode) override;
  void WorkEnded(session::Work work) override;

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
  void buildList();
  void buildSearchRow();
  void buildDriveRow();
  void buildProgressAndStatus();
  void buildButtons();
  void buildOptions();
  void layOutControls();
  void showDiskMenu();
  void fillRow(QTreeWidgetItem* item, const session::RowView& row);
  // The list index of a list item; none for no item.
  std::optional<size_t> rowOf(QTreeWidgetItem* item) const;
  // Hands the keyboard to the list when the control that has it goes off or away.
  void keepFocusOffDisabled();

  QLineEdit* searchEdit = nullptr;
  QPushButton* tickShownButton = nullptr;
  QPushButton* untickAllButton = nullptr;
  QTreeWidget* recordingList = nullptr;
  ImageList* rowIcons = nullptr;
  QPlainTextEdit* detailsBox = nullptr;
  QFrame* controlPanel = nullptr;
  QLabel* driveLabel = nullptr;
  QLineEdit* driveEdit = nullptr;
  QPushButton* destinationButton = nullptr;
  QLabel* destinationLabel = nullptr;
  QToolButton* findDiskButton = nullptr;
  QMenu* diskMenu = nullptr;
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
  QTimer* tickTimer = nullptr;

  std::vector<QTreeWidgetItem*> items_;  // the item of each list index; none while hidden
  bool applying_ = false;  // the session's state is being shown: no events go back to it
  bool sizedColumns_ = false;
  bool reopeningDiskMenu_ = false;
  std::unique_ptr<session::Session> session_;  // last: it goes first, stopping its work
};

}  // namespace skelbrook::window
