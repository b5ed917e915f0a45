// The desktop window driven as a user drives it, on disk images from the image writer and real
// folders: start-up and its settings file, reading the list, ticking, copying, stopping and
// leaving in the middle of a copy, and a window that stays live while the disk is slow. The disk
// work runs on threads of its own; the tests wait for the window's signals that it ended.
#include <QtTest>
#include <QtWidgets>
#include <chrono>
#include <memory>
#include <thread>

#include "mkimage/image_writer.h"
#include "support/failing_disk.h"
#include "window/home_folder.h"
#include "window/image_list.h"
#include "window/main_window.h"
#ifdef SKELBROOK_UDISKS
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "window/udisks.h"
#endif

using skelbrook::window::HomeFolder;
using skelbrook::window::MainWindow;
namespace mk = skelbrook::mkimage;

namespace {

const QString kNameA = QStringLiteral("003_073005Mar_Morning Show.ts");
const QString kNameB = QStringLiteral("011_210521Nov_Film_ Night Train.ts");
const QString kNameC = QStringLiteral("007_233005Mar_Late News.ts");
const char* const kCheckItems = "Check the items required for transfer.";

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) qFatal("cannot write");
}

// The bytes the image writer puts at `offset` of the recording made with `seed`.
QByteArray Expected(uint32_t seed, int64_t offset, int64_t length) {
  const std::vector<uint8_t> bytes = mk::RecordingBytes(seed, offset, length);
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// Four recordings, listed in record order (not slot order): 07:30 on 5 March, 21:05 on
// 21 November, 23:30 on 5 March, and one above 4 GB that is never copied (only the size in the
// media directory counts for the totals, so its chain is one cluster). The other sizes leave
// tails of more than 1,024 bytes after their last whole cluster, so the copies hold every byte.
const char* const kFourRecordings = R"({"recordings": [
    {"slot": 3, "title": "Morning Show", "channel": "ONE", "start": 1709623800, "end": 1709626500,
     "size": 780048, "description": "Breakfast and the news.", "seed": 31},
    {"slot": 11, "title": "Film: Night Train", "channel": "Seven", "start": 1732223100,
     "end": 1732228800, "size": 390024, "description": "A thriller on rails.", "seed": 32},
    {"slot": 7, "title": "Late News", "channel": "ABC1", "start": 1709681400, "end": 1709682300,
     "size": 389024, "seed": 33},
    {"slot": 15, "title": "Long Film", "channel": "ONE", "start": 1709700000, "end": 1709736000,
     "size": 5000000001, "clusters": [100], "description": "All night.", "seed": 34}]})";

mk::ImageDesign FourRecordings() {
  std::string error;
  const std::optional<mk::ImageDesign> design = mk::DesignFromJson(kFourRecordings, error);
  if (!design) qFatal("%s", error.c_str());
  return *design;
}

// A disk that takes `delay` over every read at or past `from` (until `until`), as a failing disk
// does over a bad sector: the read blocks, however long the user waits.
class SlowDisk : public skelbrook::DiskReader {
 public:
  SlowDisk(std::unique_ptr<skelbrook::DiskReader> real, std::chrono::milliseconds delay,
           int64_t from, int64_t until)
      : real_(std::move(real)), delay_(delay), from_(from), until_(until) {}
  int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    if (offset >= from_ && offset < until_) std::this_thread::sleep_for(delay_);
    return real_->ReadAt(offset, into, count, error);
  }
  int64_t SizeBytes() const override { return real_->SizeBytes(); }

 private:
  std::unique_ptr<skelbrook::DiskReader> real_;
  std::chrono::milliseconds delay_;
  int64_t from_, until_;
};

skelbrook::DiskOpener Slow(std::chrono::milliseconds delay, int64_t from = 0,
                           int64_t until = INT64_MAX) {
  return [=](const std::string& path, std::unique_ptr<skelbrook::DiskReader>& disk) {
    std::unique_ptr<skelbrook::DiskReader> real;
    skelbrook::Status s = skelbrook::OpenRawDisk(path, real);
    if (s.ok()) disk = std::make_unique<SlowDisk>(std::move(real), delay, from, until);
    return s;
  };
}

// A window on a fresh home folder, with a destination folder beside it and the user's dialogs
// answered by the test.
struct Session {
  QTemporaryDir home, dest, disks;
  std::unique_ptr<MainWindow> w;
  QString folderAnswer;  // "" is a cancelled folder chooser
  QString folderStart;   // where the chooser was last opened
  QStringList messages, questions;
  bool answer = true;  // to every yes-or-no question
  QList<int> endings;

  Session() { Open(); }
  void Open() {
    w = std::make_unique<MainWindow>(home.path());
    w->browseForFolder = [this](QWidget*, const QString&, const QString& start) {
      folderStart = start;
      return folderAnswer;
    };
    w->showMessage = [this](const QString& text) { messages << text; };
    w->askYesNo = [this](const QString& question) {
      questions << question;
      return answer;
    };
    w->endProgram = [this](int code) { endings << code; };
    w->show();
  }
  // Runs `start` and waits (on the event loop, as the window does) until the window says the
  // work ended.
  template <typename Signal>
  bool AwaitAfter(Signal signal, const std::function<void()>& start) {
    QSignalSpy ended(w.get(), signal);
    start();
    return ended.wait(20000);
  }
  // Copies the ticked rows and waits for the batch to end.
  bool CopyNow() {
    return AwaitAfter(&MainWindow::batchEnded, [this] { w->copyTicked(); });
  }

  QString Image(const mk::ImageDesign& design) {
    const QString path = disks.filePath(QStringLiteral("disk.img"));
    if (!mk::WriteImage(design, path.toStdString()).ok()) qFatal("cannot write the image");
    return path;
  }
  void Choose(const QString& folder) {
    folderAnswer = folder;
    Find<QPushButton>("destinationButton")->click();
  }
  // Reads the list from `drive`, with `folder` chosen as the destination, as the user does, and
  // waits until the read has ended.
  void Read(const QString& drive, const QString& folder) {
    Choose(folder);
    Find<QLineEdit>("driveEdit")->setText(drive);
    QVERIFY(AwaitAfter(&MainWindow::listReadEnded,
                       [this] { Find<QPushButton>("readListButton")->click(); }));
  }
  void ReadList(const mk::ImageDesign& design) { Read(Image(design), dest.path()); }
  // The list read, then the disk slowed: rows 1 and 2 ticked, the first long enough to be
  // stopped or left in the middle of its copy.
  void ReadSlowLongCopy() {
    mk::ImageDesign design = FourRecordings();
    design.recordings[0].size = 12 * 780048;
    ReadList(design);
    w->openDisk = Slow(std::chrono::milliseconds(200));
    Tick(1);
    Tick(2);
  }

  template <typename T = QWidget>
  T* Find(const char* name) {
    if (T* child = w->findChild<T*>(QString::fromLatin1(name))) return child;
    qFatal("no control named %s", name);
  }
  QString Text(const char* name) { return Find(name)->property("text").toString(); }
  QString Details() { return Find<QPlainTextEdit>("detailsBox")->toPlainText(); }
  bool Enabled(const char* name) { return Find(name)->isEnabled(); }
  bool Visible(const char* name) { return Find(name)->isVisible(); }
  // The status line, with the times of day of a batch's start and end text shown as "T".
  QString Status() {
    static const QRegularExpression times("(Start time: ).+?( Bytes: )|( - End time: ).+$");
    return Text("statusLabel").replace(times, QStringLiteral("\\1\\3T\\2"));
  }
  QTreeWidget* List() { return Find<QTreeWidget>("recordingList"); }
  QTreeWidgetItem* Row(int row) { return List()->topLevelItem(row - 1); }
  void Tick(int r, bool on = true) { Row(r)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked); }
  // Every row's tick ("x" or "-") and icon key, e.g. "x failed, - downloaded".
  QString Marks() {
    QStringList marks;
    for (int r = 1; r <= List()->topLevelItemCount(); ++r)
      marks << (Row(r)->checkState(0) == Qt::Checked ? "x " : "- ") + w->rowIconKey(r - 1);
    return marks.join(QStringLiteral(", "));
  }
  // Runs `step` once, at the first move of the recording's progress bar past 0 in the next copy.
  void AtFirstProgress(const std::function<void(int percent)>& step) {
    auto* bar = Find<QProgressBar>("recordingProgress");
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = QObject::connect(bar, &QProgressBar::valueChanged, w.get(), [once, step](int value) {
      if (value <= 0) return;
      QObject::disconnect(*once);
      step(value);
    });
  }
  QString Settings() const { return home.filePath(QStringLiteral("9200T_sk.ini")); }
  QByteArray DestFile(const QString& name) const { return ReadAll(dest.filePath(name)); }
  QStringList DestFiles() const { return QDir(dest.path()).entryList(QDir::Files | QDir::Hidden); }
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // The offscreen platform says on every show that it has no window manager to tell sizes to.
    static const QtMessageHandler standard = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& at, const QString& text) {
      if (!text.contains(QStringLiteral("propagateSizeHints"))) standard(type, at, text);
    });
  }

  void filesStayBesideTheProgramOnlyForAPortableCopy() {
    QTemporaryDir program, config;
    const QString configFolder = config.filePath(QStringLiteral("skelbrook"));
    // An installed program's folder is never its home, writable or not (root's /usr/bin).
    QCOMPARE(HomeFolder(program.path(), QString(), configFolder), configFolder);
    QVERIFY(QDir(configFolder).exists());
    QCOMPARE(HomeFolder(program.path(), config.path(), configFolder), configFolder);
    // Run where it was built, or with a "portable" file beside it, it keeps its files there.
    QDir(program.path()).mkpath(QStringLiteral("src/window"));
    const QString built = program.filePath(QStringLiteral("src/window"));
    QCOMPARE(HomeFolder(built, program.path(), configFolder), built);
    QFile marker(program.filePath(QStringLiteral("portable")));
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.close();
    QCOMPARE(HomeFolder(program.path(), QString(), configFolder), program.path());
  }

#ifdef SKELBROOK_UDISKS
  // A loop device opened through the system's disk service reads as the image it holds.
  void aDiskOpensThroughTheDiskService() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() ||
        !bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.UDisks2")) ||
        geteuid() != 0) {
      QSKIP("needs root and UDisks2 running on the system bus");
    }
    Session s;
    const QString image = s.Image(FourRecordings());
    QProcess attach;
    attach.start(QStringLiteral("losetup"), {"-f", "--show", "-r", image});
    QVERIFY(attach.waitForFinished());
    const QString device = QString::fromLatin1(attach.readAllStandardOutput()).trimmed();
    if (attach.exitCode() != 0 || device.isEmpty()) QSKIP("no loop device can be attached");
    // udev tells the disk service of a new device a moment after it is attached.
    QProcess::execute(QStringLiteral("udevadm"), {"settle", "--timeout=5"});
    std::unique_ptr<skelbrook::DiskReader> disk;
    skelbrook::Status opened;
    for (QDeadlineTimer known(5000);; QTest::qWait(100)) {
      opened = skelbrook::window::OpenThroughUDisks(device.toStdString(), disk);
      if (opened.ok() || opened.message().find("does not know") == std::string::npos ||
          known.hasExpired())
        break;
    }
    QByteArray sector(512, '\0');
    std::string error;
    const int64_t got =
        disk ? disk->ReadAt(16 * 512, reinterpret_cast<uint8_t*>(sector.data()), 512, error) : 0;
    QProcess::execute(QStringLiteral("losetup"), {"-d", device});
    QVERIFY2(opened.ok(), opened.message().c_str());
    QCOMPARE(got, 512);
    QCOMPARE(sector, ReadAll(image).mid(16 * 512, 512));
  }
#endif

  void startUpWithAndWithoutSettings() {
    Session s;
    // First start: three lines of defaults, each ending in CR LF, and the window shows them.
    const QString folder = QDir::toNativeSeparators(s.home.path()) + QDir::separator();
    const auto defaults = "[9200T]\r\nPhysical drive=2\r\nSave to=" + folder.toUtf8() + "\r\n";
    QCOMPARE(ReadAll(s.Settings()), defaults);
    QCOMPARE(s.Text("destinationLabel"), folder);

    // The controls under their names, with their captions; the list's columns; the ready state.
    QStringList captions{s.w->windowTitle()};
    for (const char* name : {"driveEdit", "statusLabel", "readListButton", "copyButton",
                             "exitButton", "destinationButton"})
      captions << s.Text(name);
    for (int c = 0; c < s.List()->columnCount(); ++c) captions << s.List()->headerItem()->text(c);
    QCOMPARE(captions.join(QLatin1Char('|')),
             "9200TSkelbrook 0.89  (oska)|2||Read filelist from 9200T|Copy files to PC|Exit|"
             "Destination folder|Programme name|File size|Status");
    auto* images = s.Find<skelbrook::window::ImageList>("rowIcons");
    QCOMPARE(images->Keys(), (QStringList{"failed", "downloaded", "default", "downloading",
                                          "incomplete", "found"}));
    for (const QString& key : images->Keys()) QVERIFY(!images->Icon(key).isNull());
    // On the highlight of a selected row each icon stands out from the highlight (a good share
    // of its pixels far from that colour) and from the others.
    const QColor highlight = s.List()->palette().color(QPalette::Highlight);
    QList<QImage> drawn;
    for (const QString& key : images->Keys()) {
      QImage on(16, 16, QImage::Format_RGB32);
      on.fill(highlight);
      QPainter(&on).drawPixmap(0, 0, images->Icon(key).pixmap(16, 16, QIcon::Selected));
      int apart = 0;
      for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
          const QColor c = on.pixelColor(x, y);
          apart += std::abs(c.red() - highlight.red()) + std::abs(c.green() - highlight.green()) +
                       std::abs(c.blue() - highlight.blue()) >
                   160;
        }
      }
      QVERIFY2(apart >= 256 / 3, qPrintable(key + " is lost on the highlight"));
      QVERIFY2(!drawn.contains(on), qPrintable(key + " looks like another icon"));
      drawn << on;
    }
    QVERIFY(s.Enabled("readListButton") && !s.Enabled("copyButton") && !s.w->copyEnabled());
    // The keyboard starts in the drive box, and goes through the options as they are shown.
    QCOMPARE(s.w->focusWidget(), s.Find("driveEdit"));
    QWidget* option = s.Find("unlistedBox");
    for (const char* next : {"deepBox", "nfoBox", "splitBox", "rescueBox"}) {
      option = option->nextInFocusChain();
      QCOMPARE(option->objectName(), QString::fromLatin1(next));
    }

    // A zero-length settings file counts as missing: the defaults again.
    s.w.reset();
    WriteAll(s.Settings(), "");
    s.Open();
    QCOMPARE(s.Text("driveEdit"), "2");
    QCOMPARE(ReadAll(s.Settings()), defaults);

    // Stored settings are shown as they are, and reading them changes nothing.
    s.w.reset();
    const QByteArray stored = "[9200T]\r\nPhysical drive=/dev/sdb\r\nSave to=/tv [old]/\r\n";
    WriteAll(s.Settings(), stored);
    s.Open();
    QCOMPARE(s.Text("driveEdit"), "/dev/sdb");
    QCOMPARE(s.Text("destinationLabel"), "/tv [old]/");
    QCOMPARE(ReadAll(s.Settings()), stored);

    // A home folder that cannot hold the recordings list stops start-up with a report naming it.
    MainWindow homeless(s.home.filePath(QStringLiteral("gone")));
    QVERIFY(QString::fromStdString(homeless.startupStatus().message()).contains("Files9200T.txt"));
  }

  void failedReadsLeaveTheWindowReadyThenTheListIsRead() {
    Session s;
    const QByteArray settings = ReadAll(s.Settings());
    const QString disk = s.Image(FourRecordings()), folder = s.dest.path() + "/";
    // The folder chooser puts one separator at the end; a cancel changes nothing.
    QVERIFY(s.AwaitAfter(&MainWindow::destinationDescribed, [&] { s.Choose(s.dest.path()); }));
    s.Choose(QString());
    QCOMPARE(s.Text("destinationLabel"), folder);
    // Its tooltip says what the folder is on: the file system and its free space.
    QVERIFY(s.Find<QLabel>("destinationLabel")->toolTip().contains(" bytes)"));

    // A folder that is not there: only the message; the drive is not read, nothing is stored.
    s.Read(disk, s.dest.filePath(QStringLiteral("not/there")));
    QCOMPARE(s.Status(), "Check the destination folder!");
    QCOMPARE(ReadAll(s.Settings()), settings);

    // Not a recorder's disk: the settings are already stored when the message shows, a stale
    // probe file is cleared, and the window stays ready for another try.
    const QString zeros = s.disks.filePath(QStringLiteral("zeros.img"));
    WriteAll(zeros, QByteArray(64 * 1024, '\0'));
    WriteAll(s.dest.filePath(QStringLiteral("123.654")), "left over");
    s.Read(zeros, s.dest.path());
    QCOMPARE(s.Status(),
             "Does not read like a known 9200T drive! (the recognition marker is missing)");
    QCOMPARE(ReadAll(s.Settings()), "[9200T]\r\nPhysical drive=" + zeros.toUtf8() +
                                        "\r\nSave to=" + folder.toUtf8() + "\r\n");
    QVERIFY(!QFileInfo::exists(s.dest.filePath(QStringLiteral("123.654"))));
    QVERIFY(s.Enabled("readListButton") && s.Visible("driveEdit") &&
            s.Visible("destinationButton"));

    // The recorder's disk, with a second press arriving at the read's first yield: ignored.
    int pressedDuringRead = 0;
    QTimer::singleShot(0, s.w.get(), [&] {
      pressedDuringRead += s.w->isReading() ? 1 : 0;
      s.w->readList();
    });
    s.Read(disk, s.dest.path());
    QCOMPARE(pressedDuringRead, 1);
    // Rows in record order: name, size text, channel and times; none ticked, all "default".
    const QStringList rows[4] = {
        {kNameA, "780,048 Bytes", "ONE 07:30~08:15"},
        {kNameB, "390,024 Bytes", "Seven 21:05~22:40"},
        {kNameC, "389,024 Bytes", "ABC1 23:30~23:45"},
        {"015_044006Mar_Long Film.ts", "5,000,000,001 Bytes", "ONE 04:40~14:40"}};
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 3; ++c) QCOMPARE(s.Row(r + 1)->text(c), rows[r][c]);
    QCOMPARE(s.Marks(), "- default, - default, - default, - default");
    QCOMPARE(s.Status(), kCheckItems);
    QVERIFY(!s.Enabled("readListButton") && !s.Enabled("copyButton") && s.Enabled("exitButton"));
    QCOMPARE(s.w->focusWidget(), s.List());  // never Exit, which one Space would press
    for (const char* name : {"driveLabel", "driveEdit", "destinationButton", "destinationLabel"})
      QVERIFY2(!s.Visible(name), name);
    // The window's recordings list file was written and closed.
    const QByteArray list = ReadAll(s.home.filePath(QStringLiteral("Files9200T.txt")));
    QVERIFY(list.startsWith(kNameA.toUtf8()) && list.endsWith("Closing Files9200T.txt\r\n"));
  }

  void catalogueReadInPartSaysSoAndShowsTheRowsProblem() {
    Session healthy;
    healthy.ReadList(FourRecordings());
    Session s;  // the same disk with the first recording's guide sector unreadable
    s.w->openDisk = skelbrook::test::FailingAt({{healthy.w->recordings()[0].guideSectorOffset, 1}});
    s.ReadList(FourRecordings());
    QCOMPARE(s.Status(),
             QStringLiteral("The catalogue was read only in part (1 area of the disk could not be "
                            "read). ") +
                 kCheckItems);
    s.Tick(1);
    QVERIFY2(s.Details().startsWith("\n\nRead in part:\n- the guide text could not be read"),
             qPrintable(s.Details()));
    QVERIFY(s.Row(1)->toolTip(0).contains("guide sector: 512 bytes at byte"));
    QVERIFY(s.Row(2)->toolTip(2).isEmpty());
    QVERIFY(!s.Row(1)->icon(2).isNull() && s.Row(2)->icon(2).isNull());  // a warning sign
  }

  void missingRecordListShowsMessageAndEnds() {
    Session s;
    mk::ImageDesign design = FourRecordings();
    design.withRecordList = false;
    s.ReadList(design);
    QCOMPARE(s.messages,
             QStringList{"Cannot locate _RECORD_LIST_ on this disk. The recordings may still be "
                         "there: start Skelbrook again, tick \"Show recordings missing from the "
                         "catalogue\" or \"Search the whole disk for lost recordings\" and read "
                         "the list (README.md, section 'Cannot locate _RECORD_LIST_'). Exiting "
                         "program."});
    QCOMPARE(s.endings.size(), 1);

    // Asked to show what the catalogue lost, the window lists the media files instead, and a
    // copy of one is exact; the guide-file box is remembered, and a file without a record gets
    // no guide file.
    Session u;
    u.Find<QCheckBox>("unlistedBox")->setChecked(true);
    u.Find<QCheckBox>("nfoBox")->setChecked(true);
    u.ReadList(design);
    QVERIFY(u.messages.isEmpty() && u.endings.isEmpty());
    QCOMPARE(u.Status(), QStringLiteral("_RECORD_LIST_ was not found. The media files on the disk "
                                        "are listed as NNN_unlisted.ts, without titles or times."));
    QCOMPARE(u.List()->topLevelItemCount(), 4);
    QCOMPARE(u.Row(1)->text(0), "003_unlisted.ts");
    u.Tick(1);
    QVERIFY(
        u.AwaitAfter(&MainWindow::batchEnded, [&] { u.Find<QPushButton>("copyButton")->click(); }));
    QCOMPARE(u.DestFiles(), QStringList{"003_unlisted.ts"});
    QCOMPARE(u.DestFile("003_unlisted.ts"), Expected(31, 0, 780048));
    u.w.reset();
    u.Open();
    QVERIFY(u.Find<QCheckBox>("nfoBox")->isChecked());
    QVERIFY(!u.Find<QCheckBox>("unlistedBox")->isChecked());
  }

  // What the user needs around the list: the disk found for them, Enter to read it, the disk
  // and folder named once read, resizable columns, the chooser at the current folder, and a word
  // when the disk holds no recordings.
  void findingTheDiskAndWhatIsWorkedOn() {
    Session s;
    mk::ImageDesign empty;
    empty.imageSize = 64 << 20;  // room for the data area, and no recording in it
    const QString disk = s.Image(empty);
    s.w->findAttachedDisks = [&disk] {
      return std::vector<skelbrook::DiskCandidate>{
          {"/dev/sda", "SYSTEM DISK", 500107862016, false, ""},
          {disk.toStdString(), "", 0, true, ""},
          {"/dev/sdc", "", 0, false, "no rights to read it"}};
    };
    auto* menu = s.Find<QToolButton>("findDiskButton")->menu();
    // The scan reads every disk's sector 16 off the window's thread; the menu fills when it ends.
    QVERIFY(s.AwaitAfter(&MainWindow::disksFound, [&] {
      QMetaObject::invokeMethod(menu, "aboutToShow");
      QCOMPARE(menu->actions().size(), 1);
      QCOMPARE(menu->actions()[0]->text(), "Looking for disks...");
    }));
    const QList<QAction*> disks = menu->actions();
    QCOMPARE(disks.size(), 3);
    QCOMPARE(disks[0]->text(), "/dev/sda  SYSTEM DISK  500.1 GB");
    QCOMPARE(disks[1]->text(), disk + "  a 9200T disk");
    QVERIFY(disks[1]->font().bold() && !disks[0]->font().bold());
    QCOMPARE(disks[2]->text(), "/dev/sdc  (no rights to read it)");
    disks[1]->trigger();
    QCOMPARE(s.Text("driveEdit"), disk);

    s.Choose(s.dest.path());
    s.Choose(QString());  // cancelled: it opened at the folder chosen before
    QCOMPARE(s.folderStart, s.dest.path() + "/");
    QVERIFY(s.AwaitAfter(&MainWindow::listReadEnded,
                         [&] { QTest::keyClick(s.Find<QLineEdit>("driveEdit"), Qt::Key_Return); }));
    QCOMPARE(s.Status(), QString(kCheckItems) + " No recordings were found on this disk.");
    QVERIFY(s.Visible("diskLabel") && !s.Visible("findDiskButton"));
    QVERIFY2(s.Text("diskLabel").startsWith("Disk: " + disk + " ("),
             qPrintable(s.Text("diskLabel")));
    QVERIFY(s.Text("diskLabel").endsWith(" Bytes). Copies go to: " + s.dest.path() + "/"));
    for (int column = 0; column < 3; ++column)
      QCOMPARE(s.List()->header()->sectionResizeMode(column), QHeaderView::Interactive);
  }

  void tickingThenTwoBatchesTheSecondOverAnExistingFile() {
    Session s;
    s.ReadList(FourRecordings());
    // Ticking selects the row, shows its details and counts, beyond 4 GB as well; Copy follows
    // the count.
    s.Tick(4);
    QCOMPARE(s.Status(), "1 file selected totaling 5000000001 bytes.");
    QVERIFY(s.Enabled("copyButton") && s.w->copyEnabled());
    QCOMPARE(s.List()->currentItem(), s.Row(4));
    QCOMPARE(s.Details(), "All night.");
    s.Tick(1);
    QCOMPARE(s.Status(), "2 files selected totaling 5000780049 bytes.");
    QVERIFY(s.Enabled("copyButton"));
    QCOMPARE(s.Details(), "Breakfast and the news.");
    s.Tick(4, false);
    QCOMPARE(s.Status(), "1 file selected totaling 780048 bytes.");
    QCOMPARE(s.Details(), "All night.");
    s.Tick(1, false);
    QCOMPARE(s.Status(), kCheckItems);
    QVERIFY(!s.Enabled("copyButton") && !s.w->copyEnabled());

    // A click on a row shows its details and nothing else.
    const QRect rect = s.List()->visualItemRect(s.Row(3));
    QTest::mouseClick(s.List()->viewport(), Qt::LeftButton, {},
                      QPoint(rect.right() - 4, rect.center().y()));
    QCOMPARE(s.Details(), "No EPG data found.");
    QCOMPARE(s.Marks(), "- default, - default, - default, - default");
    QCOMPARE(s.Status(), kCheckItems);

    // A batch of two: both copied byte for byte, unticked and marked; Copy goes off.
    s.Tick(1);
    s.Tick(3);
    QVERIFY(
        s.AwaitAfter(&MainWindow::batchEnded, [&] { s.Find<QPushButton>("copyButton")->click(); }));
    QCOMPARE(s.Marks(), "- downloaded, - default, - downloaded, - default");
    QCOMPARE(s.Status(), "Start time: T Bytes: 1169072 - End time: T");
    QVERIFY(s.Text("statusLabel").endsWith(". 2 copied"));
    QCOMPARE(s.w->focusWidget(), s.List());
    QVERIFY(!s.Enabled("copyButton") && !s.w->copyEnabled());
    QCOMPARE(s.w->selectedBytes(), 0);
    for (const char* bar : {"recordingProgress", "batchProgress"})
      QVERIFY2(s.Visible(bar) && s.Find<QProgressBar>(bar)->value() == 100, bar);
    QCOMPARE(s.DestFiles(), (QStringList{kNameA, kNameC}));
    QCOMPARE(s.DestFile(kNameA), Expected(31, 0, 780048));
    QCOMPARE(s.DestFile(kNameC), Expected(33, 0, 389024));

    // Again, over an older copy of the first: that row fails and stays ticked, the next is
    // copied, and Copy stays on for the failed row.
    WriteAll(s.dest.filePath(kNameA), "an older copy");
    s.Tick(1);
    s.Tick(2);
    QVERIFY(s.CopyNow());
    QCOMPARE(s.Marks(), "x failed, - downloaded, - downloaded, - default");
    QCOMPARE(s.Status(),
             "Errors! Make sure the file name(s) you are copying do not exist. - End time: T");
    QVERIFY(
        s.Text("statusLabel").endsWith(". 1 copied, 1 not copied: point at a row for its reason"));
    QVERIFY(s.Enabled("copyButton") && s.w->copyEnabled());
    QCOMPARE(s.w->selectedBytes(), 780048);
    QCOMPARE(s.DestFile(kNameB), Expected(32, 0, 390024));
    QCOMPARE(s.DestFile(kNameA), "an older copy");
  }

  void ticksDuringBatchJoinItThenFailedCopiesSayWhy() {
    Session s;
    mk::ImageDesign design = FourRecordings();
    design.recordings[1].withMediaFile = false;    // listed, but its recording is not on the disk
    design.recordings[0].clusters = {20, 22, 24};  // three reads, each slow
    s.ReadList(design);
    // A tick made while the first row is copied joins the batch; Copy stays off throughout, and
    // a press on it then starts no batch inside the batch.
    s.w->openDisk = Slow(std::chrono::milliseconds(300));
    s.Tick(1);
    bool copyOn = true;
    s.AtFirstProgress([&](int) {
      s.Tick(3);
      s.w->copyTicked();
      copyOn = !s.w->isCopying() || s.Enabled("copyButton") || s.w->copyEnabled();
    });
    QVERIFY(s.CopyNow());
    QVERIFY(!copyOn);
    QCOMPARE(s.Marks(), "- downloaded, - default, - downloaded, - default");
    s.w->openDisk = {};

    // A recording missing from the disk: the status line names the row and the reason.
    s.Tick(2);
    QVERIFY(s.CopyNow());
    QCOMPARE(s.Marks(), "- downloaded, x failed, - downloaded, - default");
    const QString why = " was not copied: no media file was found on the disk for this recording";
    QCOMPARE(s.Status(), "Errors! " + kNameB + why + " - End time: T");
    QCOMPARE(s.DestFiles(), (QStringList{kNameA, kNameC}));
    // The whole message can be read, and the failed row keeps its reason once others follow;
    // the name column's tip also shows the whole name, which the column may cut off.
    QLabel* status = s.Find<QLabel>("statusLabel");
    QVERIFY(status->wordWrap() && status->toolTip() == status->text());
    QTRY_VERIFY(status->height() >= status->heightForWidth(status->width()));
    const QString reason = "Not copied: no media file was found on the disk for this recording";
    QCOMPARE(s.Row(2)->toolTip(0), kNameB + "\n\n" + reason);
    QCOMPARE(s.Row(2)->toolTip(2), reason);
    s.List()->setCurrentItem(s.Row(1));
    QTest::keyClick(s.List(), Qt::Key_Down);  // the details follow the arrow keys
    QCOMPARE(s.Details(), "A thriller on rails.\n\n" + reason);
    QCOMPARE(s.Row(1)->toolTip(0), kNameA);

    // A sector that will not read fails a plain copy, and its reason says how to keep what reads.
    s.Tick(2, false);
    QVERIFY(QFile::remove(s.dest.filePath(kNameA)));
    const int64_t bad = s.w->recordings()[0].media.offset + 65536 + 512;
    s.w->openDisk = skelbrook::test::FailingAt({{bad, 1}}, false);
    s.Tick(1);
    QVERIFY(s.CopyNow());
    QVERIFY2(s.Row(1)->toolTip(2).endsWith(
                 ". Tick \"Rescue unreadable sectors\" and copy it again to keep what reads."),
             qPrintable(s.Row(1)->toolTip(2)));
    QCOMPARE(s.DestFiles(), (QStringList{kNameC}));

    // With rescue ticked the unreadable sector becomes zeros; the copy is kept under its working
    // name with its map, a state of its own that is not a failure.
    s.Find<QCheckBox>("rescueBox")->setChecked(true);
    QVERIFY(s.CopyNow());
    QCOMPARE(s.w->rowIconKey(0), "incomplete");
    QCOMPARE(s.Row(1)->checkState(0), Qt::Checked);  // still ticked, to be retried
    const QString kept = QString(kNameA).replace(".ts", ".incomplete.ts");
    QCOMPARE(s.Row(1)->toolTip(2),
             "Kept incomplete: 512 bytes could not be read and are zeros in " + kept +
                 " (map beside it). Copy it again with \"Rescue unreadable sectors\" ticked to "
                 "retry only those bytes.");
    QVERIFY2(s.Text("statusLabel")
                 .endsWith(". 0 copied, 1 kept incomplete: point at a row for its "
                           "reason"),
             qPrintable(s.Text("statusLabel")));
    QCOMPARE(s.DestFile(kept).mid(65536 + 512, 512), QByteArray(512, '\0'));

    // The disk reads again: the next rescue retries only those bytes and names the copy.
    s.w->openDisk = {};
    QVERIFY(s.CopyNow());
    QCOMPARE(s.w->rowIconKey(0), "downloaded");
    QCOMPARE(s.DestFile(kNameA), Expected(31, 0, 780048));
  }

  // The window repaints and answers while a read of the disk blocks, says that it waits, and
  // goes back to its words when the read returns.
  void theWindowStaysLiveWhileTheDiskIsSlow() {
    Session s;
    const QString image = s.Image(FourRecordings());
    s.w->openDisk = Slow(std::chrono::milliseconds(2600), 16 * 512, 17 * 512);
    QElapsedTimer clock;
    qint64 last = 0, largestGap = 0;
    QStringList said;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      largestGap = std::max(largestGap, clock.elapsed() - last);
      last = clock.elapsed();
      said << s.Text("statusLabel");
    });
    clock.start();
    tick.start(10);
    s.Read(image, s.dest.path());
    tick.stop();
    qInfo("largest gap between turns of the event loop: %lld ms", largestGap);
    QVERIFY2(largestGap < 100, qPrintable(QString::number(largestGap) + " ms without a turn"));
    QVERIFY2(said.contains("Waiting for the disk (2 s). A failing disk can take a minute over one "
                           "bad sector."),
             qPrintable(said.join(" | ")));
    QCOMPARE(s.Status(), kCheckItems);
    QCOMPARE(s.List()->topLevelItemCount(), 4);
  }

  void stopEndsTheBatchAtItsNextReadAndLeavesNoPartialFile() {
    Session s;
    s.ReadSlowLongCopy();
    QVERIFY(!s.Visible("stopButton"));
    bool stopShown = false;
    s.AtFirstProgress([&](int) {
      stopShown = s.Visible("stopButton") && !s.Visible("readListButton");
      s.Find<QPushButton>("stopButton")->click();
    });
    QVERIFY(s.CopyNow());
    QVERIFY(stopShown && !s.Visible("stopButton") && s.Visible("readListButton"));
    QVERIFY2(s.DestFiles().isEmpty(), qPrintable(s.DestFiles().join(", ")));
    QCOMPARE(s.Marks().section(", ", 0, 1), "x default, x default");
    QVERIFY2(s.Text("statusLabel").startsWith("Stopped - End time: "),
             qPrintable(s.Text("statusLabel")));
    QVERIFY(s.Text("statusLabel").endsWith("0 copied; the rows not reached are still ticked."));
    QVERIFY(s.Enabled("copyButton"));

    // A rescue that is stopped keeps what it read, and its row says where and how to go on.
    s.Find<QCheckBox>("rescueBox")->setChecked(true);
    s.AtFirstProgress([&](int) { s.Find<QPushButton>("stopButton")->click(); });
    QVERIFY(s.CopyNow());
    const QString kept = s.w->recordings()[0].fileStem.c_str() + QStringLiteral(".incomplete.ts");
    QCOMPARE(s.DestFiles(), (QStringList{kept, kept + ".map"}));
    QCOMPARE(s.Row(1)->toolTip(2),
             "Stopped: what was read so far is kept in " + kept +
                 " (map beside it). Copy it again with \"Rescue unreadable sectors\" ticked to go "
                 "on from there.");
    QCOMPARE(s.Marks().section(", ", 0, 1), "x default, x default");
  }

  void leavingDuringCopyAsksThenStopsAndLeavesNoPartialFile() {
    for (const bool exitButton : {true, false}) {  // the Exit button, then the close box
      Session s;
      s.ReadSlowLongCopy();
      // Asked, the user first says no: the copy goes on; then yes.
      s.answer = false;
      int leftAt = 0;  // percent of the first recording
      s.AtFirstProgress([&](int percent) {
        leftAt = percent;
        QObject* target = exitButton ? s.Find("exitButton") : s.w.get();
        if (exitButton) s.Find<QPushButton>("exitButton")->setFocus();  // as a keyboard user has it
        QMetaObject::invokeMethod(target, exitButton ? "click" : "close");
        QVERIFY(s.w->isCopying() && s.w->isVisible());
        // The keyboard is back on the list: one more Space never asks again.
        QCOMPARE(s.w->focusWidget(), s.Find("recordingList"));
        s.answer = true;
        QMetaObject::invokeMethod(target, exitButton ? "click" : "close");
      });
      QVERIFY(s.CopyNow());
      QCOMPARE(s.questions, (QStringList{"A copy is running. Stop it and quit?",
                                         "A copy is running. Stop it and quit?"}));
      QVERIFY(leftAt > 0 && leftAt < 50 && s.w->isClosing() && !s.w->isVisible());
      QCOMPARE(s.endings, exitButton ? QList<int>{0} : QList<int>{});
      QVERIFY2(s.DestFiles().isEmpty(), qPrintable(s.DestFiles().join(", ")));
      QCOMPARE(s.Marks().section(", ", 1), "x default, - default, - default");
    }
  }

  // Ticked before the read, the search of the whole disk lists what the catalogue lost after
  // the other rows, with a progress bar and Stop; a found row copies like any other.
  void aSearchOfTheWholeDiskFindsWhatTheCatalogueLostAndCanBeStopped() {
    mk::ImageDesign design = FourRecordings();
    design.recordings.resize(1);
    mk::ImageRecording lost;
    lost.stream = mk::StreamDesign{};
    lost.stream->time = 1736105400;  // 19:30 on 5 January 2025
    lost.stream->eventName = "Quiz";
    lost.size = 3000 * 188;
    lost.clusters = {40, 41};
    lost.withMediaFile = lost.withRecord = lost.inTable = false;  // deleted
    design.recordings.push_back(lost);

    // Stopped at its first progress, the search lists nothing more and leaves the list usable.
    Session stopped;
    stopped.w->openDisk = Slow(std::chrono::milliseconds(200), 2 * 1024 * 1024);
    stopped.Find<QCheckBox>("deepBox")->setChecked(true);
    auto* bar = stopped.Find<QProgressBar>("recordingProgress");
    bool barSaid = false;
    QObject::connect(bar, &QProgressBar::valueChanged, stopped.w.get(), [&] {
      if (barSaid) return;
      barSaid = bar->text().startsWith("Searching the whole disk: ");
      if (barSaid) stopped.Find<QPushButton>("stopButton")->click();
    });
    stopped.ReadList(design);
    QVERIFY(barSaid && !bar->isVisible() && stopped.Visible("readListButton"));
    QCOMPARE(stopped.List()->topLevelItemCount(), 1);
    QCOMPARE(stopped.Status(),
             QStringLiteral("%1 The search of the whole disk was stopped: no lost "
                            "recordings are listed.")
                 .arg(kCheckItems));

    Session s;
    s.Find<QCheckBox>("deepBox")->setChecked(true);
    s.ReadList(design);
    QCOMPARE(s.List()->topLevelItemCount(), 2);
    QCOMPARE(s.Row(2)->text(0), "found_001_20250105-1930_Quiz.ts");
    QCOMPARE(s.Marks(), "- default, - found");
    QVERIFY(!s.Enabled("deepBox") && !s.Enabled("unlistedBox"));
    QCOMPARE(s.Status(), QStringLiteral("%1 The search of the whole disk found 1 lost recording, "
                                        "listed as found_NNN.")
                             .arg(kCheckItems));
    s.Tick(2);
    QVERIFY(s.CopyNow());
    QCOMPARE(s.Marks(), "- default, - downloaded");
    const std::vector<uint8_t> made = mk::StreamBytes(*lost.stream, lost.seed, 0, lost.size);
    QVERIFY(s.DestFile(s.Row(2)->text(0)) ==
            QByteArray(reinterpret_cast<const char*>(made.data()), qsizetype(made.size())));
    // Not remembered: the next start has it off.
    s.w.reset();
    s.Open();
    QVERIFY(!s.Find<QCheckBox>("deepBox")->isChecked());
  }

  // On a stick whose file system holds no file as large as a recording (FAT32: 4 GiB; here a
  // few clusters, told through the window's seam), the recording is copied in parts unless the
  // user says not to; the box shows only there and is remembered.
  void aRecordingTooLargeForTheStickIsCopiedInPartsUnlessTheUserSaysNot() {
    constexpr int64_t kCluster = 385024, kSize = 7 * kCluster + 5000;
    Session s;
    QVERIFY(!s.Visible("splitBox"));
    s.w->queryVolume = [](const std::string&) {
      return skelbrook::VolumeInfo{"vfat", -1, 3 * kCluster + 100, -1};
    };
    mk::ImageDesign design = FourRecordings();
    design.recordings[0].size = kSize;
    s.ReadList(design);
    QTRY_VERIFY(s.Visible("splitBox"));
    QVERIFY(s.Find<QCheckBox>("splitBox")->isChecked());
    // With every option shown the window still fits a screen 1,280 pixels wide.
    QVERIFY2(s.w->minimumSizeHint().width() <= 1280,
             qPrintable(QString::number(s.w->minimumSizeHint().width())));
    s.Tick(1);
    QVERIFY(s.CopyNow());
    const QString stem = QString(kNameA).chopped(3);
    const QStringList parts{stem + " - part1.ts", stem + " - part2.ts", stem + " - part3.ts"};
    QCOMPARE(s.DestFiles(), parts);
    QCOMPARE(s.DestFile(parts[0]) + s.DestFile(parts[1]) + s.DestFile(parts[2]),
             Expected(31, 0, kSize));
    QCOMPARE(s.Row(1)->toolTip(2), "Copied in 3 parts, " + parts.join(", ") +
                                       ": the recording is larger than the destination holds in "
                                       "one file. A media library plays them as one.");

    // Not ticked: remembered, and such a recording is not copied at all.
    s.Find<QCheckBox>("splitBox")->setChecked(false);
    QVERIFY(ReadAll(s.Settings()).contains("Split for FAT32=0\r\n"));
    for (const QString& part : parts) QVERIFY(QFile::remove(s.dest.filePath(part)));
    s.Tick(1);
    QVERIFY(s.CopyNow());
    QCOMPARE(s.w->rowIconKey(0), "failed");
    QVERIFY(s.DestFiles().isEmpty());
    s.w.reset();
    s.Open();
    QVERIFY(!s.Find<QCheckBox>("splitBox")->isChecked() && !s.Visible("splitBox"));
  }

  void copiesGoToTheVideosFolderNotTheHiddenOneTheWindowKeepsItsFilesIn() {
    QTemporaryDir program, config, user;
    const QString videos = user.filePath(QStringLiteral("Videos"));
    // Installed: the Videos folder, or the home folder where there is none.
    QCOMPARE(skelbrook::window::FirstDestination(config.path(), config.path(), videos, user.path()),
             user.path());
    QVERIFY(QDir(user.path()).mkdir(QStringLiteral("Videos")));
    QCOMPARE(skelbrook::window::FirstDestination(config.path(), config.path(), videos, user.path()),
             videos);
    // A portable copy keeps its own folder.
    QCOMPARE(
        skelbrook::window::FirstDestination(program.path(), config.path(), videos, user.path()),
        program.path());
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
