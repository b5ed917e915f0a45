// rowIcons: the pictures a row of the recordings list can show, one for each RowIcon, kept
// under its key ("failed", "downloaded", "default", "downloading", "incomplete", "found") and
// drawn for this program (built in as resources).
#pragma once

#include <QIcon>
#include <QObject>
#include <QStringList>
#include <vector>

#include "catalogue/recording.h"

namespace skelbrook::window {

class ImageList : public QObject {
  Q_OBJECT

 public:
  explicit ImageList(QObject* parent = nullptr);

  QIcon Icon(RowIcon icon) const;
  // The keys in the order the icons were added.
  QStringList Keys() const;

 private:
  std::vector<QIcon> icons_;  // in the order of kRowIcons
};

}  // namespace skelbrook::window
