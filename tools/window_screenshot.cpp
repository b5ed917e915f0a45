// Renders the window for the README: the demo disk listed, three recordings ticked, the first
// copied and the second being copied. Run on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen skelbrook_window_screenshot docs/window.png
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

#include "mkimage/image_writer.h"
#include "window/main_window.h"

namespace {

constexpr int kTitleBarHeight = 30;
constexpr int kRowBeingCopied = 1;  // the second row
constexpr int kShotAtPercent = 40;

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
  form.findChild<QLineEdit*>(QStringLiteral("driveEdit"))->setText(image);
  form.chooseDestination();
  form.readList();

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
    if (!shot.isNull() || value < kShotAtPercent) return;
    if (form.rowIconKey(kRowBeingCopied) != QStringLiteral("downloading")) return;
    shot = WithTitleBar(form, form.grab());
  });
  form.copyTicked();

  if (shot.isNull() || !shot.save(out)) {
    std::fprintf(stderr, "no picture written to %s\n", qPrintable(out));
    return 1;
  }
  std::printf("%s\n", qPrintable(out));
  return 0;
}
