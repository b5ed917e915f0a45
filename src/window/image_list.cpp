#include "window/image_list.h"

#include "catalogue/recording.h"

// The pictures live in a static library, whose resource registration the linker may otherwise
// leave out; registering them by hand keeps them in.
static bool RegisterWindowResources() {
  Q_INIT_RESOURCE(window);
  return true;
}
static void InitWindowResources() {
  [[maybe_unused]] static const bool once = RegisterWindowResources();
}

namespace skelbrook::window {

ImageList::ImageList(QObject* parent) : QObject(parent) {
  InitWindowResources();
  setObjectName(QStringLiteral("rowIcons"));
  // The order the recordings list has always had them in.
  Add(QString::fromLatin1(kIconFailed), QStringLiteral(":/icons/failed.png"));
  Add(QString::fromLatin1(kIconDownloaded), QStringLiteral(":/icons/downloaded.png"));
  Add(QString::fromLatin1(kIconDefault), QStringLiteral(":/icons/default.png"));
  Add(QString::fromLatin1(kIconDownloading), QStringLiteral(":/icons/downloading.png"));
  // A rescue's copy kept with unreadable bytes: neither copied nor failed.
  Add(QString::fromLatin1(kIconIncomplete), QStringLiteral(":/icons/incomplete.png"));
  // A recording the catalogue lost, found by a search of the whole disk.
  Add(QString::fromLatin1(kIconFound), QStringLiteral(":/icons/found.png"));
}

void ImageList::Add(const QString& key, const QString& resource) {
  // QIcon picks up the "@2x" picture beside each one for high-density screens. The same picture
  // is given for a selected row, which a style would otherwise tint with the highlight colour
  // until the icon is lost in it.
  QIcon icon;
  for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Selected}) icon.addFile(resource, {}, mode);
  entries_.push_back({key, icon});
}

QIcon ImageList::Icon(const QString& key) const {
  for (const Entry& e : entries_) {
    if (e.key == key) return e.icon;
  }
  return {};
}

QStringList ImageList::Keys() const {
  QStringList keys;
  for (const Entry& e : entries_) keys << e.key;
  return keys;
}

}  // namespace skelbrook::window
