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

#include "device/file_system.h"
#include "settings/ini.h"
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
class frmTest::Yield : public BatchObserver {
 public:
  explicit Yield(frmTest& form) : form_(form) {}
  bool pump() override { return form_.Pump(); }
  void taskProgress(double percent) override { form_.OnTaskProgress(percent); }
  void batchProgress(double percent) override { form_.OnBatchProgress(percent); }
  void rowStarted(int row, int pass) override { form_.OnRowStarted(row, pass); }
  void rowFinished(int row, const CopyOutcome& outcome) override {
    form_.OnRowFinished(row, outcome);
  }

 private:
  frmTest& form_;
};

// Reading the list: yields, and the moment the drive is recognised.
class frmTest::ReadYield : public CatalogueObserver {
 public:
  explicit ReadYield(frmTest& form) : form_(form) {}
  bool pump() override { return form_.Pump(); }
  void recognised() override { form_.OnRecognised(); }

 private:
  frmTest& form_;
};

frmTest::frmTest(const QString& homeFolder, QWidget* parent)
    : QWidget(parent), homeFolder_(QDir::toNativeSeparators(homeFolder)) {
  BrowseForFolder = [](QWidget* owner, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, title, start);
  };
  FindAttachedDisks = [] { return FindDisks(); };
  ShowMessage = [this](const QString& text) {
    QMessageBox box(QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok, this);
    box.exec();
  };
  EndProgram = [this](int exitCode) {
    closing_ = true;
    hide();
    QCoreApplication::exit(exitCode);
  };

  BuildControls();
  Form_Initialize();
}

frmTest::~frmTest() {
  THeEnd();
}

void frmTest::BuildControls() {
  setObjectName(QStringLiteral("frmTest"));
  setWindowTitle(QString::fromLatin1(kWindowCaption));

  ImageList1 = new ImageList(this);

  ProgView = new QTreeWidget(this);
  ProgView->setObjectName(QStringLiteral("ProgView"));
  ProgView->setColumnCount(3);
  ProgView->setHeaderLabels(
      {QStringLiteral("Programme name"), QStringLiteral("File size"), QStringLiteral("Status")});
  ProgView->setRootIsDecorated(false);
  ProgView->setUniformRowHeights(true);
  ProgView->setAlternatingRowColors(true);
  ProgView->setSelectionMode(QAbstractItemView::SingleSelection);
  ProgView->setAllColumnsShowFocus(true);
  // The user may resize every column; FillProgView gives them widths to start with.
  ProgView->header()->setStretchLastSection(true);
  ProgView->header()->setSectionResizeMode(QHeaderView::Interactive);
  connect(ProgView, &QTreeWidget::itemChanged, this, &frmTest::OnItemChanged);
  connect(ProgView, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* item, int) { ProgView_ItemClick(item); });
  // The details box follows the current row, however it moves (the arrow keys as well).
  connect(ProgView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (const int row = RowOf(item); row >= 1 && !syncingRows_) ShowRow(row);
  });

  Text3 = new QPlainTextEdit(this);
  Text3->setObjectName(QStringLiteral("Text3"));
  Text3->setReadOnly(true);
  Text3->setFixedHeight(Text3->fontMetrics().lineSpacing() * kDetailsLines + 12);

  Frame1 = new QFrame(this);
  Frame1->setObjectName(QStringLiteral("Frame1"));
  Frame1->setFrameShape(QFrame::StyledPanel);

  Label1 = new QLabel(Frame1);
  Label1->setObjectName(QStringLiteral("Label1"));
#ifdef _WIN32
  Label1->setText(QStringLiteral("\\\\.\\PhysicalDrive"));
#else
  Label1->setText(QStringLiteral("Drive number, or device or image path:"));
#endif

  Text2 = new QLineEdit(Frame1);
  Text2->setObjectName(QStringLiteral("Text2"));
#ifdef _WIN32
  Text2->setMaximumWidth(Text2->fontMetrics().horizontalAdvance(QStringLiteral("0000000")));
#else
  // Wide enough for an image's path.
  Text2->setMinimumWidth(
      Text2->fontMetrics().horizontalAdvance(QStringLiteral("/home/user/recorder-disk.img0000")));
#endif
  connect(Text2, &QLineEdit::returnPressed, this, [this] { Command1_Click(); });

  // The disks attached to the computer, those that read like a 9200T disk marked.
  cmdFindDisk = new QToolButton(Frame1);
  cmdFindDisk->setObjectName(QStringLiteral("cmdFindDisk"));
  cmdFindDisk->setText(QStringLiteral("Find disk"));
  cmdFindDisk->setPopupMode(QToolButton::InstantPopup);
  auto* diskMenu = new QMenu(cmdFindDisk);
  diskMenu->setObjectName(QStringLiteral("mnuFindDisk"));
  cmdFindDisk->setMenu(diskMenu);
  connect(diskMenu, &QMenu::aboutToShow, this, [this] { FillDiskMenu(); });

  // Once a list is read: which disk, and where the copies go.
  lblDisk = new QLabel(Frame1);
  lblDisk->setObjectName(QStringLiteral("lblDisk"));
  lblDisk->setWordWrap(true);
  lblDisk->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  lblDisk->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblDisk->hide();
  // The device the text stands for, so that the user sees what will be opened.
  connect(Text2, &QLineEdit::textChanged, this, [this](const QString& text) {
    Text2->setToolTip(FromUtf8(ResolveDrivePath(ToUtf8(text))));
  });

  Command4 = new QPushButton(QStringLiteral("Destination folder"), Frame1);
  Command4->setObjectName(QStringLiteral("Command4"));
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });

  Label3 = new QLabel(Frame1);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Label3->setTextInteractionFlags(Qt::TextSelectableByMouse);

  pbTaskProgress = new QProgressBar(Frame1);
  pbTaskProgress->setObjectName(QStringLiteral("pbTaskProgress"));
  pbTaskProgress1 = new QProgressBar(Frame1);
  pbTaskProgress1->setObjectName(QStringLiteral("pbTaskProgress1"));
  for (QProgressBar* bar : {pbTaskProgress, pbTaskProgress1}) {
    bar->setRange(0, kProgressMax);
    bar->setValue(0);
    bar->hide();
  }
  pbTaskProgress->setFormat(QStringLiteral("This recording: %p%"));
  pbTaskProgress1->setFormat(QStringLiteral("All ticked recordings: %p%"));

  Label2 = new QLabel(Frame1);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setAlignment(Qt::AlignCenter);
  // A long message wraps onto more lines rather than being cut off at both ends.
  Label2->setWordWrap(true);
  Label2->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  Label2->setMinimumHeight(Label2->fontMetrics().lineSpacing() + 8);

  Command1 = new QPushButton(QStringLiteral("Read filelist from 9200T"), Frame1);
  Command1->setObjectName(QStringLiteral("Command1"));
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  Command2 = new QPushButton(QStringLiteral("Copy files to PC"), Frame1);
  Command2->setObjectName(QStringLiteral("Command2"));
  Command2->setEnabled(false);
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  Command3 = new QPushButton(QStringLiteral("Exit"), Frame1);
  Command3->setObjectName(QStringLiteral("Command3"));
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  // For failing disks: unreadable sectors become zeros instead of failing the whole recording.
  chkRescue = new QCheckBox(QStringLiteral("Rescue unreadable sectors"), Frame1);
  chkRescue->setObjectName(QStringLiteral("chkRescue"));
  chkRescue->setToolTip(QStringLiteral(
      "Copy what reads first, then go back for what did not, sector by sector. Sectors that "
      "still fail are zeros in <name>.incomplete.ts, mapped in <name>.incomplete.ts.map; copy "
      "again with this ticked to retry only them."));

  // For the media library: the guide text, channel and times beside each copy.
  chkNfo = new QCheckBox(QStringLiteral("Write guide information beside each copy (.nfo)"), Frame1);
  chkNfo->setObjectName(QStringLiteral("chkNfo"));
  connect(chkNfo, &QCheckBox::toggled, this, [this](bool on) {
    (void)INIwrite(ToUtf8(SettingsPath()), kSettingsSection, kKeyWriteNfo, on ? "1" : "0");
  });
  // Recordings whose records the catalogue lost still have their media files.
  chkUnlisted = new QCheckBox(QStringLiteral("Show recordings missing from the catalogue"), Frame1);
  chkUnlisted->setObjectName(QStringLiteral("chkUnlisted"));
  chkUnlisted->setToolTip(QStringLiteral(
      "After the listed recordings, list every media file no record names, as NNN_unlisted.ts; "
      "also when the catalogue _RECORD_LIST_ is missing."));

  // The frame: the progress bars where the drive/folder row is (that row goes once a list is
  // read), the status line, the buttons.
  auto* driveRow = new QHBoxLayout;
  driveRow->addWidget(Label1);
  driveRow->addWidget(Text2);
  driveRow->addWidget(cmdFindDisk);
  driveRow->addWidget(Command4);
  driveRow->addWidget(Label3, 1);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(Command1);
  buttonRow->addWidget(Command2);
  buttonRow->addWidget(Command3);
  buttonRow->addStretch(1);
  auto* optionRow = new QHBoxLayout;
  optionRow->addWidget(chkUnlisted);
  optionRow->addStretch(1);
  optionRow->addWidget(chkNfo);
  optionRow->addWidget(chkRescue);
  auto* frameLayout = new QVBoxLayout(Frame1);
  frameLayout->addWidget(pbTaskProgress);
  frameLayout->addWidget(pbTaskProgress1);
  frameLayout->addLayout(driveRow);
  frameLayout->addWidget(lblDisk);
  frameLayout->addWidget(Label2);
  frameLayout->addLayout(buttonRow);
  frameLayout->addLayout(optionRow);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ProgView, 1);
  layout->addWidget(Text3);
  layout->addWidget(Frame1);

  resize(860, 560);
}

// ---- Start-up and shut-down ------------------------------------------------------------------

void frmTest::Form_Initialize() {
  SetCopyEnabled(false);
  GetINIData();
  const QString listPath = ListFilePath();
  ListFile.open(PathFromUtf8(ToUtf8(listPath)), std::ios::out | std::ios::trunc | std::ios::binary);
  if (!ListFile.is_open()) {
    startupStatus_ =
        Status::Error("Cannot create " + ToUtf8(listPath) + ": the folder must be writable.");
  }
}

QString frmTest::FolderPath(const char* fileName) const {
  QString path = homeFolder_;
  if (!path.endsWith(Separator())) path += Separator();
  return path + QString::fromLatin1(fileName);
}

QString frmTest::SettingsPath() const {
  return FolderPath(kSettingsFileName);
}
QString frmTest::ListFilePath() const {
  return FolderPath(kListFileName);
}
QString frmTest::DestinationFolder() const {
  return Label3->text();
}

void frmTest::SetDestination(const QString& folder) {
  Label3->setText(folder);
  // The whole path (the label may be too narrow for it) and what the folder's file system is.
  Label3->setToolTip(folder + QLatin1Char('\n') +
                     FromUtf8(DescribeVolume(QueryVolume(ToUtf8(folder)))));
}

void frmTest::GetINIData() {
  const std::string path = ToUtf8(SettingsPath());
  if (Exists(SettingsPath())) {
    SetDestination(FromUtf8(INIread(path, kSettingsSection, kKeySaveTo)));
    Text2->setText(FromUtf8(INIread(path, kSettingsSection, kKeyPhysicalDrive)));
    const QSignalBlocker quiet(chkNfo);
    chkNfo->setChecked(INIread(path, kSettingsSection, kKeyWriteNfo) == "1");
    return;
  }
  QString folder = homeFolder_;
  if (!folder.endsWith(Separator())) folder += Separator();
  SetDestination(folder);
  Text2->setText(QString::fromLatin1(kDefaultDrive));
  // A settings file that cannot be written is not fatal: the values are in the window, and
  // the next read of a drive tries to store them again.
  (void)INIwrite(path, kSettingsSection, kKeySaveTo, ToUtf8(Label3->text()));
  (void)INIwrite(path, kSettingsSection, kKeyPhysicalDrive, ToUtf8(Text2->text()));
}

bool frmTest::Exists(const QString& FE) const {
  const std::optional<int64_t> length = FileLength(ToUtf8(FE));
  return length && *length > 0;
}

bool frmTest::TestFolderHere() {
  const QString probe = DestinationFolder() + QString::fromLatin1(kProbeFileName);
  const std::string path = ToUtf8(probe);
  if (!Exists(probe)) {
    std::ofstream create(PathFromUtf8(path), std::ios::out | std::ios::trunc | std::ios::binary);
    if (!create.is_open()) return false;
    create.close();
    if (create.fail()) return false;
  }
  return RemoveFile(path).ok();
}

void frmTest::THeEnd() {
  // The drive and the copy's file are released by the core as it stops at its next yield.
  if (ListFile.is_open()) ListFile.close();
}

void frmTest::Command3_Click() {
  THeEnd();
  closing_ = true;
  close();
  EndProgram(0);
}

void frmTest::Form_QueryUnload() {
  closing_ = true;
  THeEnd();
}

void frmTest::closeEvent(QCloseEvent* event) {
  // The close is never refused; work in progress stops at its next yield.
  Form_QueryUnload();
  event->accept();
}

void frmTest::Command4_Click() {
  const QString chosen =
      BrowseForFolder(this, QString::fromLatin1(kFolderTitle), DestinationFolder());
  if (chosen.isEmpty()) return;
  QString folder = QDir::toNativeSeparators(chosen);
  if (!folder.endsWith(Separator())) folder += Separator();
  SetDestination(folder);
}

bool frmTest::Pump() {
  if (closing_) return false;
  QCoreApplication::processEvents();
  return !closing_;
}

// ---- Reading the list ------------------------------------------------------------------------

void frmTest::Command1_Click() {
  // One list per run: after a recognised drive the button stays off for good.
  if (reading_ || listed_ || closing_) return;
  reading_ = true;
  struct ReadingDone {
    bool& flag;
    ~ReadingDone() { flag = false; }
  } done{reading_};

  if (!TestFolderHere()) {
    SetStatus(QString::fromLatin1(kCheckFolderText));
    return;
  }
  SetStatus(QString::fromLatin1(kReadingText));
  if (!Pump()) return;

  // The settings are stored before the drive is read, whether or not it is then recognised.
  const std::string settings = ToUtf8(SettingsPath());
  if (INIwrite(settings, kSettingsSection, kKeySaveTo, ToUtf8(DestinationFolder())).ok()) {
    (void)INIwrite(settings, kSettingsSection, kKeyPhysicalDrive, ToUtf8(Text2->text()));
  }

  catalogue_ = Catalogue{};
  ReadYield yield(*this);
  const bool withUnlisted = chkUnlisted->isChecked();
  const CatalogueResult result =
      ReadCatalogue(ToUtf8(Text2->text()), OpenDisk, catalogue_,
                    ListFile.is_open() ? &ListFile : nullptr, yield, withUnlisted);
  if (result == CatalogueResult::NotRecognised) {
    SetStatus(QString::fromLatin1(kUnknownDriveText) + QStringLiteral(" (") +
              FromUtf8(catalogue_.rejection) + QStringLiteral(")"));
    return;
  }
  if (ListFile.is_open()) ListFile.close();
  switch (result) {
    case CatalogueResult::Listed:
      FillProgView();
      if (rows_.rows.empty()) {
        SetStatus(QString::fromLatin1(kCheckItemsText) + QStringLiteral(" ") +
                  QString::fromLatin1(kNoRecordingsText));
      }
      if (ReadInPart(catalogue_.account)) {
        const auto areas = catalogue_.account.unreadable.size();
        SetStatus(
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
      if (withUnlisted) FillProgView();
      SetStatus(FromUtf8(catalogue_.account.failure) +
                (withUnlisted ? QStringLiteral(" ") + QString::fromLatin1(kOnlyMediaFilesText)
                              : QString()));
      break;
    case CatalogueResult::RecordListNotFound:
      if (withUnlisted) {
        FillProgView();
        SetStatus(QStringLiteral("_RECORD_LIST_ was not found. ") +
                  QString::fromLatin1(kOnlyMediaFilesText));
        break;
      }
      ShowMessage(QStringLiteral("Cannot locate _RECORD_LIST_ email me, ") +
                  QString::fromLatin1(kSupportContact) + QStringLiteral(", exiting program."));
      closing_ = true;
      EndProgram(1);
      break;
    case CatalogueResult::NotRecognised:
    case CatalogueResult::Stopped:
      break;
  }
}

void frmTest::OnRecognised() {
  listed_ = true;
  Command1->setEnabled(false);
  for (QWidget* w : {static_cast<QWidget*>(Command4), static_cast<QWidget*>(Label3),
                     static_cast<QWidget*>(Text2), static_cast<QWidget*>(Label1),
                     static_cast<QWidget*>(cmdFindDisk)}) {
    w->hide();
  }
  const int64_t size = catalogue_.geometry.DriveSize;
  lblDisk->setText(QStringLiteral("Disk: ") + FromUtf8(catalogue_.path) +
                   (size > 0 ? QStringLiteral(" (") + FromUtf8(SizeText(size)) + QStringLiteral(")")
                             : QString()) +
                   QStringLiteral(". Copies go to: ") + DestinationFolder());
  lblDisk->show();
  SetStatus(QString::fromLatin1(kCheckItemsText));
  SetCopyEnabled(false);
}

void frmTest::FillProgView() {
  const QSignalBlocker blocker(ProgView);
  syncingRows_ = true;
  int number = 0;
  for (const RecordingRow& row : rows_.rows) {
    auto* item = new QTreeWidgetItem(ProgView);
    const QString problems = ProblemsText(++number);
    for (int column : {kColumnName, kColumnSize, kColumnStatus}) item->setToolTip(column, problems);
    item->setText(kColumnName, FromUtf8(row.text));
    item->setText(kColumnSize, FromUtf8(row.sizeText));
    item->setText(kColumnStatus, FromUtf8(row.channelTime));
    item->setTextAlignment(kColumnSize, Qt::AlignRight | Qt::AlignVCenter);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(kColumnName, row.ticked ? Qt::Checked : Qt::Unchecked);
    item->setIcon(kColumnName, ImageList1->Icon(FromUtf8(row.icon)));
    item->setData(kColumnName, kIconKeyRole, FromUtf8(row.icon));
    if (!problems.isEmpty())
      item->setIcon(kColumnStatus, style()->standardIcon(QStyle::SP_MessageBoxWarning));
  }
  rowReasons_.assign(rows_.rows.size(), QString());
  for (int column : {kColumnSize, kColumnStatus}) ProgView->resizeColumnToContents(column);
  ProgView->setColumnWidth(
      kColumnName, std::max(ProgView->viewport()->width() - ProgView->columnWidth(kColumnSize) -
                                ProgView->columnWidth(kColumnStatus),
                            ProgView->viewport()->width() / 2));
  syncingRows_ = false;
}

void frmTest::SetStatus(const QString& text) {
  Label2->setText(text);
  Label2->setToolTip(text);
}

QString frmTest::RowTip(int row) const {
  QString tip = ProblemsText(row);
  if (row >= 1 && row <= static_cast<int>(rowReasons_.size()) &&
      !rowReasons_[static_cast<size_t>(row) - 1].isEmpty()) {
    tip = QStringLiteral("Not copied: ") + rowReasons_[static_cast<size_t>(row) - 1] +
          (tip.isEmpty() ? QString() : QStringLiteral("\n\n") + tip);
  }
  return tip;
}

void frmTest::FillDiskMenu() {
  QMenu* menu = cmdFindDisk->menu();
  menu->clear();
  const std::vector<DiskCandidate> disks = FindAttachedDisks();
  if (disks.empty()) menu->addAction(QStringLiteral("No disks found"))->setEnabled(false);
  for (const DiskCandidate& disk : disks) {
    QAction* action = menu->addAction(FromUtf8(DescribeCandidate(disk)));
    const QString path = FromUtf8(disk.path);
    if (disk.recorderDisk) {
      QFont bold = action->font();
      bold.setBold(true);
      action->setFont(bold);
    }
    connect(action, &QAction::triggered, this, [this, path] { Text2->setText(path); });
  }
}

// ---- Ticking and clicking --------------------------------------------------------------------

int frmTest::RowOf(QTreeWidgetItem* item) const {
  return item ? ProgView->indexOfTopLevelItem(item) + 1 : 0;
}

int frmTest::SlotOfRow(int row) const {
  if (row < 1 || row >= static_cast<int>(table_.RowSlot.size())) return -1;
  const int slot = table_.RowSlot[row];
  return slot >= 0 && slot < kSlotCount ? slot : -1;
}

QString frmTest::RowIconKey(int row) const {
  QTreeWidgetItem* item = ProgView->topLevelItem(row - 1);
  return item ? item->data(kColumnName, kIconKeyRole).toString() : QString();
}

QString frmTest::ProblemsText(int row) const {
  const int slot = SlotOfRow(row);
  if (slot < 0 || table_.ProgProblems[slot].empty()) return {};
  QString text = QStringLiteral("Read in part:");
  for (const std::string& problem : table_.ProgProblems[slot])
    text += QStringLiteral("\n- ") + FromUtf8(problem);
  return text;
}

void frmTest::ShowRow(int row) {
  const int slot = SlotOfRow(row);
  QString text = slot >= 0 ? FromUtf8(table_.ProgEPGText[slot]) : QString();
  if (const QString tip = RowTip(row); !tip.isEmpty()) text += QStringLiteral("\n\n") + tip;
  Text3->setPlainText(text);
}

void frmTest::OnItemChanged(QTreeWidgetItem* item, int column) {
  if (syncingRows_ || column != kColumnName) return;
  const int row = RowOf(item);
  if (row < 1 || row > static_cast<int>(rows_.rows.size())) return;
  const bool ticked = item->checkState(kColumnName) == Qt::Checked;
  if (rows_.rows[row - 1].ticked == ticked) return;  // some other change of the row
  // The batch reads the tick from the rows when it reaches the row, so a tick made during a
  // batch takes effect there.
  rows_.rows[row - 1].ticked = ticked;
  ProgView_ItemCheck(item);
}

void frmTest::ProgView_ItemCheck(QTreeWidgetItem* Item) {
  const int row = RowOf(Item);
  if (row < 1) return;
  ProgView->setCurrentItem(Item);
  ShowRow(row);
  const int slot = SlotOfRow(row);
  const int64_t size = slot >= 0 ? table_.ProgFileSize[slot] : 0;
  if (Item->checkState(kColumnName) == Qt::Checked) {
    selection_.SelectedBytes += size;
    selection_.SelectedCount += 1;
  } else {
    selection_.SelectedBytes -= size;
    selection_.SelectedCount -= 1;
  }
  ShowSelection();
}

void frmTest::ShowSelection() {
  const int count = selection_.SelectedCount;
  if (count == 0) {
    SetStatus(QString::fromLatin1(kCheckItemsText));
    SetCopyEnabled(false);
    return;
  }
  const QString words = count == 1 ? QStringLiteral(" file selected totaling ")
                                   : QStringLiteral(" files selected totaling ");
  SetStatus(QString::number(count) + words + QString::number(selection_.SelectedBytes) +
            QStringLiteral(" bytes."));
  if (!CopyEnabled_) SetCopyEnabled(true);
}

void frmTest::SetCopyEnabled(bool enabled) {
  // No batch inside a batch: while one runs, the button stays off and the batch's end decides.
  if (copying_) enabled = false;
  CopyEnabled_ = enabled;
  Command2->setEnabled(enabled);
}

void frmTest::ProgView_ItemClick(QTreeWidgetItem* Item) {
  const int row = RowOf(Item);
  if (row >= 1) ShowRow(row);
}

// ---- Copying ---------------------------------------------------------------------------------

void frmTest::Command2_Click() {
  if (!CopyEnabled_ || copying_ || closing_) return;
  pbTaskProgress1->setValue(0);
  pbTaskProgress1->show();
  counters_.BatchBytesTotal = selection_.SelectedBytes;
  counters_.BatchBytesCopied = 0;
  SetCopyEnabled(false);
  copying_ = true;
  struct CopyingDone {
    bool& flag;
    ~CopyingDone() { flag = false; }
  } done{copying_};
  if (!Pump()) return;

  SetStatus(QStringLiteral("Start time: ") + TimeOfDay() + QStringLiteral(" Bytes: ") +
            QString::number(selection_.SelectedBytes));
  CopyTickedRecordings();
  if (closing_) return;  // the window is gone; nothing more to show
  RecountSelection();
  SetStatus(Label2->text().trimmed() + QStringLiteral(" - End time: ") + TimeOfDay());
  copying_ = false;
  SetCopyEnabled(selection_.SelectedBytes > 0);
}

void frmTest::CopyTickedRecordings() {
  CopyJob job;
  job.driveText = ToUtf8(Text2->text());
  job.destinationFolder = ToUtf8(DestinationFolder());
  job.geometry = &geometry_;
  job.table = &table_;
  job.rescue = chkRescue->isChecked();
  rescuing_ = job.rescue;
  job.writeNfo = chkNfo->isChecked();
  job.openDisk = OpenDisk;
  Yield yield(*this);
  (void)skelbrook::CopyTickedRecordings(rows_, job, counters_, yield);
}

void frmTest::RecountSelection() {
  skelbrook::RecountSelection(rows_, table_, selection_);
}

void frmTest::OnRowStarted(int row, int pass) {
  QTreeWidgetItem* item = ProgView->topLevelItem(row - 1);
  if (!item) return;
  // The recording's bar says which pass of a rescue runs: first everything that reads, for every
  // ticked recording; then, recording by recording, what would not read, sector by sector.
  if (!rescuing_) {
    pbTaskProgress->setFormat(QStringLiteral("%p%"));
  } else if (pass == 2) {
    pbTaskProgress->setFormat(QStringLiteral("Retrying what would not read: %p%"));
  } else {
    pbTaskProgress->setFormat(QStringLiteral("Copying what reads: %p%"));
  }
  {
    const QSignalBlocker blocker(ProgView);
    item->setIcon(kColumnName, ImageList1->Icon(QString::fromLatin1(kIconDownloading)));
    item->setData(kColumnName, kIconKeyRole, QString::fromLatin1(kIconDownloading));
  }
  ProgView->setCurrentItem(item);
  ProgView->scrollToItem(item);
  ShowRow(row);
}

void frmTest::OnRowFinished(int row, const CopyOutcome& outcome) {
  QTreeWidgetItem* item = ProgView->topLevelItem(row - 1);
  if (!item || row > static_cast<int>(rows_.rows.size())) return;
  const RecordingRow& model = rows_.rows[row - 1];
  {
    // The batch's own unticks are not the user's: they raise no tick event, and the recount at
    // the end of the batch sets the totals.
    const QSignalBlocker blocker(ProgView);
    item->setCheckState(kColumnName, model.ticked ? Qt::Checked : Qt::Unchecked);
    item->setIcon(kColumnName, ImageList1->Icon(FromUtf8(model.icon)));
    item->setData(kColumnName, kIconKeyRole, FromUtf8(model.icon));
  }
  if (static_cast<size_t>(row) <= rowReasons_.size()) {
    rowReasons_[static_cast<size_t>(row) - 1] =
        outcome.status == CopyStatus::Failed ? FromUtf8(outcome.reason) : QString();
  }
  for (int column : {kColumnName, kColumnSize, kColumnStatus})
    item->setToolTip(column, RowTip(row));
  if (ProgView->currentItem() == item) ShowRow(row);
  ProgView->viewport()->update();
  if (outcome.status != CopyStatus::Failed) return;
  if (outcome.alreadyExists) {
    SetStatus(QString::fromLatin1(kExistsMessage));
  } else {
    const int slot = SlotOfRow(row);
    const QString file = slot >= 0 ? FromUtf8(table_.ProgFileName[slot]) + QStringLiteral(".ts")
                                   : QFileInfo(FromUtf8(outcome.path)).fileName();
    // A rescued copy keeps its name; the reason says how many bytes could not be read.
    const QString what =
        outcome.unreadableBytes > 0 ? QStringLiteral(": ") : QStringLiteral(" was not copied: ");
    SetStatus(QStringLiteral("Errors! ") + file + what + FromUtf8(outcome.reason));
  }
}

void frmTest::OnTaskProgress(double percent) {
  pbTaskProgress->setValue(BarValue(percent));
  pbTaskProgress->show();
}

void frmTest::OnBatchProgress(double percent) {
  pbTaskProgress1->setValue(BarValue(percent));
  pbTaskProgress1->show();
}

}  // namespace skelbrook::window
