// The main window: building it, and turning the session's screen into widgets and the user's
// clicks and keys into the session's calls.
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
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "session/session_text.h"
#include "window/image_list.h"

namespace skelbrook::window {
namespace {

namespace text = session::text;

constexpr int kDetailsLines = 4;
// How often the window asks the session whether a read of the disk has waited long.
constexpr int kTickMilliseconds = 250;
// Where a row keeps its icon key and its list index.
constexpr int kIconKeyRole = Qt::UserRole + 1;
constexpr int kRowRole = Qt::UserRole + 2;

QString Q(const std::string& s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
QString Q(const char* s) {
  return QString::fromUtf8(s);
}
std::string U(const QString& s) {
  return s.toUtf8().toStdString();
}

void ShowBar(QProgressBar* bar, const session::Bar& b) {
  bar->setVisible(b.visible);
  bar->setValue(b.percent);
  bar->setFormat(Q(b.text));  // the session's words, the percent already in them
}

void ShowButton(QWidget* button, const session::Control& c) {
  button->setVisible(c.visible);
  button->setEnabled(c.enabled);
}

void ShowOption(QCheckBox* box, const session::Option& o) {
  const QSignalBlocker quiet(box);
  box->setVisible(o.visible);
  box->setEnabled(o.enabled);
  box->setChecked(o.checked);
}

void SetText(QLabel* label, const std::string& text, const std::string& tip) {
  label->setText(Q(text));
  label->setToolTip(Q(tip));
}

}  // namespace

MainWindow::MainWindow(const QString& homeFolder, const QString& firstDestination, QWidget* parent)
    : QWidget(parent) {
  browseForFolder = [](QWidget* owner, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, title, start);
  };
  showMessage = [this](const QString& message) {
    QMessageBox box(QMessageBox::Critical, windowTitle(), message, QMessageBox::Ok, this);
    box.exec();
  };
  askYesNo = [this](const QString& question) {
    // No is the default: a stray Enter never ends a copy.
    return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
  };
  endProgram = [](int exitCode) { QCoreApplication::exit(exitCode); };

  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(Q(text::kCaption));
  rowIcons = new ImageList(this);
  buildSearchRow();
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

  session::Seams seams;
  seams.recordListHelp = SKELBROOK_RECORD_LIST_HELP;
  session_ = std::make_unique<session::Session>(
      *this,
      session::Places{U(QDir::toNativeSeparators(homeFolder)),
                      U(QDir::toNativeSeparators(firstDestination))},
      std::move(seams));
  tickTimer = new QTimer(this);
  tickTimer->setInterval(kTickMilliseconds);
  connect(tickTimer, &QTimer::timeout, this, [this] { session_->Tick(); });
  tickTimer->start();
}

MainWindow::~MainWindow() {
  session_.reset();
}

// ---- Building the window ----------------------------------------------------------------------

// Above the list: the search box and the buttons that tick what it shows.
void MainWindow::buildSearchRow() {
  searchEdit = new QLineEdit(this);
  searchEdit->setObjectName(QStringLiteral("searchEdit"));
  searchEdit->setPlaceholderText(Q(text::kSearchHint));
  searchEdit->setToolTip(Q(text::kSearchTip));
  searchEdit->setClearButtonEnabled(true);
  connect(searchEdit, &QLineEdit::textChanged, this, [this](const QString& typed) {
    if (!applying_) session_->SetSearch(U(typed));
  });
  auto* find = new QShortcut(QKeySequence::Find, this);
  connect(find, &QShortcut::activated, this, [this] {
    searchEdit->setFocus();
    searchEdit->selectAll();
  });
  auto* clear =
      new QShortcut(QKeySequence(Qt::Key_Escape), searchEdit, nullptr, nullptr, Qt::WidgetShortcut);
  connect(clear, &QShortcut::activated, searchEdit, &QLineEdit::clear);
  tickShownButton = new QPushButton(Q(text::kTickShownButton), this);
  tickShownButton->setObjectName(QStringLiteral("tickShownButton"));
  tickShownButton->setToolTip(Q(text::kTickShownTip));
  connect(tickShownButton, &QPushButton::clicked, this, [this] { session_->TickShown(); });
  untickAllButton = new QPushButton(Q(text::kUntickAllButton), this);
  untickAllButton->setObjectName(QStringLiteral("untickAllButton"));
  untickAllButton->setToolTip(Q(text::kUntickAllTip));
  connect(untickAllButton, &QPushButton::clicked, this, [this] { session_->UntickAll(); });
}

// The recordings list and the details box under it.
void MainWindow::buildList() {
  recordingList = new QTreeWidget(this);
  recordingList->setObjectName(QStringLiteral("recordingList"));
  recordingList->setColumnCount(3);
  recordingList->setHeaderLabels(
      {Q(text::kColumnName), Q(text::kColumnSize), Q(text::kColumnChannelAndTimes)});
  recordingList->setRootIsDecorated(false);
  recordingList->setUniformRowHeights(true);
  recordingList->setAlternatingRowColors(true);
  recordingList->setSelectionMode(QAbstractItemView::SingleSelection);
  recordingList->setAllColumnsShowFocus(true);
  // The user may resize every column; the first list gives them widths to start with.
  recordingList->header()->setStretchLastSection(true);
  recordingList->header()->setSectionResizeMode(QHeaderView::Interactive);
  // A column's title puts the list in its order; the session keeps the order, not the widget.
  recordingList->header()->setSectionsClickable(true);
  recordingList->header()->setToolTip(Q(text::kSortTip));
  connect(recordingList->header(), &QHeaderView::sectionClicked, this, [this](int column) {
    session_->SortBy(column == kColumnName   ? SortKey::Name
                     : column == kColumnSize ? SortKey::Size
                                             : SortKey::Start);
  });
  auto* tickShown =
      new QShortcut(QKeySequence::SelectAll, recordingList, nullptr, nullptr, Qt::WidgetShortcut);
  connect(tickShown, &QShortcut::activated, this, [this] { session_->TickShown(); });
  connect(recordingList, &QTreeWidget::itemChanged, this,
          [this](QTreeWidgetItem* item, int column) {
            const std::optional<size_t> row = rowOf(item);
            if (applying_ || column != kColumnName || !row) return;
            session_->TickRow(*row, item->checkState(kColumnName) == Qt::Checked);
          });
  // The details box follows the current row, however it moves (a click, the arrow keys).
  connect(recordingList, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
    if (const std::optional<size_t> row = rowOf(item); row && !applying_) session_->SelectRow(*row);
  });
  connect(recordingList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (const std::optional<size_t> row = rowOf(item); row && !applying_) session_->SelectRow(*row);
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
  driveEdit = new QLineEdit(controlPanel);
  driveEdit->setObjectName(QStringLiteral("driveEdit"));
  // Wide enough for an image's path.
  driveEdit->setMinimumWidth(driveEdit->fontMetrics().horizontalAdvance(
      QStringLiteral("/home/user/recorder-disk.img0000")));
  connect(driveEdit, &QLineEdit::textEdited, this,
          [this](const QString& typed) { session_->SetDriveText(U(typed)); });
  connect(driveEdit, &QLineEdit::returnPressed, this, [this] { session_->ReadList(); });

  // The disks attached to the computer, those that read like a 9200T disk marked.
  findDiskButton = new QToolButton(controlPanel);
  findDiskButton->setObjectName(QStringLiteral("findDiskButton"));
  findDiskButton->setText(Q(text::kFindDiskButton));
  findDiskButton->setPopupMode(QToolButton::InstantPopup);
  diskMenu = new QMenu(findDiskButton);
  diskMenu->setObjectName(QStringLiteral("findDiskMenu"));
  findDiskButton->setMenu(diskMenu);
  connect(diskMenu, &QMenu::aboutToShow, this, [this] {
    if (!reopeningDiskMenu_) session_->FindDisks();
  });

  diskLabel = new QLabel(controlPanel);
  diskLabel->setObjectName(QStringLiteral("diskLabel"));
  diskLabel->setWordWrap(true);
  diskLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  diskLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

  destinationButton = new QPushButton(Q(text::kDestinationButton), controlPanel);
  destinationButton->setObjectName(QStringLiteral("destinationButton"));
  connect(destinationButton, &QPushButton::clicked, this,
          [this] { session_->ChooseDestination(); });
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
    bar->setRange(0, 100);
    bar->hide();
  }
  statusLabel = new QLabel(controlPanel);
  statusLabel->setObjectName(QStringLiteral("statusLabel"));
  statusLabel->setAlignment(Qt::AlignCenter);
  // A long message wraps onto more lines rather than being cut off at both ends.
  statusLabel->setWordWrap(true);
  statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusLabel->setMinimumHeight(statusLabel->fontMetrics().lineSpacing() + 8);
}

void MainWindow::buildButtons() {
  const auto button = [this](const char* caption, const char* name, auto action) {
    auto* b = new QPushButton(Q(caption), controlPanel);
    b->setObjectName(QString::fromLatin1(name));
    connect(b, &QPushButton::clicked, this, [this, action] { (session_.get()->*action)(); });
    return b;
  };
  readListButton = button(text::kReadButton, "readListButton", &session::Session::ReadList);
  stopButton = button(text::kStopButton, "stopButton", &session::Session::Stop);
  stopButton->setToolTip(Q(text::kStopTip));
  copyButton = button(text::kCopyButton, "copyButton", &session::Session::Copy);
  exitButton = button(text::kExitButton, "exitButton", &session::Session::Exit);
}

void MainWindow::buildOptions() {
  const auto option = [this](const char* caption, const char* tip, const char* name,
                             session::OptionBox which) {
    auto* box = new QCheckBox(Q(caption), controlPanel);
    box->setObjectName(QString::fromLatin1(name));
    if (tip != nullptr) box->setToolTip(Q(tip));
    connect(box, &QCheckBox::toggled, this, [this, which](bool on) {
      if (!applying_) session_->SetOption(which, on);
    });
    return box;
  };
  rescueBox = option(text::kRescueBox, text::kRescueTip, "rescueBox", session::OptionBox::Rescue);
  nfoBox = option(text::kNfoBox, nullptr, "nfoBox", session::OptionBox::Nfo);
  splitBox = option(text::kSplitBox, text::kSplitTip, "splitBox", session::OptionBox::Split);
  unlistedBox =
      option(text::kUnlistedBox, text::kUnlistedTip, "unlistedBox", session::OptionBox::Unlisted);
  deepBox = option(text::kDeepBox, text::kDeepTip, "deepBox", session::OptionBox::Deep);
}

void MainWindow::layOutControls() {
  // The frame: the progress bars where the drive/folder row is (that row goes once a list is
  // read), the status line, the buttons, the options.
  auto* driveRow = new QHBoxLayout;
  for (QWidget* w :
       {static_cast<QWidget*>(driveLabel), static_cast<QWidget*>(driveEdit),
        static_cast<QWidget*>(findDiskButton), static_cast<QWidget*>(destinationButton)})
    driveRow->addWidget(w);
  driveRow->addWidget(destinationLabel, 1);
  auto* buttonRow = new QHBoxLayout;
  for (QWidget* w : {readListButton, stopButton, copyButton, exitButton}) buttonRow->addWidget(w);
  buttonRow->addStretch(1);
  // What the read lists, then how the copies are made: on two rows, so that the window still
  // fits a screen 1,280 pixels wide when the FAT32 box shows.
  auto* readOptionRow = new QHBoxLayout;
  readOptionRow->addWidget(unlistedBox);
  readOptionRow->addWidget(deepBox);
  readOptionRow->addStretch(1);
  auto* copyOptionRow = new QHBoxLayout;
  for (QWidget* w : {nfoBox, splitBox, rescueBox}) copyOptionRow->addWidget(w);
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

  auto* searchRow = new QHBoxLayout;
  searchRow->addWidget(searchEdit, 1);
  searchRow->addWidget(tickShownButton);
  searchRow->addWidget(untickAllButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(searchRow);
  layout->addWidget(recordingList, 1);
  layout->addWidget(detailsBox);
  layout->addWidget(controlPanel);
  // The keyboard goes through the options in the order they are shown.
  setTabOrder(unlistedBox, deepBox);
  setTabOrder(deepBox, nfoBox);
  setTabOrder(nfoBox, splitBox);
  setTabOrder(splitBox, rescueBox);
}

// ---- Showing the session's screen -------------------------------------------------------------

void MainWindow::ShowScreen(const session::Screen& s) {
  applying_ = true;
  driveLabel->setText(Q(s.driveLabel));
  if (driveEdit->text() != Q(s.driveText)) driveEdit->setText(Q(s.driveText));
  driveEdit->setToolTip(Q(s.driveTip));
  SetText(destinationLabel, s.destination, s.destinationTip);
  for (QWidget* w :
       {static_cast<QWidget*>(driveLabel), static_cast<QWidget*>(driveEdit),
        static_cast<QWidget*>(findDiskButton), static_cast<QWidget*>(destinationButton),
        static_cast<QWidget*>(destinationLabel)})
    w->setVisible(s.driveRow.visible);
  diskLabel->setVisible(s.diskLineVisible);
  diskLabel->setText(Q(s.diskLine));
  SetText(statusLabel, s.status, s.status);
  ShowBar(recordingProgress, s.recordingBar);
  ShowBar(batchProgress, s.batchBar);
  ShowButton(readListButton, s.readButton);
  ShowButton(stopButton, s.stopButton);
  ShowButton(copyButton, s.copyButton);
  ShowButton(exitButton, s.exitButton);
  ShowOption(unlistedBox, s.unlistedBox);
  ShowOption(deepBox, s.deepBox);
  ShowOption(nfoBox, s.nfoBox);
  ShowOption(splitBox, s.splitBox);
  ShowOption(rescueBox, s.rescueBox);
  if (detailsBox->toPlainText() != Q(s.details)) detailsBox->setPlainText(Q(s.details));
  ShowButton(searchEdit, s.searchBox);
  ShowButton(tickShownButton, s.tickShownButton);
  ShowButton(untickAllButton, s.untickAllButton);
  if (searchEdit->text() != Q(s.search)) searchEdit->setText(Q(s.search));
  QHeaderView* header = recordingList->header();
  header->setSortIndicatorShown(s.sortKey != SortKey::Catalogue);
  const int sortColumn = s.sortKey == SortKey::Name   ? kColumnName
                         : s.sortKey == SortKey::Size ? kColumnSize
                                                      : kColumnChannelAndTimes;
  header->setSortIndicator(sortColumn, s.sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
  if (s.currentRow && *s.currentRow < items_.size() && items_[*s.currentRow] != nullptr) {
    QTreeWidgetItem* item = items_[*s.currentRow];
    if (recordingList->currentItem() != item) {
      recordingList->setCurrentItem(item);
      recordingList->scrollToItem(item);
    }
  }
  applying_ = false;
  keepFocusOffDisabled();
}

void MainWindow::keepFocusOffDisabled() {
  // A button that loses the keyboard as it goes off would hand it on to the next one, which
  // would be Exit: the list keeps it instead, so that one more key press never quits.
  QWidget* focus = focusWidget();
  if (focus != nullptr && focus != recordingList && (!focus->isEnabled() || focus->isHidden()) &&
      qobject_cast<QPushButton*>(focus) != nullptr)
    recordingList->setFocus();
}

void MainWindow::fillRow(QTreeWidgetItem* item, const session::RowView& row) {
  item->setText(kColumnName, Q(row.name));
  item->setText(kColumnSize, Q(row.size));
  item->setText(kColumnChannelAndTimes, Q(row.channelAndTimes));
  item->setTextAlignment(kColumnSize, Qt::AlignRight | Qt::AlignVCenter);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(kColumnName, row.ticked ? Qt::Checked : Qt::Unchecked);
  item->setIcon(kColumnName, rowIcons->Icon(row.icon));
  item->setData(kColumnName, kIconKeyRole, Q(IconKey(row.icon)));
  item->setData(kColumnName, kRowRole, QVariant::fromValue(row.row));
  item->setIcon(kColumnChannelAndTimes,
                row.warning ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon());
  item->setToolTip(kColumnName, Q(row.nameTip));
  for (int column : {kColumnSize, kColumnChannelAndTimes}) item->setToolTip(column, Q(row.tip));
}

void MainWindow::ShowRows(const std::vector<session::RowView>& rows) {
  applying_ = true;
  recordingList->clear();
  items_.clear();  // a row the search hides has no item
  for (const session::RowView& row : rows) {
    auto* item = new QTreeWidgetItem(recordingList);
    if (row.row >= items_.size()) items_.resize(row.row + 1, nullptr);
    items_[row.row] = item;
    fillRow(item, row);
  }
  if (!sizedColumns_ && !rows.empty()) {
    sizedColumns_ = true;
    for (int column : {kColumnSize, kColumnChannelAndTimes})
      recordingList->resizeColumnToContents(column);
    const int width = recordingList->viewport()->width();
    recordingList->setColumnWidth(kColumnName,
                                  std::max(width - recordingList->columnWidth(kColumnSize) -
                                               recordingList->columnWidth(kColumnChannelAndTimes),
                                           width / 2));
  }
  applying_ = false;
}

void MainWindow::ShowRow(const session::RowView& row) {
  if (row.row >= items_.size() || items_[row.row] == nullptr) return;
  applying_ = true;
  fillRow(items_[row.row], row);
  applying_ = false;
}

std::optional<size_t> MainWindow::rowOf(QTreeWidgetItem* item) const {
  if (item == nullptr) return std::nullopt;
  const QVariant row = item->data(kColumnName, kRowRole);
  if (!row.isValid()) return std::nullopt;
  return row.value<size_t>();
}

QString MainWindow::rowIconKey(size_t row) const {
  return row < items_.size() && items_[row]
             ? items_[row]->data(kColumnName, kIconKeyRole).toString()
             : QString();
}

void MainWindow::ShowDisks(const std::vector<session::DiskChoice>& disks) {
  diskMenu->clear();
  // However long a line (an image's path), the menu stays on the screen: the middle of a line
  // too long for it gives way, and the whole line is its tooltip.
  const QScreen* screen = diskMenu->screen() ? diskMenu->screen() : this->screen();
  const int widest = screen ? screen->availableGeometry().width() * 3 / 4 : 900;
  for (size_t i = 0; i < disks.size(); ++i) {
    const QString line = Q(disks[i].text);
    QAction* action =
        diskMenu->addAction(diskMenu->fontMetrics().elidedText(line, Qt::ElideMiddle, widest));
    action->setToolTip(line);
    action->setEnabled(!disks[i].path.empty());
    if (disks[i].recorderDisk) {
      QFont bold = action->font();
      bold.setBold(true);
      action->setFont(bold);
    }
    connect(action, &QAction::triggered, this, [this, i] { session_->ChooseDisk(i); });
  }
  diskMenu->setToolTipsVisible(true);
  if (diskMenu->isVisible()) showDiskMenu();
}

// An open menu that grew as the disks came in is opened again where it fits on the screen.
void MainWindow::showDiskMenu() {
  reopeningDiskMenu_ = true;  // the disks are here: no new scan
  diskMenu->hide();
  diskMenu->popup(findDiskButton->mapToGlobal(QPoint(0, findDiskButton->height())));
  reopeningDiskMenu_ = false;
}

// ---- What the session asks of the window ------------------------------------------------------

void MainWindow::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void MainWindow::FocusList() {
  recordingList->setFocus();
}

bool MainWindow::AskYesNo(const std::string& question) {
  return askYesNo(Q(question));
}

void MainWindow::ShowFatalMessage(const std::string& message) {
  showMessage(Q(message));
}

std::string MainWindow::ChooseFolder(const std::string& title, const std::string& start) {
  return U(QDir::toNativeSeparators(browseForFolder(this, Q(title), Q(start))));
}

void MainWindow::EndProgram(int exitCode) {
  hide();
  endProgram(exitCode);
}

void MainWindow::WorkEnded(session::Work work) {
  switch (work) {
    case session::Work::ReadList:
      return emit listReadEnded();
    case session::Work::Copy:
      return emit batchEnded();
    case session::Work::FindDisks:
      return emit disksFound();
    case session::Work::DescribeDestination:
      return emit destinationDescribed();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (session_->Close()) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace skelbrook::window
