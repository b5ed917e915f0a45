// The desktop program: one window over the recorder disk. Its settings file and recordings list
// live beside the program when that folder is writable (a portable install), otherwise in the
// user's configuration folder.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QStandardPaths>

#include "window/main_window.h"

namespace {

// Whether a file can really be created in `folder`: on Windows a folder's attributes say nothing
// about the rights to write in it (Program Files), so a probe file is the only sure test.
bool CanCreateFilesIn(const QString& folder) {
  QFile probe(QDir(folder).filePath(QStringLiteral("skelbrook-write-probe.tmp")));
  if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
  probe.close();
  probe.remove();
  return true;
}

QString HomeFolder() {
  const QString programFolder = QCoreApplication::applicationDirPath();
  if (CanCreateFilesIn(programFolder)) return programFolder;
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
