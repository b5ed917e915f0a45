#include "window/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTime>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "catalogue/text.h"
#include "device/file_system.h"
#include "settings/settings_file.h"
#include "window/image_list.h"

namespace skelbrook::window {

namespace {

// Where a row keeps its icon key, so that it can be read back.
constexpr int kIconKeyRole = Qt::UserRole + 1;
constexpr int kProgressMax = 100;
constexpr int kDetailsLines = 4;

QString FromUtf8(const std::string& s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
std::string ToUtf8(const QString& s) {
  return s.toUtf8().toStdString();
}

QString Separator() {
  return QString(QChar::fromLatin1(FolderSeparator()));
}

// The time of day in the user's own time format, without a time-zone name.
QString TimeOfDay() {
  const QLocale locale = QLocale::system();
  QString format = locale.timeFormat(QLocale::LongFormat);
  format.remove(QLatin1Char('t'));
  return locale.toString(QTime::currentTime(), format.trimmed());
}

// A bar shows whole percent; a value is never rounded up, so 100 means really finished.
int BarValue(double percent) {
  if (!(percent > 0)) return 0;
  if (percent >= kProgressMax) return kProgressMax;
  return static_cast<int>(percent);
}

}  // namespace

// The window's side of the long work: at every yield it processes pending events and tells the
// core to stop once the window is closing; it also carries the copy's progress and row changes
// into the controls.
class MainWindow::CopyObserverAdapter : public BatchObserver {
 public:
  explicit CopyObserverAdapter(MainWindow& form) : form_(form) {}
  bool pump() override { return form_.processPendingEvents(); }
  void taskProgress(double percent) override { form_.onRecordingProgress(percent); }
  void batchProgress(double percent) override { form_.onBatchProgress(percent); }
  void rowStarted(size_t row, int pass) override {
    form_.onRowStarted(static_cast<int>(row), pass);
  }
  void rowFinished(size_t row, const CopyOutcome& outcome) override {
    form_.onRowFinished(row, outcome);
  }

 private:
  MainWindow& form_;
};

// Reading the list: yields, and the moment the drive is recognised.
class MainWindow::ReadObserverAdapter : public CatalogueObserver {
 public:
  explicit ReadObserverAdapter(MainWindow& form) : form_(form) {}
  bool pump() override { return form_.processPendingEvents(); }
  void recognised() override { form_.onRecognised(); }

 private:
  MainWindow& form_;
};

MainWindow::MainWindow(const QString& homeFolder, QWidget* parent)
    : QWidget(parent), homeFolder_(QDir::toNativeSeparators(homeFolder)) {
  browseForFolder = [](QWidget* owner, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, title, start);
  };
  findAttachedDisks = [] { return FindDisks(); };
  showMessage = [this](const QString& text) {
    QMessageBox box(QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok, this);
    box.exec();
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
  buildButtonsAndOptions();
  layOutControls();
  resize(860, 560);
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

void MainWindow::buildButtonsAndOptions() {
  readListButton = new QPushButton(QStringLiteral("Read filelist from 9200T"), controlPanel);
  readListButton->setObjectName(QStringLiteral("readListButton"));
  connect(readListButton, &QPushButton::clicked, this, [this] { readList(); });
  copyButton = new QPushButton(QStringLiteral("Copy files to PC"), controlPanel);
  copyButton->setObjectName(QStringLiteral("copyButton"));
  copyButton->setEnabled(false);
  connect(copyButton, &QPushButton::clicked, this, [this] { copyTicked(); });
  exitButton = new QPushButton(QStringLiteral("Exit"), controlPanel);
  exitButton->setObjectName(QStringLiteral("exitButton"));
  connect(exitButton, &QPushButton::clicked, this, [this] { quit(); });
  // For failing disks: unreadable sectors become zeros instead of failing the whole recording.
  rescueBox = new QCheckBox(QStringLiteral("Rescue unreadable sectors"), controlPanel);
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
  // Recordings whose records the catalogue lost still have their media files.
  unlistedBox =
      new QCheckBox(QStringLiteral("Show recordings missing from the catalogue"), controlPanel);
  unlistedBox->setObjectName(QStringLiteral("unlistedBox"));
  unlistedBox->setToolTip(QStringLiteral(
      "After the listed recordings, list every media file no record names, as NNN_unlisted.ts; "
      "also when the catalogue _RECORD_LIST_ is missing."));
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
  buttonRow->addWidget(copyButton);
  buttonRow->addWidget(exitButton);
  buttonRow->addStretch(1);
  auto* optionRow = new QHBoxLayout;
  optionRow->addWidget(unlistedBox);
  optionRow->addStretch(1);
  optionRow->addWidget(nfoBox);
  optionRow->addWidget(rescueBox);
  auto* frameLayout = new QVBoxLayout(controlPanel);
  frameLayout->addWidget(recordingProgress);
  frameLayout->addWidget(batchProgress);
  frameLayout->addLayout(driveRow);
  frameLayout->addWidget(diskLabel);
  frameLayout->addWidget(statusLabel);
  frameLayout->addLayout(buttonRow);
  frameLayout->addLayout(optionRow);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(recordingList, 1);
  layout->addWidget(detailsBox);
  layout->addWidget(controlPanel);
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
  // The whole path (the label may be too narrow for it) and what the folder's file system is.
  destinationLabel->setToolTip(folder + QLatin1Char('\n') +
                               FromUtf8(DescribeVolume(QueryVolume(ToUtf8(folder)))));
}

void MainWindow::loadSettings() {
  const std::string path = ToUtf8(settingsPath());
  if (isNonEmptyFile(settingsPath())) {
    setDestination(FromUtf8(ReadSetting(path, kSettingsSection, kKeySaveTo)));
    driveEdit->setText(FromUtf8(ReadSetting(path, kSettingsSection, kKeyPhysicalDrive)));
    const QSignalBlocker quiet(nfoBox);
    nfoBox->setChecked(ReadSetting(path, kSettingsSection, kKeyWriteNfo) == "1");
    return;
  }
  QString folder = homeFolder_;
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

bool MainWindow::destinationIsWritable() {
  const QString probe = destinationFolder() + QString::fromLatin1(kProbeFileName);
  const std::string path = ToUtf8(probe);
  if (!isNonEmptyFile(probe)) {
    std::ofstream create(PathFromUtf8(path), std::ios::out | std::ios::trunc | std::ios::binary);
    if (!create.is_open()) return false;
    create.close();
    if (create.fail()) return false;
  }
  return RemoveFile(path).ok();
}

void MainWindow::closeListFile() {
  // The drive and the copy's file are released by the core as it stops at its next yield.
  if (listFile_.is_open()) listFile_.close();
}

void MainWindow::quit() {
  closeListFile();
  closing_ = true;
  close();
  endProgram(0);
}

void MainWindow::prepareToClose() {
  closing_ = true;
  closeListFile();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The close is never refused; work in progress stops at its next yield.
  prepareToClose();
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

bool MainWindow::processPendingEvents() {
  if (closing_) return false;
  QCoreApplication::processEvents();
  return !closing_;
}

// ---- Reading the list ------------------------------------------------------------------------

void MainWindow::readList() {
  // One list per run: after a recognised drive the button stays off for good.
  if (reading_ || listed_ || closing_) return;
  reading_ = true;
  struct ReadingDone {
    bool& flag;
    ~ReadingDone() { flag = false; }
  } done{reading_};

  if (!destinationIsWritable()) {
    setStatus(QString::fromLatin1(kCheckFolderText));
    return;
  }
  setStatus(QString::fromLatin1(kReadingText));
  if (!processPendingEvents()) return;

  // The settings are stored before the drive is read, whether or not it is then recognised.
  const std::string settings = ToUtf8(settingsPath());
  if (WriteSetting(settings, kSettingsSection, kKeySaveTo, ToUtf8(destinationFolder())).ok()) {
    // Not fatal: the values are in the window, and the next read stores them again.
    (void)WriteSetting(settings, kSettingsSection, kKeyPhysicalDrive, ToUtf8(driveEdit->text()));
  }

  catalogue_ = Catalogue{};
  ReadObserverAdapter yield(*this);
  const bool withUnlisted = unlistedBox->isChecked();
  const CatalogueResult result =
      ReadCatalogue(ToUtf8(driveEdit->text()), openDisk, catalogue_,
                    listFile_.is_open() ? &listFile_ : nullptr, yield, withUnlisted);
  if (result == CatalogueResult::NotRecognised) {
    setStatus(QString::fromLatin1(kUnknownDriveText) + QStringLiteral(" (") +
              FromUtf8(catalogue_.rejection) + QStringLiteral(")"));
    return;
  }
  if (listFile_.is_open()) listFile_.close();
  showReadOutcome(result, withUnlisted);
}

void MainWindow::showReadOutcome(CatalogueResult result, bool withUnlisted) {
  switch (result) {
    case CatalogueResult::Listed:
      populateList();
      if (recordings_.empty()) {
        setStatus(QString::fromLatin1(kCheckItemsText) + QStringLiteral(" ") +
                  QString::fromLatin1(kNoRecordingsText));
      }
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
      if (withUnlisted) populateList();
      setStatus(FromUtf8(catalogue_.account.failure) +
                (withUnlisted ? QStringLiteral(" ") + QString::fromLatin1(kOnlyMediaFilesText)
                              : QString()));
      break;
    case CatalogueResult::RecordListNotFound:
      if (withUnlisted) {
        populateList();
        setStatus(QStringLiteral("_RECORD_LIST_ was not found. ") +
                  QString::fromLatin1(kOnlyMediaFilesText));
        break;
      }
      showMessage(QStringLiteral("Cannot locate _RECORD_LIST_ email me, ") +
                  QString::fromLatin1(kSupportContact) + QStringLiteral(", exiting program."));
      closing_ = true;
      endProgram(1);
      break;
    case CatalogueResult::NotRecognised:
    case CatalogueResult::Stopped:
      break;
  }
}

void MainWindow::onRecognised() {
  listed_ = true;
  readListButton->setEnabled(false);
  for (QWidget* w : {static_cast<QWidget*>(destinationButton),
                     static_cast<QWidget*>(destinationLabel), static_cast<QWidget*>(driveEdit),
                     static_cast<QWidget*>(driveLabel), static_cast<QWidget*>(findDiskButton)}) {
    w->hide();
  }
  const int64_t size = catalogue_.geometry.driveSize;
  diskLabel->setText(QStringLiteral("Disk: ") + FromUtf8(catalogue_.path) +
                     (size > 0
                          ? QStringLiteral(" (") + FromUtf8(SizeText(size)) + QStringLiteral(")")
                          : QString()) +
                     QStringLiteral(". Copies go to: ") + destinationFolder());
  diskLabel->show();
  setStatus(QString::fromLatin1(kCheckItemsText));
  setCopyEnabled(false);
}

void MainWindow::populateList() {
  const QSignalBlocker blocker(recordingList);
  syncingRows_ = true;
  for (size_t i = 0; i < recordings_.size(); ++i) {
    const Recording& row = recordings_[i];
    auto* item = new QTreeWidgetItem(recordingList);
    const QString problems = problemsText(static_cast<int>(i));
    for (int column : {kColumnName, kColumnSize, kColumnStatus}) item->setToolTip(column, problems);
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
  for (int column : {kColumnSize, kColumnStatus}) recordingList->resizeColumnToContents(column);
  recordingList->setColumnWidth(kColumnName, std::max(recordingList->viewport()->width() -
                                                          recordingList->columnWidth(kColumnSize) -
                                                          recordingList->columnWidth(kColumnStatus),
                                                      recordingList->viewport()->width() / 2));
  syncingRows_ = false;
}

void MainWindow::setStatus(const QString& text) {
  statusLabel->setText(text);
  statusLabel->setToolTip(text);
}

QString MainWindow::rowTip(int row) const {
  QString tip = problemsText(row);
  if (row >= 0 && row < static_cast<int>(rowReasons_.size()) &&
      !rowReasons_[static_cast<size_t>(row)].isEmpty()) {
    tip = QStringLiteral("Not copied: ") + rowReasons_[static_cast<size_t>(row)] +
          (tip.isEmpty() ? QString() : QStringLiteral("\n\n") + tip);
  }
  return tip;
}

void MainWindow::fillDiskMenu() {
  QMenu* menu = findDiskButton->menu();
  menu->clear();
  const std::vector<DiskCandidate> disks = findAttachedDisks();
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
  // The batch reads the tick from the rows when it reaches the row, so a tick made during a
  // batch takes effect there.
  recording.ticked = ticked;
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
  copyButton->setEnabled(enabled);
}

void MainWindow::onRowClicked(QTreeWidgetItem* item) {
  const int row = rowOf(item);
  if (row >= 0) showRow(row);
}

// ---- Copying ---------------------------------------------------------------------------------

void MainWindow::copyTicked() {
  if (!copyEnabled_ || copying_ || closing_) return;
  batchProgress->setValue(0);
  batchProgress->show();
  counters_.totalBytes = selection_.bytes;
  counters_.copiedBytes = 0;
  setCopyEnabled(false);
  copying_ = true;
  struct CopyingDone {
    bool& flag;
    ~CopyingDone() { flag = false; }
  } done{copying_};
  if (!processPendingEvents()) return;

  setStatus(QStringLiteral("Start time: ") + TimeOfDay() + QStringLiteral(" Bytes: ") +
            QString::number(selection_.bytes));
  CopyTickedRecordings();
  if (closing_) return;  // the window is gone; nothing more to show
  RecountSelection();
  setStatus(statusLabel->text().trimmed() + QStringLiteral(" - End time: ") + TimeOfDay());
  copying_ = false;
  setCopyEnabled(selection_.bytes > 0);
}

void MainWindow::CopyTickedRecordings() {
  CopyJob job;
  job.driveText = ToUtf8(driveEdit->text());
  job.destinationFolder = ToUtf8(destinationFolder());
  job.geometry = &geometry_;
  job.rescue = rescueBox->isChecked();
  rescuing_ = job.rescue;
  job.writeNfo = nfoBox->isChecked();
  job.openDisk = openDisk;
  CopyObserverAdapter yield(*this);
  // Every row's outcome has reached the window through the adapter as it ended.
  (void)skelbrook::CopyTickedRecordings(recordings_, job, counters_, yield);
}

void MainWindow::RecountSelection() {
  selection_ = CountTicked(recordings_);
}

void MainWindow::onRowStarted(int row, int pass) {
  QTreeWidgetItem* item = recordingList->topLevelItem(row);
  if (!item) return;
  // The recording's bar says which pass of a rescue runs: first everything that reads, for every
  // ticked recording; then, recording by recording, what would not read, sector by sector.
  if (!rescuing_) {
    recordingProgress->setFormat(QStringLiteral("%p%"));
  } else if (pass == 2) {
    recordingProgress->setFormat(QStringLiteral("Retrying what would not read: %p%"));
  } else {
    recordingProgress->setFormat(QStringLiteral("Copying what reads: %p%"));
  }
  {
    const QSignalBlocker blocker(recordingList);
    item->setIcon(kColumnName, rowIcons->Icon(QString::fromLatin1(kIconDownloading)));
    item->setData(kColumnName, kIconKeyRole, QString::fromLatin1(kIconDownloading));
  }
  recordingList->setCurrentItem(item);
  recordingList->scrollToItem(item);
  showRow(row);
}

void MainWindow::onRowFinished(int row, const CopyOutcome& outcome) {
  QTreeWidgetItem* item = recordingList->topLevelItem(row);
  const Recording* model = recordingAt(row);
  if (!item || model == nullptr) return;
  {
    // The batch's own unticks are not the user's: they raise no tick event, and the recount at
    // the end of the batch sets the totals.
    const QSignalBlocker blocker(recordingList);
    item->setCheckState(kColumnName, model->ticked ? Qt::Checked : Qt::Unchecked);
    item->setIcon(kColumnName, rowIcons->Icon(FromUtf8(model->icon)));
    item->setData(kColumnName, kIconKeyRole, FromUtf8(model->icon));
  }
  if (static_cast<size_t>(row) < rowReasons_.size()) {
    rowReasons_[static_cast<size_t>(row)] =
        outcome.status == CopyStatus::Failed ? FromUtf8(outcome.reason) : QString();
  }
  for (int column : {kColumnName, kColumnSize, kColumnStatus})
    item->setToolTip(column, rowTip(row));
  if (recordingList->currentItem() == item) showRow(row);
  recordingList->viewport()->update();
  if (outcome.status != CopyStatus::Failed) return;
  if (outcome.alreadyExists) {
    setStatus(QString::fromLatin1(kExistsMessage));
  } else {
    const QString file = FromUtf8(model->fileStem) + QStringLiteral(".ts");
    // A rescued copy keeps its name; the reason says how many bytes could not be read.
    const QString what =
        outcome.unreadableBytes > 0 ? QStringLiteral(": ") : QStringLiteral(" was not copied: ");
    setStatus(QStringLiteral("Errors! ") + file + what + FromUtf8(outcome.reason));
  }
}

void MainWindow::onRecordingProgress(double percent) {
  recordingProgress->setValue(BarValue(percent));
  recordingProgress->show();
}

void MainWindow::onBatchProgress(double percent) {
  batchProgress->setValue(BarValue(percent));
  batchProgress->show();
}

}  // namespace skelbrook::window
