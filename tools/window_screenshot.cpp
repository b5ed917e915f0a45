// Renders the window for the README: the demo disk listed, three recordings ticked, the first two
// copied and the third (the film, which lies in two pieces) being copied. Run on the offscreen
// platform:
//   QT_QPA_PLATFORM=offscreen skelbrook_window_screenshot docs/window.png
#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <thread>

#include "mkimage/image_writer.h"
#include "window/main_window.h"

namespace {

constexpr int kTitleBarHeight = 30;
constexpr int kRowBeingCopied = 3;  // the film, counted from 0
constexpr int kShotAtPercent = 20;

// The window's picture under a plain title bar carrying its caption, as a desktop shows it.
QImage WithTitleBar(const QWidget& window, const QPixmap& body) {
  QImage shot(body.width(), body.height() + kTitleBarHeight, QImage::Format_RGB32);
  shot.fill(QColor(222, 226, 231));
  QPainter p(&shot);
  p.setPen(QColor(40, 44, 52));
  QFont font = window.font();
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRect(0, 0, shot.width(), kTitleBarHeight), Qt::AlignCenter, window.windowTitle());
  p.setPen(QColor(180, 185, 192));
  p.drawLine(0, kTitleBarHeight - 1, shot.width(), kTitleBarHeight - 1);
  p.drawPixmap(0, kTitleBarHeight, body);
  return shot;
}

// The demo disk read as a USB disk reads, so that the copy is caught half way.
class UnhurriedDisk : public skelbrook::DiskReader {
 public:
  explicit UnhurriedDisk(std::unique_ptr<skelbrook::DiskReader> real) : real_(std::move(real)) {}
  int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    return real_->ReadAt(offset, into, count, error);
  }
  int64_t SizeBytes() const override { return real_->SizeBytes(); }

 private:
  std::unique_ptr<skelbrook::DiskReader> real_;
};

// Runs the event loop until `signal` of the window.
template <typename Signal>
void WaitFor(skelbrook::window::MainWindow& form, Signal signal) {
  QEventLoop loop;
  QObject::connect(&form, signal, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("window.png");

  QTemporaryDir home, dest, disks;
  const QString image = disks.filePath(QStringLiteral("demo.img"));
  const skelbrook::Status written =
      skelbrook::mkimage::WriteImage(skelbrook::mkimage::DemoImageDesign(), image.toStdString());
  if (!written.ok()) {
    std::fprintf(stderr, "cannot write the demo disk: %s\n", written.message().c_str());
    return 1;
  }

  skelbrook::window::MainWindow form(home.path());
  form.browseForFolder = [&](QWidget*, const QString&, const QString&) { return dest.path(); };
  form.resize(900, 470);
  form.show();
  form.session().SetDriveText(image.toStdString());
  form.session().SeamsInUse().openDisk = [](const std::string& path,
                                            std::unique_ptr<skelbrook::DiskReader>& disk) {
    std::unique_ptr<skelbrook::DiskReader> real;
    skelbrook::Status s = skelbrook::OpenRawDisk(path, real);
    if (s.ok()) disk = std::make_unique<UnhurriedDisk>(std::move(real));
    return s;
  };
  form.session().ChooseDestination();
  form.session().ReadList();
  WaitFor(form, &skelbrook::window::MainWindow::listReadEnded);

  auto* list = form.findChild<QTreeWidget*>(QStringLiteral("recordingList"));
  if (list == nullptr || list->topLevelItemCount() < 4) {
    std::fprintf(stderr, "the demo disk did not list\n");
    return 1;
  }
  for (int row : {1, 2, 4}) list->topLevelItem(row - 1)->setCheckState(0, Qt::Checked);

  // The picture is taken from inside the copy, once the second recording is well under way.
  QImage shot;
  auto* task = form.findChild<QProgressBar*>(QStringLiteral("recordingProgress"));
  QObject::connect(task, &QProgressBar::valueChanged, &form, [&](int value) {
    if (!shot.isNull() || value < kShotAtPercent || value >= 100) return;
    if (form.rowIconKey(kRowBeingCopied) != QStringLiteral("downloading")) return;
    shot = WithTitleBar(form, form.grab());
  });
  form.session().Copy();
  WaitFor(form, &skelbrook::window::MainWindow::batchEnded);

  if (shot.isNull() || !shot.save(out)) {
    std::fprintf(stderr, "no picture written to %s\n", qPrintable(out));
    return 1;
  }
  std::printf("%s\n", qPrintable(out));
  return 0;
}
