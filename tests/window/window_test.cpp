// The desktop window driven as a user drives it, on disk images from the image writer and real
// folders: start-up and its settings file, reading the list, ticking, copying, and leaving in
// the middle of a copy.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

#include "mkimage/image_writer.h"
#include "settings/ini.h"
#include "transfer/copy.h"
#include "window/image_list.h"
#include "window/main_window.h"

using skelbrook::window::frmTest;
namespace mk = skelbrook::mkimage;

namespace {

constexpr int64_t kCluster = 385024;

template <typename T>
T* Child(QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) qFatal("no control named %s", name);
  return child;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
    qFatal("cannot write %s", qPrintable(path));
  f.write(bytes);
}

QByteArray Expected(uint32_t seed, int64_t length) {
  const std::vector<uint8_t> bytes = mk::RecordingBytes(seed, 0, length);
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

mk::ImageRecording Rec(int slot, const char* title, const char* channel, uint32_t start,
                       uint32_t minutes, int64_t size, const char* description, uint32_t seed) {
  mk::ImageRecording r;
  r.slot = slot;
  r.title = title;
  r.channel = channel;
  r.start = start;
  r.end = start + minutes * 60;
  if (description != nullptr) r.description = description;
  r.size = size;
  r.seed = seed;
  return r;
}

// Three recordings, listed in record order (not slot order): 07:30 on 5 March, 21:05 on
// 21 November, 23:30 on 5 March. Their sizes leave tails of more than 1,024 bytes, so the
// copies hold every byte.
mk::ImageSpec ThreeRecordings() {
  mk::ImageSpec spec;
  spec.recordings = {
      Rec(3, "Morning Show", "ONE", 1709623800u, 45, 2 * kCluster + 10000,
          "Breakfast and the news.", 31),
      Rec(11, "Film: Night Train", "Seven", 1732223100u, 95, kCluster + 5000,
          "A thriller on rails.", 32),
      Rec(7, "Late News", "ABC1", 1709681400u, 15, kCluster + 4000, nullptr, 33),
  };
  return spec;
}

const char* const kNameA = "003_073005Mar_Morning Show.ts";
const char* const kNameB = "011_210521Nov_Film_ Night Train.ts";
const char* const kNameC = "007_233005Mar_Late News.ts";

// A window on a fresh home folder, with a destination folder beside it and the user's dialogs
// answered by the test.
struct Session {
  QTemporaryDir home;
  QTemporaryDir dest;
  QTemporaryDir disks;
  std::unique_ptr<frmTest> w;
  QString folderAnswer;
  QStringList messages;
  QList<int> endings;

  Session() { Open(); }

  void Open() {
    w = std::make_unique<frmTest>(home.path());
    w->BrowseForFolder = [this](QWidget*, const QString&) { return folderAnswer; };
    w->ShowMessage = [this](const QString& text) { messages << text; };
    w->EndProgram = [this](int code) { endings << code; };
    w->show();
  }

  QString Image(const mk::ImageSpec& spec, const QString& name = QStringLiteral("disk.img")) {
    const QString path = disks.filePath(name);
    const skelbrook::Status written = mk::WriteImage(spec, path.toStdString());
    if (!written.ok()) qFatal("image: %s", written.message().c_str());
    return path;
  }

  QString DestFolder() const { return dest.path() + QLatin1Char('/'); }

  void ChooseDestination() {
    folderAnswer = dest.path();
    w->Command4_Click();
  }

  // Reads the list of `spec` into the window, as the user does: drive box, folder, button.
  void ReadList(const mk::ImageSpec& spec) {
    Text2()->setText(Image(spec));
    ChooseDestination();
    Child<QPushButton>(w.get(), "Command1")->click();
  }

  QTreeWidget* ProgView() { return Child<QTreeWidget>(w.get(), "ProgView"); }
  QLineEdit* Text2() { return Child<QLineEdit>(w.get(), "Text2"); }
  QLabel* Label2() { return Child<QLabel>(w.get(), "Label2"); }
  QLabel* Label3() { return Child<QLabel>(w.get(), "Label3"); }
  QString Details() { return Child<QPlainTextEdit>(w.get(), "Text3")->toPlainText(); }
  QPushButton* Button(const char* name) { return Child<QPushButton>(w.get(), name); }
  QTreeWidgetItem* Row(int row) { return ProgView()->topLevelItem(row - 1); }
  bool Ticked(int row) { return Row(row)->checkState(0) == Qt::Checked; }
  void Tick(int row, bool on = true) {
    Row(row)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
  }
  QString Settings() const { return home.filePath(QStringLiteral("9200T_sk.ini")); }
  QStringList DestFiles() const { return QDir(dest.path()).entryList(QDir::Files | QDir::Hidden); }
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void firstStartWritesDefaultsAndShowsReadyWindow();
  void settingsFileIsLoadedOrReplacedWhenEmpty();
  void homeFolderThatCannotHoldTheListIsReported();
  void folderChooserKeepsOneSeparatorAndIgnoresCancel();
  void unwritableFolderStopsBeforeTheDrive();
  void unknownDriveSavesSettingsAndAllowsAnotherTry();
  void readListFillsRowsAndLocksTheDriveRow();
  void secondReadPressWhileReadingIsIgnored();
  void missingRecordListShowsMessageAndEnds();
  void tickingCountsAndClickingShowsDetails();
  void totalsAbove4GBAreExact();
  void batchOfTwoCopiesAndUnticks();
  void batchRefusesExistingFileAndKeepsItTicked();
  void failedCopyNamesItsReason();
  void ticksDuringBatchJoinItAndCopyStaysDisabled();
  void rescueKeepsTheCopyAndSaysHowMuchWasUnreadable();
  void leavingDuringCopyStopsItAndLeavesNoPartialFile_data();
  void leavingDuringCopyStopsItAndLeavesNoPartialFile();
};

void WindowTest::initTestCase() {
  // The offscreen platform says on every show that it has no window manager to tell sizes to.
  static const QtMessageHandler standard = qInstallMessageHandler(nullptr);
  qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (!text.contains(QStringLiteral("propagateSizeHints"))) standard(type, context, text);
      });
}

void WindowTest::firstStartWritesDefaultsAndShowsReadyWindow() {
  Session s;
  const QString folder = QDir::toNativeSeparators(s.home.path()) + QDir::separator();
  QCOMPARE(ReadAll(s.Settings()),
           QByteArray("[9200T]\r\nPhysical drive=2\r\nSave to=") + folder.toUtf8() + "\r\n");
  QCOMPARE(s.Label3()->text(), folder);
  QCOMPARE(s.Text2()->text(), QStringLiteral("2"));
#ifndef _WIN32
  QCOMPARE(s.Text2()->toolTip(), QStringLiteral("/dev/sdc"));
#endif
  QVERIFY(QFileInfo::exists(s.home.filePath(QStringLiteral("Files9200T.txt"))));
  QVERIFY(s.w->StartupStatus().ok());

  QCOMPARE(s.w->objectName(), QStringLiteral("frmTest"));
  QCOMPARE(s.w->windowTitle(), QStringLiteral("9200TSkelbrook 0.89  (oska)"));
  QTreeWidgetItem* header = s.ProgView()->headerItem();
  QCOMPARE(s.ProgView()->columnCount(), 3);
  QCOMPARE(header->text(0), QStringLiteral("Programme name"));
  QCOMPARE(header->text(1), QStringLiteral("File size"));
  QCOMPARE(header->text(2), QStringLiteral("Status"));
  QCOMPARE(s.ProgView()->topLevelItemCount(), 0);
  auto* images = Child<skelbrook::window::ImageList>(s.w.get(), "ImageList1");
  QCOMPARE(images->Keys(), (QStringList{"failed", "downloaded", "default", "downloading"}));
  for (const QString& key : images->Keys()) QVERIFY2(!images->Icon(key).isNull(), qPrintable(key));

  QCOMPARE(s.Button("Command1")->text(), QStringLiteral("Read filelist from 9200T"));
  QCOMPARE(s.Button("Command2")->text(), QStringLiteral("Copy files to PC"));
  QCOMPARE(s.Button("Command3")->text(), QStringLiteral("Exit"));
  QCOMPARE(s.Button("Command4")->text(), QStringLiteral("Destination folder"));
  QVERIFY(s.Button("Command1")->isEnabled());
  QVERIFY(!s.Button("Command2")->isEnabled());
  QVERIFY(!s.w->CopyEnabled());
  QVERIFY(Child<QLabel>(s.w.get(), "Label1")->isVisible());
  QVERIFY(s.Text2()->isVisible());
  QVERIFY(!Child<QProgressBar>(s.w.get(), "pbTaskProgress")->isVisible());
  QVERIFY(!Child<QProgressBar>(s.w.get(), "pbTaskProgress1")->isVisible());
  QVERIFY(s.Label2()->text().isEmpty());
  QVERIFY(s.Details().isEmpty());
  QVERIFY(Child<QFrame>(s.w.get(), "Frame1")->isAncestorOf(s.Label2()));
}

void WindowTest::settingsFileIsLoadedOrReplacedWhenEmpty() {
  {
    Session s;
    s.w.reset();
    WriteAll(s.Settings(), "");  // zero length counts as missing
    s.Open();
    QCOMPARE(s.Text2()->text(), QStringLiteral("2"));
    QVERIFY(ReadAll(s.Settings()).startsWith("[9200T]\r\nPhysical drive=2\r\nSave to="));
  }
  {
    Session s;
    s.w.reset();
    const QByteArray stored =
        "[9200T]\r\nPhysical drive=/srv/disk.img\r\nSave to=/srv/tv [old]/\r\n";
    WriteAll(s.Settings(), stored);
    s.Open();
    QCOMPARE(s.Text2()->text(), QStringLiteral("/srv/disk.img"));
    QCOMPARE(s.Text2()->toolTip(), QStringLiteral("/srv/disk.img"));
    QCOMPARE(s.Label3()->text(), QStringLiteral("/srv/tv [old]/"));
    QCOMPARE(ReadAll(s.Settings()), stored);  // reading changes nothing
  }
}

void WindowTest::homeFolderThatCannotHoldTheListIsReported() {
  QTemporaryDir base;
  const QString missing = base.filePath(QStringLiteral("gone"));
  frmTest w(missing);
  QVERIFY(!w.StartupStatus().ok());
  QVERIFY(QString::fromStdString(w.StartupStatus().message())
              .contains(QStringLiteral("Files9200T.txt")));
}

void WindowTest::folderChooserKeepsOneSeparatorAndIgnoresCancel() {
  Session s;
  const QByteArray settings = ReadAll(s.Settings());
  s.folderAnswer = s.dest.path();
  s.Button("Command4")->click();
  QCOMPARE(s.Label3()->text(), s.DestFolder());
  s.folderAnswer = QString();  // cancelled
  s.w->Command4_Click();
  QCOMPARE(s.Label3()->text(), s.DestFolder());
  s.folderAnswer = QStringLiteral("/");
  s.w->Command4_Click();
  QCOMPARE(s.Label3()->text(), QStringLiteral("/"));
  QCOMPARE(ReadAll(s.Settings()), settings);  // stored only when a drive is read
}

void WindowTest::unwritableFolderStopsBeforeTheDrive() {
  Session s;
  const QByteArray settings = ReadAll(s.Settings());
  const QString image = s.Image(ThreeRecordings());
  s.Text2()->setText(image);
  s.folderAnswer = s.dest.filePath(QStringLiteral("not/there"));
  s.w->Command4_Click();
  s.Button("Command1")->click();
  QCOMPARE(s.Label2()->text(), QStringLiteral("Check the destination folder!"));
  QCOMPARE(ReadAll(s.Settings()), settings);
  QVERIFY(s.Button("Command1")->isEnabled());
  QVERIFY(s.Text2()->isVisible());
  QCOMPARE(s.ProgView()->topLevelItemCount(), 0);
}

void WindowTest::unknownDriveSavesSettingsAndAllowsAnotherTry() {
  Session s;
  const QString notADisk = s.disks.filePath(QStringLiteral("zeros.img"));
  WriteAll(notADisk, QByteArray(64 * 1024, '\0'));
  // A stale probe file with content is cleared by the probe.
  WriteAll(s.dest.filePath(QStringLiteral("123.654")), "left over");
  s.Text2()->setText(notADisk);
  s.ChooseDestination();
  s.Button("Command1")->click();

  QCOMPARE(s.Label2()->text(), QStringLiteral("Does not read like a known 9200T drive!"));
  const std::string ini = s.Settings().toStdString();
  QCOMPARE(QString::fromStdString(skelbrook::INIread(ini, "9200T", "Save to")), s.DestFolder());
  QCOMPARE(QString::fromStdString(skelbrook::INIread(ini, "9200T", "Physical drive")), notADisk);
  QVERIFY(!QFileInfo::exists(s.dest.filePath(QStringLiteral("123.654"))));
  QVERIFY(s.Button("Command1")->isEnabled());
  QVERIFY(s.Text2()->isVisible());
  QVERIFY(s.Button("Command4")->isVisible());

  s.Text2()->setText(s.Image(ThreeRecordings()));
  s.Button("Command1")->click();
  QCOMPARE(s.ProgView()->topLevelItemCount(), 3);
}

void WindowTest::readListFillsRowsAndLocksTheDriveRow() {
  Session s;
  s.ReadList(ThreeRecordings());

  QCOMPARE(s.ProgView()->topLevelItemCount(), 3);
  const QStringList names{kNameA, kNameB, kNameC};
  const QStringList sizes{"780,048 Bytes", "390,024 Bytes", "389,024 Bytes"};
  const QStringList status{"ONE 07:30~08:15", "Seven 21:05~22:40", "ABC1 23:30~23:45"};
  for (int row = 1; row <= 3; ++row) {
    QCOMPARE(s.Row(row)->text(0), names[row - 1]);
    QCOMPARE(s.Row(row)->text(1), sizes[row - 1]);
    QCOMPARE(s.Row(row)->text(2), status[row - 1]);
    QVERIFY(!s.Ticked(row));
    QCOMPARE(s.w->RowIconKey(row), QStringLiteral("default"));
  }
  QCOMPARE(s.Label2()->text(), QStringLiteral("Check the items required for transfer."));
  QVERIFY(!s.Button("Command1")->isEnabled());
  QVERIFY(!s.Button("Command2")->isEnabled());
  for (const char* name : {"Label1", "Text2", "Command4", "Label3"}) {
    QVERIFY2(!Child<QWidget>(s.w.get(), name)->isVisible(), name);
  }
  QVERIFY(s.Button("Command3")->isEnabled());

  const QByteArray list = ReadAll(s.home.filePath(QStringLiteral("Files9200T.txt")));
  const QList<QByteArray> lines = list.split('\n');
  QCOMPARE(lines.size(), 5);  // four lines and the empty rest after the last line end
  QVERIFY(lines[0].startsWith(kNameA));
  QVERIFY(lines[1].startsWith(kNameB));
  QVERIFY(lines[2].startsWith(kNameC));
  QCOMPARE(lines[3], QByteArray("Closing Files9200T.txt\r"));

  // Nothing brings the drive row back, and the button stays off.
  s.w->Command1_Click();
  QCOMPARE(s.ProgView()->topLevelItemCount(), 3);
  QVERIFY(!s.Button("Command1")->isEnabled());
}

void WindowTest::secondReadPressWhileReadingIsIgnored() {
  Session s;
  int pressedDuringRead = 0;
  // Delivered at the read's first yield, while the read is under way.
  QTimer::singleShot(0, s.w.get(), [&] {
    if (s.w->IsReading()) ++pressedDuringRead;
    s.w->Command1_Click();
  });
  s.ReadList(ThreeRecordings());
  QCOMPARE(pressedDuringRead, 1);
  QCOMPARE(s.ProgView()->topLevelItemCount(), 3);
  QCOMPARE(s.w->Rows().DuplicateKeyCount, 0);
}

void WindowTest::missingRecordListShowsMessageAndEnds() {
  Session s;
  mk::ImageSpec spec = ThreeRecordings();
  spec.withRecordList = false;
  s.ReadList(spec);
  QCOMPARE(s.messages,
           QStringList{"Cannot locate _RECORD_LIST_ email me, https://skelbrook.invalid/support, "
                       "exiting program."});
  QCOMPARE(s.endings.size(), 1);
  QCOMPARE(s.ProgView()->topLevelItemCount(), 0);
}

void WindowTest::tickingCountsAndClickingShowsDetails() {
  Session s;
  s.ReadList(ThreeRecordings());
  s.w->Command2_Click();  // nothing ticked: nothing happens
  QVERIFY(!s.w->IsCopying());
  QCOMPARE(s.Label2()->text(), QStringLiteral("Check the items required for transfer."));

  s.Tick(1);
  QCOMPARE(s.Label2()->text(), QStringLiteral("1 file selected totaling 780048 bytes."));
  QVERIFY(s.Button("Command2")->isEnabled());
  QVERIFY(s.w->CopyEnabled());
  QCOMPARE(s.ProgView()->currentItem(), s.Row(1));
  QCOMPARE(s.Details(), QStringLiteral("Breakfast and the news."));

  s.Tick(2);
  QCOMPARE(s.Label2()->text(), QStringLiteral("2 files selected totaling 1170072 bytes."));
  QVERIFY(s.Button("Command2")->isEnabled());
  QCOMPARE(s.Details(), QStringLiteral("A thriller on rails."));

  s.Tick(1, false);
  QCOMPARE(s.Label2()->text(), QStringLiteral("1 file selected totaling 390024 bytes."));
  QCOMPARE(s.ProgView()->currentItem(), s.Row(1));
  QCOMPARE(s.Details(), QStringLiteral("Breakfast and the news."));
  s.Tick(2, false);
  QCOMPARE(s.Label2()->text(), QStringLiteral("Check the items required for transfer."));
  QVERIFY(!s.Button("Command2")->isEnabled());
  QCOMPARE(s.w->SelectedCount(), 0);
  QCOMPARE(s.w->SelectedBytes(), 0);

  // A click on a row shows its details and nothing else.
  QTreeWidget* view = s.ProgView();
  const QRect rect = view->visualItemRect(s.Row(3));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                    QPoint(rect.right() - 4, rect.center().y()));
  QCOMPARE(s.Details(), QStringLiteral("No EPG data found."));
  QVERIFY(!s.Ticked(3));
  QCOMPARE(s.Label2()->text(), QStringLiteral("Check the items required for transfer."));
}

void WindowTest::totalsAbove4GBAreExact() {
  Session s;
  mk::ImageSpec spec;
  // Only the size in the media directory matters for the totals; each chain is one cluster.
  spec.recordings = {Rec(2, "Long One", "ONE", 1709623800u, 600, 3000000000LL, "x", 1),
                     Rec(4, "Long Two", "ONE", 1709623800u, 600, 2500000001LL, "y", 2)};
  spec.recordings[0].clusters = {10};
  spec.recordings[1].clusters = {20};
  s.ReadList(spec);
  QCOMPARE(s.ProgView()->topLevelItemCount(), 2);
  s.Tick(1);
  QCOMPARE(s.Label2()->text(), QStringLiteral("1 file selected totaling 3000000000 bytes."));
  s.Tick(2);
  QCOMPARE(s.Label2()->text(), QStringLiteral("2 files selected totaling 5500000001 bytes."));
  QCOMPARE(s.w->SelectedBytes(), int64_t{5500000001});
}

void WindowTest::batchOfTwoCopiesAndUnticks() {
  Session s;
  s.ReadList(ThreeRecordings());
  s.Tick(1);
  s.Tick(3);
  s.Button("Command2")->click();

  QCOMPARE(s.w->RowIconKey(1), QStringLiteral("downloaded"));
  QCOMPARE(s.w->RowIconKey(2), QStringLiteral("default"));
  QCOMPARE(s.w->RowIconKey(3), QStringLiteral("downloaded"));
  QVERIFY(!s.Ticked(1));
  QVERIFY(!s.Ticked(3));
  const QRegularExpression report(
      QStringLiteral("^Start time: \\S.* Bytes: (\\d+) - End time: \\S.*$"));
  const QRegularExpressionMatch m = report.match(s.Label2()->text());
  QVERIFY2(m.hasMatch(), qPrintable(s.Label2()->text()));
  QCOMPARE(m.captured(1), QStringLiteral("1169072"));
  QCOMPARE(s.w->SelectedCount(), 0);
  QCOMPARE(s.w->SelectedBytes(), 0);
  QVERIFY(!s.w->CopyEnabled());
  QVERIFY(!s.Button("Command2")->isEnabled());
  QCOMPARE(s.w->Counters().BatchBytesTotal, int64_t{1169072});
  auto* task = Child<QProgressBar>(s.w.get(), "pbTaskProgress");
  auto* batch = Child<QProgressBar>(s.w.get(), "pbTaskProgress1");
  QVERIFY(task->isVisible() && batch->isVisible());
  QCOMPARE(task->value(), 100);
  QCOMPARE(batch->value(), 100);

  QCOMPARE(s.DestFiles(), (QStringList{kNameA, kNameC}));
  QCOMPARE(ReadAll(s.dest.filePath(kNameA)), Expected(31, 2 * kCluster + 10000));
  QCOMPARE(ReadAll(s.dest.filePath(kNameC)), Expected(33, kCluster + 4000));
}

void WindowTest::batchRefusesExistingFileAndKeepsItTicked() {
  Session s;
  s.ReadList(ThreeRecordings());
  WriteAll(s.dest.filePath(kNameA), "an older copy");
  s.Tick(1);
  s.Tick(2);
  s.w->Command2_Click();

  QCOMPARE(s.w->RowIconKey(1), QStringLiteral("failed"));
  QVERIFY(s.Ticked(1));
  QCOMPARE(s.w->RowIconKey(2), QStringLiteral("downloaded"));
  QVERIFY(!s.Ticked(2));
  const QString prefix = QString::fromLatin1(skelbrook::kExistsMessage) + " - End time: ";
  QVERIFY2(s.Label2()->text().startsWith(prefix), qPrintable(s.Label2()->text()));
  QVERIFY(s.Label2()->text().size() > prefix.size());
  QVERIFY(s.Button("Command2")->isEnabled());
  QVERIFY(s.w->CopyEnabled());
  QCOMPARE(s.w->SelectedCount(), 1);
  QCOMPARE(s.w->SelectedBytes(), 2 * kCluster + 10000);
  QCOMPARE(ReadAll(s.dest.filePath(kNameA)), QByteArray("an older copy"));
  QCOMPARE(ReadAll(s.dest.filePath(kNameB)), Expected(32, kCluster + 5000));

  // Pressed again, the still-ticked row is refused again and nothing changes on disk.
  s.w->Command2_Click();
  QCOMPARE(s.w->RowIconKey(1), QStringLiteral("failed"));
  QCOMPARE(ReadAll(s.dest.filePath(kNameA)), QByteArray("an older copy"));
}

void WindowTest::failedCopyNamesItsReason() {
  Session s;
  mk::ImageSpec spec = ThreeRecordings();
  spec.recordings[1].withMediaFile = false;  // listed, but its recording is not on the disk
  s.ReadList(spec);
  s.Tick(2);
  s.Tick(3);
  s.w->Command2_Click();
  QCOMPARE(s.w->RowIconKey(2), QStringLiteral("failed"));
  QVERIFY(s.Ticked(2));
  QCOMPARE(s.w->RowIconKey(3), QStringLiteral("downloaded"));
  const QString text = s.Label2()->text();
  QVERIFY2(text.startsWith(QStringLiteral("Errors! ") + kNameB + " was not copied: "),
           qPrintable(text));
  QVERIFY2(text.contains(" - End time: "), qPrintable(text));
  QVERIFY(!text.contains(QString::fromLatin1(skelbrook::kExistsMessage)));
  QCOMPARE(s.DestFiles(), QStringList{kNameC});
}

void WindowTest::rescueKeepsTheCopyAndSaysHowMuchWasUnreadable() {
  Session s;
  s.ReadList(ThreeRecordings());
  // One unreadable sector in the middle of the first recording's second block.
  s.w->InjectedFaults.failReadAt = s.w->Table().ProgFileOffset[3] + 65536 + 512;
  Child<QCheckBox>(s.w.get(), "chkRescue")->setChecked(true);
  s.Tick(1);
  s.w->Command2_Click();
  QCOMPARE(s.w->RowIconKey(1), QStringLiteral("failed"));
  const QString text = s.Label2()->text();
  QVERIFY2(text.startsWith(QStringLiteral("Errors! ") + kNameA + ": 512 bytes could not be read"),
           qPrintable(text));
  QVERIFY(s.DestFiles().contains(kNameA));
  QVERIFY(s.DestFiles().contains(QString(kNameA) + ".unreadable.txt"));
  QFile copy(s.dest.filePath(kNameA));
  QVERIFY(copy.open(QIODevice::ReadOnly));
  const QByteArray bytes = copy.readAll();
  QCOMPARE(bytes.size(), qsizetype(2 * kCluster + 10000));
  QCOMPARE(bytes.mid(65536 + 512, 512), QByteArray(512, '\0'));
  const std::vector<uint8_t> around = mk::RecordingBytes(31, 65536 + 1024, 1024);
  QCOMPARE(bytes.mid(65536 + 1024, 1024),
           QByteArray(reinterpret_cast<const char*>(around.data()), qsizetype(around.size())));
}

void WindowTest::ticksDuringBatchJoinItAndCopyStaysDisabled() {
  Session s;
  s.ReadList(ThreeRecordings());
  s.Tick(1);
  auto* task = Child<QProgressBar>(s.w.get(), "pbTaskProgress");
  bool ticked = false;
  bool buttonEverEnabled = false;
  int copiesSeenRunning = 0;
  QObject::connect(task, &QProgressBar::valueChanged, s.w.get(), [&] {
    if (!s.w->IsCopying()) return;
    ++copiesSeenRunning;
    buttonEverEnabled = buttonEverEnabled || s.Button("Command2")->isEnabled();
    if (!ticked) {
      ticked = true;
      s.Tick(2);              // joins the batch when the loop reaches it
      s.w->Command2_Click();  // no batch inside the batch
    }
  });
  s.w->Command2_Click();
  QVERIFY(ticked);
  QVERIFY(copiesSeenRunning > 1);
  QVERIFY(!buttonEverEnabled);
  QCOMPARE(s.w->RowIconKey(1), QStringLiteral("downloaded"));
  QCOMPARE(s.w->RowIconKey(2), QStringLiteral("downloaded"));
  QCOMPARE(s.w->RowIconKey(3), QStringLiteral("default"));
  QCOMPARE(s.w->SelectedCount(), 0);
  QVERIFY(!s.Button("Command2")->isEnabled());
  QCOMPARE(ReadAll(s.dest.filePath(kNameB)), Expected(32, kCluster + 5000));
  QCOMPARE(s.DestFiles().size(), 2);
}

void WindowTest::leavingDuringCopyStopsItAndLeavesNoPartialFile_data() {
  QTest::addColumn<bool>("exitButton");
  QTest::newRow("Exit") << true;
  QTest::newRow("close box") << false;
}

void WindowTest::leavingDuringCopyStopsItAndLeavesNoPartialFile() {
  QFETCH(bool, exitButton);
  Session s;
  mk::ImageSpec spec = ThreeRecordings();
  spec.recordings[0].size = 24 * kCluster + 3000;  // long enough to be left in the middle
  s.ReadList(spec);
  s.Tick(1);
  s.Tick(2);
  auto* task = Child<QProgressBar>(s.w.get(), "pbTaskProgress");
  bool left = false;
  QObject::connect(task, &QProgressBar::valueChanged, s.w.get(), [&](int value) {
    if (left || value <= 0 || value >= 50) return;
    left = true;
    // Arrives with the copy's next yield, as a real press or close would.
    QTimer::singleShot(0, s.w.get(), [&] {
      if (exitButton) {
        s.Button("Command3")->click();
      } else {
        s.w->close();
      }
    });
  });
  s.w->Command2_Click();

  QVERIFY(left);
  QVERIFY(s.w->IsClosing());
  QVERIFY(!s.w->isVisible());
  QCOMPARE(s.endings, exitButton ? QList<int>{0} : QList<int>{});
  QVERIFY2(s.DestFiles().isEmpty(), qPrintable(s.DestFiles().join(", ")));
  QVERIFY(s.w->RowIconKey(1) != QStringLiteral("downloaded"));
  QCOMPARE(s.w->RowIconKey(2), QStringLiteral("default"));
  QVERIFY(!s.Label2()->text().contains(QStringLiteral("End time")));
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
