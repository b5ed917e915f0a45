// What the window's files share to speak to the user: text between the core's UTF-8 and Qt, the
// folder separator, the time of day, and whole-percent bar values.
#pragma once

#include <QLocale>
#include <QString>
#include <QTime>
#include <string>

#include "device/file_system.h"

namespace skelbrook::window {

inline constexpr int kProgressMax = 100;
// Where a row keeps its icon key, so that it can be read back.
inline constexpr int kIconKeyRole = Qt::UserRole + 1;

inline QString FromUtf8(const std::string& s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
inline std::string ToUtf8(const QString& s) {
  return s.toUtf8().toStdString();
}

inline QString Separator() {
  return QString(QChar::fromLatin1(FolderSeparator()));
}

// The time of day in the user's own time format, without a time-zone name.
inline QString TimeOfDay() {
  const QLocale locale = QLocale::system();
  QString format = locale.timeFormat(QLocale::LongFormat);
  format.remove(QLatin1Char('t'));
  return locale.toString(QTime::currentTime(), format.trimmed());
}

// A bar shows whole percent; a value is never rounded up, so 100 means really finished.
inline int BarValue(double percent) {
  if (!(percent > 0)) return 0;
  if (percent >= kProgressMax) return kProgressMax;
  return static_cast<int>(percent);
}

// "3:07" or "1:02:03".
inline QString Duration(int64_t seconds) {
  const auto two = [](int64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
  if (seconds >= 3600)
    return QString::number(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60);
  return QString::number(seconds / 60) + ":" + two(seconds % 60);
}

}  // namespace skelbrook::window
