// The desktop window as a user meets it: its widgets show what the session describes, and the
// mouse and the keyboard reach the session through them. The rules themselves are tested on the
// session (tests/session); here only what needs Qt: the controls, their order and pictures, the
// keyboard paths, the list's clicks and ticks, a copy started from the button, leaving by the
// close box, the disk finder's menu, the window's size, and a window that stays live while the
// disk is slow.
#include <QtTest>
#include <QtWidgets>
#include <chrono>
#include <memory>
#include <thread>

#include "mkimage/image_writer.h"
#include "support/failing_disk.h"
#include "support/test_support.h"
#include "window/image_list.h"
#include "window/main_window.h"
#ifdef SKELBROOK_UDISKS
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "window/udisks.h"
#endif

using skelbrook::test::Slow;
using skelbrook::test::ThreeRecordings;
using skelbrook::window::MainWindow;
namespace mk = skelbrook::mkimage;

namespace {

const QString kNameA = QStringLiteral("003_073005Mar_Morning Show.ts");

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A window on a fresh home folder, with a destination folder beside it and the user's dialogs
// answered by the test.
struct Window {
  QTemporaryDir home, dest, disks;
  std::unique_ptr<MainWindow> w;
  QStringList questions;
  bool answer = true;
  QList<int> endings;

  Window() {
    w = std::make_unique<MainWindow>(home.path());
    w->browseForFolder = [this](QWidget*, const QString&, const QString&) { return dest.path(); };
    w->askYesNo = [this](const QString& question) {
      questions << question;
      return answer;
    };
    w->endProgram = [this](int code) { endings << code; };
    w->show();
  }
  template <typename Signal>
  bool AwaitAfter(Signal signal, const std::function<void()>& start) {
    QSignalSpy ended(w.get(), signal);
    start();
    return ended.wait(20000);
  }
  QString Image(const mk::ImageDesign& design) {
    const QString path = disks.filePath(QStringLiteral("disk.img"));
    if (!mk::WriteImage(design, path.toStdString()).ok()) qFatal("cannot write the image");
    return path;
  }
  template <typename T = QWidget>
  T* Find(const char* name) {
    if (T* child = w->findChild<T*>(QString::fromLatin1(name))) return child;
    qFatal("no control named %s", name);
  }
  QString Text(const char* name) { return Find(name)->property("text").toString(); }
  QTreeWidget* List() { return Find<QTreeWidget>("recordingList"); }
  QTreeWidgetItem* Row(int row) { return List()->topLevelItem(row - 1); }
  QString Details() { return Find<QPlainTextEdit>("detailsBox")->toPlainText(); }
  // Types the image's path in the drive box, chooses the destination and presses Enter there.
  bool ReadByKeyboard(const QString& image) {
    Find<QPushButton>("destinationButton")->click();
    auto* drive = Find<QLineEdit>("driveEdit");
    drive->clear();
    QTest::keyClicks(drive, image);
    return AwaitAfter(&MainWindow::listReadEnded, [&] { QTest::keyClick(drive, Qt::Key_Return); });
  }
  // The point of the check box of list row `row`.
  QPoint CheckBoxOf(int row) {
    const QRect rect = List()->visualItemRect(Row(row));
    return QPoint(rect.left() + List()->style()->pixelMetric(QStyle::PM_IndicatorWidth) / 2 + 4,
                  rect.center().y());
  }
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

  // The controls under their names and captions, the keyboard's way through them, and the row
  // pictures, each of which stands out on a selected row's highlight and from the others.
  void theControlsAndTheirPictures() {
    Window s;
    QStringList captions{s.w->windowTitle()};
    for (const char* name : {"driveLabel", "driveEdit", "statusLabel", "readListButton",
                             "copyButton", "exitButton", "destinationButton", "findDiskButton"})
      captions << s.Text(name);
    for (int c = 0; c < s.List()->columnCount(); ++c) captions << s.List()->headerItem()->text(c);
    QCOMPARE(captions.join(QLatin1Char('|')),
             "9200TSkelbrook 0.89  (oska)|Drive number, or device or image path:|2||Read "
             "filelist from 9200T|Copy files to PC|Exit|Destination folder|Find disk|Programme "
             "name|File size|Status");
    QVERIFY(s.Find("readListButton")->isEnabled() && !s.Find("copyButton")->isEnabled());
    QVERIFY(!s.Find("stopButton")->isVisible() && !s.Find("recordingProgress")->isVisible());
    QCOMPARE(s.w->focusWidget(), s.Find("driveEdit"));
    QWidget* option = s.Find("unlistedBox");
    for (const char* next : {"deepBox", "nfoBox", "splitBox", "rescueBox"}) {
      option = option->nextInFocusChain();
      QCOMPARE(option->objectName(), QString::fromLatin1(next));
    }

    auto* images = s.Find<skelbrook::window::ImageList>("rowIcons");
    QCOMPARE(images->Keys(), (QStringList{"failed", "downloaded", "default", "downloading",
                                          "incomplete", "found"}));
    const QColor highlight = s.List()->palette().color(QPalette::Highlight);
    QList<QImage> drawn;
    for (const skelbrook::RowIcon key : skelbrook::kRowIcons) {
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
      QVERIFY2(apart >= 256 / 3, skelbrook::IconKey(key));
      QVERIFY2(!drawn.contains(on), skelbrook::IconKey(key));
      drawn << on;
    }
  }

  // Typed and read with Enter; ticked with the mouse and with Space; the details follow the
  // arrow keys; copied with the button; the status line wraps and carries its text as a tooltip.
  void aUserReadsTicksAndCopiesWithMouseAndKeyboard() {
    Window s;
    QVERIFY(s.ReadByKeyboard(s.Image(ThreeRecordings())));
    QCOMPARE(s.List()->topLevelItemCount(), 3);
    QCOMPARE(s.Row(1)->text(0), kNameA);
    QCOMPARE(s.Row(1)->text(1), "780,048 Bytes");
    QCOMPARE(s.Row(1)->text(2), "ONE 07:30~08:15");
    QCOMPARE(s.w->focusWidget(), s.List());  // never Exit, which one Space would press
    for (const char* gone : {"driveEdit", "destinationButton", "findDiskButton"})
      QVERIFY2(!s.Find(gone)->isVisible(), gone);
    QVERIFY(s.Find("diskLabel")->isVisible());

    QTest::mouseClick(s.List()->viewport(), Qt::LeftButton, {}, s.CheckBoxOf(1));
    QCOMPARE(s.Row(1)->checkState(0), Qt::Checked);
    QVERIFY(s.Text("statusLabel").startsWith("1 file selected totaling 780048 bytes. "));
    QCOMPARE(s.Details(), "Breakfast and the news.");
    QVERIFY(s.Find("copyButton")->isEnabled());
    QTest::keyClick(s.List(), Qt::Key_Down);  // the details follow the arrow keys
    QCOMPARE(s.Details(), "A thriller on rails.");
    QTest::keyClick(s.List(), Qt::Key_Space);
    QCOMPARE(s.Row(2)->checkState(0), Qt::Checked);
    QVERIFY(s.Text("statusLabel").startsWith("2 files selected totaling 1170072 bytes. "));

    QVERIFY(s.AwaitAfter(&MainWindow::batchEnded,
                         [&] { QTest::mouseClick(s.Find("copyButton"), Qt::LeftButton); }));
    QCOMPARE(s.Row(1)->checkState(0), Qt::Unchecked);
    QCOMPARE(s.w->rowIconKey(0), "downloaded");
    QCOMPARE(s.Row(1)->icon(0).cacheKey() == s.Row(3)->icon(0).cacheKey(), false);
    QCOMPARE(ReadAll(s.dest.filePath(kNameA)).size(), 780048);
    for (const char* bar : {"recordingProgress", "batchProgress"})
      QVERIFY2(s.Find<QProgressBar>(bar)->isVisible() && s.Find<QProgressBar>(bar)->value() == 100,
               bar);
    QCOMPARE(s.Find<QProgressBar>("batchProgress")->text(), "All ticked recordings: 100%");
    auto* status = s.Find<QLabel>("statusLabel");
    QVERIFY(status->text().endsWith(". 2 copied"));
    QVERIFY(status->wordWrap() && status->toolTip() == status->text());
    QVERIFY(!s.Find("copyButton")->isEnabled());
    QCOMPARE(s.w->focusWidget(), s.List());
  }

  // A long list: a column's title puts it in order (again, the other way round); the search box,
  // reached with Ctrl+F, shows what holds every word and Esc clears it; Ctrl+A in the list and
  // the buttons above it tick what is shown.
  void theListIsSortedSearchedAndTickedWithMouseAndKeyboard() {
    Window s;
    QVERIFY(s.ReadByKeyboard(s.Image(ThreeRecordings())));
    const auto names = [&s] {
      QStringList shown;
      for (int r = 1; r <= s.List()->topLevelItemCount(); ++r) shown << s.Row(r)->text(0).left(3);
      return shown.join(QLatin1Char(' '));
    };
    QHeaderView* header = s.List()->header();
    const auto clickTitle = [&](int column) {
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                        QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
    };
    clickTitle(1);  // File size: 389,024 < 390,024 < 780,048
    QCOMPARE(names(), "007 011 003");
    QVERIFY(header->isSortIndicatorShown() && header->sortIndicatorSection() == 1);
    clickTitle(1);
    QCOMPARE(names(), "003 011 007");
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickTitle(0);  // by title: Film: Night Train, Late News, Morning Show
    QCOMPARE(names(), "011 007 003");

    s.List()->setFocus();
    QTest::keyClick(s.w.get(), Qt::Key_F, Qt::ControlModifier);
    auto* search = s.Find<QLineEdit>("searchEdit");
    QCOMPARE(s.w->focusWidget(), search);
    QTest::keyClicks(search, "NEWS");  // Late News, and Morning Show by its guide text
    QCOMPARE(names(), "007 003");
    QVERIFY(s.Text("statusLabel").endsWith("Showing 2 of 3 recordings."));
    QTest::keyClick(search, Qt::Key_Escape);
    QCOMPARE(search->text(), "");
    QCOMPARE(names(), "011 007 003");

    QTest::keyClicks(search, "show");
    QCOMPARE(names(), "003");
    s.List()->setFocus();  // as a click on the list gives it
    QTest::keyClick(s.List(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(s.Row(1)->checkState(0), Qt::Checked);
    QVERIFY(s.Text("statusLabel").startsWith("1 file selected totaling 780048 bytes."));
    search->clear();
    QTest::mouseClick(s.Find("tickShownButton"), Qt::LeftButton);
    QVERIFY(s.Text("statusLabel").startsWith("3 files selected totaling 1559096 bytes."));
    QTest::mouseClick(s.Find("untickAllButton"), Qt::LeftButton);
    QCOMPARE(s.Text("statusLabel"), "Check the items required for transfer.");
    QVERIFY(!s.Find("copyButton")->isEnabled());
  }

  // The close box during a copy asks; No leaves the copy running and the keyboard on the list;
  // Yes stops it and the window goes once it has stopped.
  void theCloseBoxDuringACopyAsks() {
    Window s;
    mk::ImageDesign design = ThreeRecordings();
    design.recordings[0].size = 12 * 780048;
    QVERIFY(s.ReadByKeyboard(s.Image(design)));
    s.w->session().SeamsInUse().openDisk = Slow(std::chrono::milliseconds(200));
    s.Row(1)->setCheckState(0, Qt::Checked);
    s.answer = false;
    bool stillCopying = false;
    auto* bar = s.Find<QProgressBar>("recordingProgress");
    QObject::connect(bar, &QProgressBar::valueChanged, s.w.get(), [&](int value) {
      if (value <= 0 || !s.questions.isEmpty()) return;
      s.Find<QPushButton>("exitButton")->setFocus();  // as a keyboard user has it
      s.w->close();
      stillCopying = s.w->isVisible() && s.Find("stopButton")->isVisible();
      QCOMPARE(s.w->focusWidget(), s.Find("recordingList"));
      s.answer = true;
      s.w->close();
    });
    QVERIFY(s.AwaitAfter(&MainWindow::batchEnded, [&] { s.w->session().Copy(); }));
    QVERIFY(stillCopying);
    QCOMPARE(s.questions.size(), 2);
    QCOMPARE(s.questions[0], "A copy is running. Stop it and quit?");
    QVERIFY(!s.w->isVisible());
    QCOMPARE(s.endings, QList<int>{0});
    QVERIFY(QDir(s.dest.path()).entryList(QDir::Files).isEmpty());
  }

  // The disk finder's menu: the recorder's disk in bold with its mark first, chosen into the
  // drive box; however long its lines, the open menu stays on the screen.
  void theDiskFinderMenuMarksTheRecorderDiskAndStaysOnTheScreen() {
    Window s;
    const QString longImage = QStringLiteral("/home/someone/a folder with a long name/") +
                              QString(120, QLatin1Char('x')) + QStringLiteral("/recorder.img");
    s.w->session().SeamsInUse().findDisks = [longImage] {
      return std::vector<skelbrook::DiskCandidate>{
          {"/dev/sda", "SYSTEM DISK", 500107862016, false, "", true},
          {longImage.toStdString(), "", 500107862016, true, "", false}};
    };
    auto* menu = s.Find<QToolButton>("findDiskButton")->menu();
    QVERIFY(s.AwaitAfter(&MainWindow::disksFound, [&] {
      menu->popup(s.Find("findDiskButton")->mapToGlobal(QPoint(0, 0)));
      QCOMPARE(menu->actions().size(), 1);
      QCOMPARE(menu->actions()[0]->text(), "Looking for disks...");
    }));
    const QList<QAction*> disks = menu->actions();
    QCOMPARE(disks.size(), 2);
    QVERIFY(disks[1]->text().startsWith(QString::fromUtf8("9200T disk \u2014 /home/someone/")));
    QVERIFY(disks[1]->font().bold() && !disks[0]->font().bold());
    QCOMPARE(disks[1]->toolTip(),
             QString::fromUtf8("9200T disk \u2014 ") + longImage + QStringLiteral("  500.1 GB"));
    const QRect screen = menu->screen()->availableGeometry();
    QVERIFY2(screen.contains(menu->geometry()), qPrintable(QStringLiteral("menu at %1,%2 %3 wide")
                                                               .arg(menu->x())
                                                               .arg(menu->y())
                                                               .arg(menu->width())));
    disks[1]->trigger();
    menu->hide();
    QCOMPARE(s.Text("driveEdit"), longImage);
  }

  // With every option shown the window still fits a screen 1,280 pixels wide.
  void theWindowFitsA1280PixelScreen() {
    Window s;
    s.w->session().SeamsInUse().queryVolume = [](const std::string&) {
      return skelbrook::VolumeInfo{"vfat", -1, skelbrook::kFatLargestFile, -1};
    };
    s.Find<QPushButton>("destinationButton")->click();
    QTRY_VERIFY(s.Find("splitBox")->isVisible());
    QVERIFY2(s.w->minimumSizeHint().width() <= 1280,
             qPrintable(QString::number(s.w->minimumSizeHint().width())));
  }

  // The window repaints and answers while a read of the disk blocks, says that it waits, and
  // goes back to its words when the read returns.
  void theWindowStaysLiveWhileTheDiskIsSlow() {
    Window s;
    const QString image = s.Image(ThreeRecordings());
    s.w->session().SeamsInUse().openDisk =
        Slow(std::chrono::milliseconds(2600), 16 * 512, 17 * 512);
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
    QVERIFY(s.ReadByKeyboard(image));
    tick.stop();
    qInfo("largest gap between turns of the event loop: %lld ms", largestGap);
    QVERIFY2(largestGap < 100, qPrintable(QString::number(largestGap) + " ms without a turn"));
    QVERIFY2(said.contains("Waiting for the disk (2 s). A failing disk can take a minute over one "
                           "bad sector."),
             qPrintable(said.join(" | ")));
    QCOMPARE(s.Text("statusLabel"), "Check the items required for transfer.");
    QCOMPARE(s.List()->topLevelItemCount(), 3);
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
    Window s;
    const QString image = s.Image(ThreeRecordings());
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
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
