// The desktop program: one window over the recorder disk. Its settings file and recordings list
// live beside the program only for a portable copy, otherwise in the user's configuration folder.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>

#include "session/home_folder.h"
#include "window/main_window.h"
#ifdef SKELBROOK_UDISKS
#include "window/udisks.h"
#endif

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("skelbrook"));
  QCoreApplication::setApplicationVersion(QStringLiteral(SKELBROOK_VERSION));

  namespace session = skelbrook::session;
  const auto utf8 = [](const QString& s) { return s.toUtf8().toStdString(); };
  const std::string config =
      utf8(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
  const std::string home = session::HomeFolder(utf8(QCoreApplication::applicationDirPath()),
                                               SKELBROOK_BUILD_FOLDER, config);
  const std::string first = session::FirstDestination(
      home, config, utf8(QStandardPaths::writableLocation(QStandardPaths::MoviesLocation)),
      utf8(QDir::homePath()));
  skelbrook::window::MainWindow form(QString::fromStdString(home), QString::fromStdString(first));
#ifdef SKELBROOK_UDISKS
  form.session().SeamsInUse().openDisk = skelbrook::WithRightsFallback(
      skelbrook::OpenRawDisk, skelbrook::window::OpenThroughUDisks, skelbrook::LacksRightsToRead);
#endif
  if (!form.session().StartupStatus().ok()) {
    QMessageBox::critical(nullptr, form.windowTitle(),
                          QString::fromStdString(form.session().StartupStatus().message()));
    return 1;
  }
  form.show();
  return app.exec();
}
