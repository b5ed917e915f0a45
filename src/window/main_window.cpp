// The main window: building it, start-up and shut-down, ticking and clicking rows, the status
// line. Reading the list is in window_reading.cpp, copying in window_copying.cpp.
#include "window/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "device/file_system.h"
#include "settings/settings_file.h"
#include "window/background.h"
#include "window/batch_share.h"
#include "window/image_list.h"
#include "window/read_watch.h"
#include "window/window_text.h"

namespace skelbrook::window {
namespace {

constexpr int kDetailsLines = 4;

}  // namespace

MainWindow::MainWindow(const QString& homeFolder, const QString& firstDestination, QWidget* parent)
    : QWidget(parent),
      homeFolder_(QDir::toNativeSeparators(homeFolder)),
      firstDestination_(
          QDir::toNativeSeparators(firstDestination.isEmpty() ? homeFolder : firstDestination)),
      background_(new Background(this)),
      readWatch_(std::make_shared<ReadWatch>()),
      stop_(std::make_shared<std::atomic<bool>>(false)) {
  browseForFolder = [](QWidget* owner, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, title, start);
  };
  findAttachedDisks = [] { return FindDisks(); };
  showMessage = [this](const QString& text) {
    QMessageBox box(QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok, this);
    box.exec();
  };
  askYesNo = [this](const QString& question) {
    // No is the default: a stray Enter never ends a copy.
    return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
  };
  endProgram = [this](int exitCode) {
    closing_ = true;
    hide();
    QCoreApplication::exit(exitCode);
  };

  buildControls();
  restoreSession();
}

MainWindow::~MainWindow() {
  *stop_ = true;
  background_->WaitForAll();
  closeListFile();
}

void MainWindow::buildControls() {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QString::fromLatin1(kWindowCaption));
  rowIcons = new ImageList(this);
  buildList();
  controlPanel = new QFrame(this);
  controlPanel->setObjectName(QStringLiteral("controlPanel"));
  controlPanel->setFrameShape(QFrame::StyledPanel);
  buildDriveRow();
  buildProgressAndStatus();
  buildButtons();
  buildOptions();
  layOutControls();
  resize(860, 560);
  driveEdit->setFocus();
  // While disk work runs: whether a read has been waiting long enough to say so.
  waitTimer = new QTimer(this);
  waitTimer->setInterval(250);
  connect(waitTimer, &QTimer::timeout, this, [this] { checkDiskWait(); });
}

// The recordings list and the details box under it.
void MainWindow::buildList() {
  recordingList = new QTreeWidget(this);
  recordingList->setObjectName(QStringLiteral("recordingList"));
  recordingList->setColumnCount(3);
  recordingList->setHeaderLabels(
      {QStringLiteral("Programme name"), QStringLiteral("File size"), QStringLiteral("Status")});
  recordingList->setRootIsDecorated(false);
  recordingList->setUniformRowHeights(true);
  recordingList->setAlternatingRowColors(true);
  recordingList->setSelectionMode(QAbstractItemView::SingleSelection);
  recordingList->setAllColumnsShowFocus(true);
  // The user may resize every column; populateList gives them widths to start with.
  recordingList->header()->setStretchLastSection(true);
  recordingList->header()->setSectionResizeMode(QHeaderView::Interactive);
  connect(recordingList, &QTreeWidget::itemChanged, this, &MainWindow::onItemChanged);
  connect(recordingList, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* item, int) { onRowClicked(item); });
  // The details box follows the current row, however it moves (the arrow keys as well).
  connect(recordingList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (const int row = rowOf(item); row >= 0 && !syncingRows_) showRow(row);
  });

  detailsBox = new QPlainTextEdit(this);
  detailsBox->setObjectName(QStringLiteral("detailsBox"));
  detailsBox->setReadOnly(true);
  detailsBox->setFixedHeight(detailsBox->fontMetrics().lineSpacing() * kDetailsLines + 12);
}

// The drive box, the disk finder and the destination folder; once a list is read, the line that
// names the disk and the destination.
void MainWindow::buildDriveRow() {
  driveLabel = new QLabel(controlPanel);
  driveLabel->setObjectName(QStringLiteral("driveLabel"));
#ifdef _WIN32
  driveLabel->setText(QStringLiteral("\\\\.\\PhysicalDrive"));
#else
  driveLabel->setText(QStringLiteral("Drive number, or device or image path:"));
#endif

  driveEdit = new QLineEdit(controlPanel);
  driveEdit->setObjectName(QStringLiteral("driveEdit"));
#ifdef _WIN32
  driveEdit->setMaximumWidth(driveEdit->fontMetrics().horizontalAdvance(QStringLiteral("0000000")));
#else
  // Wide enough for an image's path.
  driveEdit->setMinimumWidth(driveEdit->fontMetrics().horizontalAdvance(
      QStringLiteral("/home/user/recorder-disk.img0000")));
#endif
  connect(driveEdit, &QLineEdit::returnPressed, this, [this] { readList(); });

  // The disks attached to the computer, those that read like a 9200T disk marked.
  findDiskButton = new QToolButton(controlPanel);
  findDiskButton->setObjectName(QStringLiteral("findDiskButton"));
  findDiskButton->setText(QStringLiteral("Find disk"));
  findDiskButton->setPopupMode(QToolButton::InstantPopup);
  auto* diskMenu = new QMenu(findDiskButton);
  diskMenu->setObjectName(QStringLiteral("findDiskMenu"));
  findDiskButton->setMenu(diskMenu);
  connect(diskMenu, &QMenu::aboutToShow, this, [this] { fillDiskMenu(); });

  // Once a list is read: which disk, and where the copies go.
  diskLabel = new QLabel(controlPanel);
  diskLabel->setObjectName(QStringLiteral("diskLabel"));
  diskLabel->setWordWrap(true);
  diskLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  diskLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  diskLabel->hide();
  // The device the text stands for, so that the user sees what will be opened.
  connect(driveEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
    driveEdit->setToolTip(FromUtf8(ResolveDrivePath(ToUtf8(text))));
  });

  destinationButton = new QPushButton(QStringLiteral("Destination folder"), controlPanel);
  destinationButton->setObjectName(QStringLiteral("destinationButton"));
  connect(destinationButton, &QPushButton::clicked, this, [this] { chooseDestination(); });

  destinationLabel = new QLabel(controlPanel);
  destinationLabel->setObjectName(QStringLiteral("destinationLabel"));
  destinationLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  destinationLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void MainWindow::buildProgressAndStatus() {
  recordingProgress = new QProgressBar(controlPanel);
  recordingProgress->setObjectName(QStringLiteral("recordingProgress"));
  batchProgress = new QProgressBar(controlPanel);
  batchProgress->setObjectName(QStringLiteral("batchProgress"));
  for (QProgressBar* bar : {recordingProgress, batchProgress}) {
    bar->setRange(0, kProgressMax);
    bar->setValue(0);
    bar->hide();
  }
  recordingProgress->setFormat(QStringLiteral("This recording: %p%"));
  batchProgress->setFormat(QStringLiteral("All ticked recordings: %p%"));

  statusLabel = new QLabel(controlPanel);
  statusLabel->setObjectName(QStringLiteral("statusLabel"));
  statusLabel->setAlignment(Qt::AlignCenter);
  // A long message wraps onto more lines rather than being cut off at both ends.
  statusLabel->setWordWrap(true);
  statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusLabel->setMinimumHeight(statusLabel->fontMetrics().lineSpacing() + 8);
}

void MainWindow::buildButtons() {
  readListButton = new QPushButton(QStringLiteral("Read filelist from 9200T"), controlPanel);
  readListButton->setObjectName(QStringLiteral("readListButton"));
  connect(readListButton, &QPushButton::clicked, this, [this] { readList(); });
  // Where the read button stood, while a copy runs.
  stopButton = new QPushButton(QStringLiteral("Stop"), controlPanel);
  stopButton->setObjectName(QStringLiteral("stopButton"));
  stopButton->setToolTip(QStringLiteral(
      "Stop the copy at its next read. The recording being copied is not kept (a rescue keeps "
      "what it has, ready to go on); the rows not reached stay ticked."));
  stopButton->hide();
  connect(stopButton, &QPushButton::clicked, this, [this] { stopWork(); });
  copyButton = new QPushButton(QStringLiteral("Copy files to PC"), controlPanel);
  copyButton->setObjectName(QStringLiteral("copyButton"));
  copyButton->setEnabled(false);
  connect(copyButton, &QPushButton::clicked, this, [this] { copyTicked(); });
  exitButton = new QPushButton(QStringLiteral("Exit"), controlPanel);
  exitButton->setObjectName(QStringLiteral("exitButton"));
  connect(exitButton, &QPushButton::clicked, this, [this] { quit(); });
}

void MainWindow::buildOptions() {
  // For failing disks: unreadable sectors become zeros instead of failing the whole recording.
  rescueBox = new QCheckBox(QString::fromLatin1(kRescueBoxText), controlPanel);
  rescueBox->setObjectName(QStringLiteral("rescueBox"));
  rescueBox->setToolTip(QStringLiteral(
      "Copy what reads first, then go back for what did not, sector by sector. Sectors that "
      "still fail are zeros in <name>.incomplete.ts, mapped in <name>.incomplete.ts.map; copy "
      "again with this ticked to retry only them."));

  // For the media library: the guide text, channel and times beside each copy.
  nfoBox = new QCheckBox(QStringLiteral("Write guide information beside each copy (.nfo)"),
                         controlPanel);
  nfoBox->setObjectName(QStringLiteral("nfoBox"));
  connect(nfoBox, &QCheckBox::toggled, this, [this](bool on) {
    // Remembered when it can be; a settings file that cannot be written is no reason to refuse.
    (void)WriteSetting(ToUtf8(settingsPath()), kSettingsSection, kKeyWriteNfo, on ? "1" : "0");
  });
  // A FAT32 stick holds no file of 4 GiB or more (through fusefat none over 2 GiB): such a
  // recording goes onto it in parts.
  splitBox = new QCheckBox(QStringLiteral("Copy recordings too large for the destination in parts"),
                           controlPanel);
  splitBox->setObjectName(QStringLiteral("splitBox"));
  splitBox->setChecked(true);
  splitBox->setToolTip(QStringLiteral(
      "The destination holds no file as large as a long recording (FAT32 none of 4 GiB or more; "
      "mounted through fusefat, none over 2 GiB). Ticked, such a recording is copied as NAME - "
      "part1.ts, NAME - part2.ts, ..., which media libraries and TVs play as one; not ticked, it "
      "is not copied."));
  splitBox->hide();
  connect(splitBox, &QCheckBox::toggled, this, [this](bool on) {
    (void)WriteSetting(ToUtf8(settingsPath()), kSettingsSection, kKeySplitForFat, on ? "1" : "0");
  });
  // Recordings whose records the catalogue lost still have their media files.
  unlistedBox =
      new QCheckBox(QStringLiteral("Show recordings missing from the catalogue"), controlPanel);
  unlistedBox->setObjectName(QStringLiteral("unlistedBox"));
  unlistedBox->setToolTip(QStringLiteral(
      "After the listed recordings, list every media file no record names, as NNN_unlisted.ts; "
      "also when the catalogue _RECORD_LIST_ is missing."));
  // Recordings whose catalogue entries, directory entries or chains were lost: not remembered,
  // since it reads the whole disk.
  deepBox =
      new QCheckBox(QStringLiteral("Search the whole disk for lost recordings"), controlPanel);
  deepBox->setObjectName(QStringLiteral("deepBox"));
  deepBox->setToolTip(QStringLiteral(
      "Reads the whole disk, at its own speed, and lists after the others every recording the "
      "catalogue lost (deleted, or on a disk that was formatted), as found_NNN.ts. It takes as "
      "long as reading the disk from end to end: about 8 minutes for every 16 GB over USB 2 "
      "(35 MB/s). Stop ends it, keeping the rest of the list."));
}

void MainWindow::layOutControls() {
  // The frame: the progress bars where the drive/folder row is (that row goes once a list is
  // read), the status line, the buttons.
  auto* driveRow = new QHBoxLayout;
  driveRow->addWidget(driveLabel);
  driveRow->addWidget(driveEdit);
  driveRow->addWidget(findDiskButton);
  driveRow->addWidget(destinationButton);
  driveRow->addWidget(destinationLabel, 1);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(readListButton);
  buttonRow->addWidget(stopButton);
  buttonRow->addWidget(copyButton);
  buttonRow->addWidget(exitButton);
  buttonRow->addStretch(1);
  // What the read lists, then how the copies are made: on two rows, so that the window still
  // fits a screen 1,280 pixels wide when the FAT32 box shows.
  auto* readOptionRow = new QHBoxLayout;
  readOptionRow->addWidget(unlistedBox);
  readOptionRow->addWidget(deepBox);
  readOptionRow->addStretch(1);
  auto* copyOptionRow = new QHBoxLayout;
  copyOptionRow->addWidget(nfoBox);
  copyOptionRow->addWidget(splitBox);
  copyOptionRow->addWidget(rescueBox);
  copyOptionRow->addStretch(1);
  auto* frameLayout = new QVBoxLayout(controlPanel);
  frameLayout->addWidget(recordingProgress);
  frameLayout->addWidget(batchProgress);
  frameLayout->addLayout(driveRow);
  frameLayout->addWidget(diskLabel);
  frameLayout->addWidget(statusLabel);
  frameLayout->addLayout(buttonRow);
  frameLayout->addLayout(readOptionRow);
  frameLayout->addLayout(copyOptionRow);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(recordingList, 1);
  layout->addWidget(detailsBox);
  layout->addWidget(controlPanel);
  // The keyboard goes through the options in the order they are shown.
  setTabOrder(unlistedBox, deepBox);
  setTabOrder(deepBox, nfoBox);
  setTabOrder(nfoBox, splitBox);
  setTabOrder(splitBox, rescueBox);
}

// ---- Start-up and shut-down ------------------------------------------------------------------

void MainWindow::restoreSession() {
  setCopyEnabled(false);
  loadSettings();
  const QString listPath = listFilePath();
  listFile_.open(PathFromUtf8(ToUtf8(listPath)),
                 std::ios::out | std::ios::trunc | std::ios::binary);
  if (!listFile_.is_open()) {
    startupStatus_ =
        Status::Error("Cannot create " + ToUtf8(listPath) + ": the folder must be writable.");
  }
}

QString MainWindow::folderPath(const char* fileName) const {
  QString path = homeFolder_;
  if (!path.endsWith(Separator())) path += Separator();
  return path + QString::fromLatin1(fileName);
}

QString MainWindow::settingsPath() const {
  return folderPath(kSettingsFileName);
}
QString MainWindow::listFilePath() const {
  return folderPath(kListFileName);
}
QString MainWindow::destinationFolder() const {
  return destinationLabel->text();
}

void MainWindow::setDestination(const QString& folder) {
  destinationLabel->setText(folder);
  destinationLabel->setToolTip(folder);
  // The whole path (the label may be too narrow for it) and what the folder's file system is:
  // finding that out may wake a slow stick, so it is done off the window's thread.
  auto volume = std::make_shared<VolumeInfo>();
  background_->Run(
      [volume, where = ToUtf8(folder), query = queryVolume] { *volume = query(where); },
      [this, volume, folder] {
        if (destinationFolder() != folder) return;  // chosen again meanwhile
        destinationLabel->setToolTip(folder + QLatin1Char('\n') +
                                     FromUtf8(DescribeVolume(*volume)));
        splitBox->setVisible(LargestFile(*volume) >= 0);
        emit destinationDescribed();
      });
}

void MainWindow::loadSettings() {
  const std::string path = ToUtf8(settingsPath());
  if (isNonEmptyFile(settingsPath())) {
    setDestination(FromUtf8(ReadSetting(path, kSettingsSection, kKeySaveTo)));
    driveEdit->setText(FromUtf8(ReadSetting(path, kSettingsSection, kKeyPhysicalDrive)));
    const QSignalBlocker quiet(nfoBox), quietToo(splitBox);
    nfoBox->setChecked(ReadSetting(path, kSettingsSection, kKeyWriteNfo) == "1");
    splitBox->setChecked(ReadSetting(path, kSettingsSection, kKeySplitForFat) != "0");
    return;
  }
  QString folder = firstDestination_;
  if (!folder.endsWith(Separator())) folder += Separator();
  setDestination(folder);
  driveEdit->setText(QString::fromLatin1(kDefaultDrive));
  // A settings file that cannot be written is not fatal: the values are in the window, and
  // the next read of a drive tries to store them again.
  (void)WriteSetting(path, kSettingsSection, kKeySaveTo, ToUtf8(destinationLabel->text()));
  (void)WriteSetting(path, kSettingsSection, kKeyPhysicalDrive, ToUtf8(driveEdit->text()));
}

bool MainWindow::isNonEmptyFile(const QString& path) const {
  const std::optional<int64_t> length = FileLength(ToUtf8(path));
  return length && *length > 0;
}

void MainWindow::closeListFile() {
  // A list being read is still writing to it; the read's end closes it.
  if (!reading_ && listFile_.is_open()) listFile_.close();
}

void MainWindow::quit() {
  if (copying_) {
    exitAfterBatch_ = true;
    close();  // asks first, and leaves once the copy has stopped
    return;
  }
  closeListFile();
  closing_ = true;
  *stop_ = true;  // a list being read stops at its next step
  close();
  endProgram(0);
}

bool MainWindow::mayCloseNow() {
  if (!copying_) return true;
  if (!quitAfterBatch_) {
    if (!askYesNo(QString::fromLatin1(kStopAndQuitQuestion))) {
      exitAfterBatch_ = false;
      recordingList->setFocus();  // never on Exit, where one more Space would ask again
      return false;
    }
    quitAfterBatch_ = true;
    stopCopy();
  }
  return false;  // the window goes once the copy has stopped and cleaned up after itself
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!mayCloseNow()) {
    event->ignore();
    return;
  }
  closing_ = true;
  *stop_ = true;
  closeListFile();
  event->accept();
}

void MainWindow::chooseDestination() {
  const QString chosen =
      browseForFolder(this, QString::fromLatin1(kFolderTitle), destinationFolder());
  if (chosen.isEmpty()) return;
  QString folder = QDir::toNativeSeparators(chosen);
  if (!folder.endsWith(Separator())) folder += Separator();
  setDestination(folder);
}

// ---- The status line -------------------------------------------------------------------------

void MainWindow::setStatus(const QString& text) {
  statusText_ = text;
  if (showingWait_) return;
  statusLabel->setText(text);
  statusLabel->setToolTip(text);
}

void MainWindow::checkDiskWait() {
  const auto waited = readWatch_->Waiting(ReadWatch::Clock::now());
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(waited).count();
  if (seconds >= kWaitWorthSayingSeconds) {
    showingWait_ = true;
    QString text = QStringLiteral(
                       "Waiting for the disk (%1 s). A failing disk can take a minute "
                       "over one bad sector.")
                       .arg(seconds);
    if (stopping_) text += QStringLiteral(" The copy stops once this read returns.");
    statusLabel->setText(text);
    statusLabel->setToolTip(text);
  } else if (showingWait_) {
    showingWait_ = false;
    setStatus(statusText_);
  }
}

// ---- The list --------------------------------------------------------------------------------

void MainWindow::populateList() {
  const QSignalBlocker blocker(recordingList);
  syncingRows_ = true;
  for (size_t i = 0; i < recordings_.size(); ++i) {
    const Recording& row = recordings_[i];
    auto* item = new QTreeWidgetItem(recordingList);
    const QString problems = problemsText(static_cast<int>(i));
    item->setText(kColumnName, FromUtf8(row.rowText));
    item->setText(kColumnSize, FromUtf8(row.sizeText));
    item->setText(kColumnStatus, FromUtf8(row.channelAndTimes));
    item->setTextAlignment(kColumnSize, Qt::AlignRight | Qt::AlignVCenter);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(kColumnName, row.ticked ? Qt::Checked : Qt::Unchecked);
    item->setIcon(kColumnName, rowIcons->Icon(FromUtf8(row.icon)));
    item->setData(kColumnName, kIconKeyRole, FromUtf8(row.icon));
    if (!problems.isEmpty())
      item->setIcon(kColumnStatus, style()->standardIcon(QStyle::SP_MessageBoxWarning));
  }
  rowReasons_.assign(recordings_.size(), QString());
  for (size_t i = 0; i < recordings_.size(); ++i) refreshRowTips(static_cast<int>(i));
  for (int column : {kColumnSize, kColumnStatus}) recordingList->resizeColumnToContents(column);
  recordingList->setColumnWidth(kColumnName, std::max(recordingList->viewport()->width() -
                                                          recordingList->columnWidth(kColumnSize) -
                                                          recordingList->columnWidth(kColumnStatus),
                                                      recordingList->viewport()->width() / 2));
  syncingRows_ = false;
}

// ---- Ticking and clicking --------------------------------------------------------------------

int MainWindow::rowOf(QTreeWidgetItem* item) const {
  return item ? recordingList->indexOfTopLevelItem(item) : -1;
}

const Recording* MainWindow::recordingAt(int row) const {
  return row >= 0 && row < static_cast<int>(recordings_.size())
             ? &recordings_[static_cast<size_t>(row)]
             : nullptr;
}

QString MainWindow::rowIconKey(int row) const {
  QTreeWidgetItem* item = recordingList->topLevelItem(row);
  return item ? item->data(kColumnName, kIconKeyRole).toString() : QString();
}

QString MainWindow::problemsText(int row) const {
  const Recording* r = recordingAt(row);
  if (r == nullptr || r->problems.empty()) return {};
  QString text = QStringLiteral("Read in part:");
  for (const std::string& problem : r->problems) text += QStringLiteral("\n- ") + FromUtf8(problem);
  return text;
}

QString MainWindow::rowTip(int row) const {
  QString tip = problemsText(row);
  if (row >= 0 && row < static_cast<int>(rowReasons_.size()) &&
      !rowReasons_[static_cast<size_t>(row)].isEmpty()) {
    tip = rowReasons_[static_cast<size_t>(row)] +
          (tip.isEmpty() ? QString() : QStringLiteral("\n\n") + tip);
  }
  return tip;
}

void MainWindow::refreshRowTips(int row) {
  QTreeWidgetItem* item = recordingList->topLevelItem(row);
  if (item == nullptr) return;
  const QString tip = rowTip(row);
  // The name column also shows the whole name, which the column may cut off.
  const QString name = item->text(kColumnName);
  item->setToolTip(kColumnName, tip.isEmpty() ? name : name + QStringLiteral("\n\n") + tip);
  for (int column : {kColumnSize, kColumnStatus}) item->setToolTip(column, tip);
}

void MainWindow::showRow(int row) {
  const Recording* r = recordingAt(row);
  QString text = r != nullptr ? FromUtf8(r->guideText) : QString();
  if (const QString tip = rowTip(row); !tip.isEmpty()) text += QStringLiteral("\n\n") + tip;
  detailsBox->setPlainText(text);
}

void MainWindow::onItemChanged(QTreeWidgetItem* item, int column) {
  if (syncingRows_ || column != kColumnName) return;
  const int row = rowOf(item);
  if (recordingAt(row) == nullptr) return;
  const bool ticked = item->checkState(kColumnName) == Qt::Checked;
  Recording& recording = recordings_[static_cast<size_t>(row)];
  if (recording.ticked == ticked) return;  // some other change of the row
  // The batch reads the tick when it reaches the row, so a tick made during a batch takes effect
  // there.
  recording.ticked = ticked;
  if (batch_) ShareTick(*batch_, row, ticked);
  onRowTicked(item);
}

void MainWindow::onRowTicked(QTreeWidgetItem* item) {
  const int row = rowOf(item);
  if (row < 0) return;
  recordingList->setCurrentItem(item);
  showRow(row);
  const Recording* r = recordingAt(row);
  const int64_t size = r != nullptr ? r->media.size : 0;
  if (item->checkState(kColumnName) == Qt::Checked) {
    selection_.bytes += size;
    selection_.count += 1;
  } else {
    selection_.bytes -= size;
    selection_.count -= 1;
  }
  showSelection();
}

void MainWindow::showSelection() {
  const int count = selection_.count;
  if (count == 0) {
    setStatus(QString::fromLatin1(kCheckItemsText));
    setCopyEnabled(false);
    return;
  }
  const QString words = count == 1 ? QStringLiteral(" file selected totaling ")
                                   : QStringLiteral(" files selected totaling ");
  setStatus(QString::number(count) + words + QString::number(selection_.bytes) +
            QStringLiteral(" bytes."));
  if (!copyEnabled_) setCopyEnabled(true);
}

void MainWindow::setCopyEnabled(bool enabled) {
  // No batch inside a batch: while one runs, the button stays off and the batch's end decides.
  if (copying_) enabled = false;
  copyEnabled_ = enabled;
  // A button that loses its focus as it goes off hands it on to the next one, which would be
  // Exit: the list keeps it instead, so that one more key press never quits.
  if (!enabled && copyButton->hasFocus()) recordingList->setFocus();
  copyButton->setEnabled(enabled);
}

void MainWindow::onRowClicked(QTreeWidgetItem* item) {
  const int row = rowOf(item);
  if (row >= 0) showRow(row);
}

}  // namespace skelbrook::window
