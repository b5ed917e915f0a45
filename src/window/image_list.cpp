#include "window/image_list.h"

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
  for (const RowIcon key : kRowIcons) {
    // QIcon picks up the "@2x" picture beside each one for high-density screens. The same
    // picture is given for a selected row, which a style would otherwise tint with the highlight
    // colour until the icon is lost in it.
    const QString resource =
        QStringLiteral(":/icons/%1.png").arg(QString::fromLatin1(IconKey(key)));
    QIcon icon;
    for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Selected})
      icon.addFile(resource, {}, mode);
    icons_.push_back(icon);
  }
}

QIcon ImageList::Icon(RowIcon icon) const {
  const auto index = static_cast<size_t>(icon);
  return index < icons_.size() ? icons_[index] : QIcon();
}

QStringList ImageList::Keys() const {
  QStringList keys;
  for (const RowIcon key : kRowIcons) keys << QString::fromLatin1(IconKey(key));
  return keys;
}

}  // namespace skelbrook::window
