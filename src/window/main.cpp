// The desktop program: one window over the recorder disk. Its settings file and recordings list
// live beside the program only for a portable copy, otherwise in the user's configuration folder.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>

#include "window/home_folder.h"
#include "window/main_window.h"
#ifdef SKELBROOK_UDISKS
#include "window/udisks.h"
#endif

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("skelbrook"));
  QCoreApplication::setApplicationVersion(QStringLiteral(SKELBROOK_VERSION));

  const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  const QString home = skelbrook::window::HomeFolder(
      QCoreApplication::applicationDirPath(), QStringLiteral(SKELBROOK_BUILD_FOLDER), config);
  skelbrook::window::MainWindow form(
      home, skelbrook::window::FirstDestination(
                home, config, QStandardPaths::writableLocation(QStandardPaths::MoviesLocation),
                QDir::homePath()));
#ifdef SKELBROOK_UDISKS
  form.openDisk = skelbrook::WithRightsFallback(
      skelbrook::OpenRawDisk, skelbrook::window::OpenThroughUDisks, skelbrook::LacksRightsToRead);
#endif
  if (!form.startupStatus().ok()) {
    QMessageBox::critical(nullptr, form.windowTitle(),
                          QString::fromStdString(form.startupStatus().message()));
    return 1;
  }
  form.show();
  return app.exec();
}
