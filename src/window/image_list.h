// rowIcons: the four row icons of the recordings list, kept under their keys ("failed",
// "downloaded", "default", "downloading") and drawn for this program (built in as resources).
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace skelbrook::window {

class ImageList : public QObject {
  Q_OBJECT

 public:
  explicit ImageList(QObject* parent = nullptr);

  // The icon under `key`; an empty icon for a key that is not in the list.
  QIcon Icon(const QString& key) const;
  // The keys in the order the icons were added.
  QStringList Keys() const;

 private:
  void Add(const QString& key, const QString& resource);

  struct Entry {
    QString key;
    QIcon icon;
  };
  std::vector<Entry> entries_;
};

}  // namespace skelbrook::window
