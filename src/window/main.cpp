// The desktop program: one window over the recorder disk. Its settings file and recordings list
// live beside the program when that folder is writable (a portable install), otherwise in the
// user's configuration folder.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

#include "window/main_window.h"

namespace {

QString HomeFolder() {
  const QString programFolder = QCoreApplication::applicationDirPath();
  if (QFileInfo(programFolder).isWritable()) return programFolder;
  const QString configFolder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  QDir().mkpath(configFolder);
  return configFolder;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("skelbrook"));
  QCoreApplication::setApplicationVersion(QStringLiteral(SKELBROOK_VERSION));

  skelbrook::window::frmTest form(HomeFolder());
  if (!form.StartupStatus().ok()) {
    QMessageBox::critical(nullptr, form.windowTitle(),
                          QString::fromStdString(form.StartupStatus().message()));
    return 1;
  }
  form.show();
  return app.exec();
}
