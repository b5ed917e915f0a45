// Appending rows to the recordings list, numbering repeated texts.
#include "catalogue/recording.h"

namespace skelbrook {

const char* IconKey(RowIcon icon) {
  switch (icon) {
    case RowIcon::Failed:
      return "failed";
    case RowIcon::Downloaded:
      return "downloaded";
    case RowIcon::Default:
      return "default";
    case RowIcon::Downloading:
      return "downloading";
    case RowIcon::Incomplete:
      return "incomplete";
    case RowIcon::Found:
      return "found";
  }
  return "default";
}

std::string RowTexts::Unique(const std::string& text) {
  std::string unique = text;
  if (used_.count(unique) != 0) {
    // A numbered text can itself be taken (a title that ends in digits): take the next number.
    do {
      ++duplicateCounter_;
      unique = text + std::to_string(duplicateCounter_);
    } while (used_.count(unique) != 0);
  }
  used_.insert(unique);
  return unique;
}

size_t AppendRow(std::vector<Recording>& list, RowTexts& texts, Recording recording) {
  recording.rowText = texts.Unique(recording.rowText);
  list.push_back(std::move(recording));
  return list.size() - 1;
}

}  // namespace skelbrook
