// The portable-copy rule.
#include "window/home_folder.h"

#include <QDir>
#include <QFileInfo>

namespace skelbrook::window {

QString HomeFolder(const QString& programFolder, const QString& buildFolder,
                   const QString& configFolder) {
  const QDir program(programFolder);
  if (QFileInfo::exists(program.filePath(QString::fromLatin1(kPortableMarker))))
    return programFolder;
  if (!buildFolder.isEmpty()) {
    const QString built = QDir(buildFolder).canonicalPath();
    const QString here = program.canonicalPath();
    if (!built.isEmpty() && (here == built || here.startsWith(built + QLatin1Char('/'))))
      return programFolder;
  }
  QDir().mkpath(configFolder);
  return configFolder;
}

QString FirstDestination(const QString& homeFolder, const QString& configFolder,
                         const QString& videosFolder, const QString& userHome) {
  if (QDir(homeFolder) != QDir(configFolder)) return homeFolder;
  if (!videosFolder.isEmpty() && QFileInfo(videosFolder).isDir()) return videosFolder;
  return userHome;
}

}  // namespace skelbrook::window
