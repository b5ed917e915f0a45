// Appending rows to the recordings list, numbering repeated keys.
#include "catalogue/recording_rows.h"

namespace skelbrook {

int AddToList(RecordingRows& list, const std::string& ItemText, const std::string& ChannelTime,
              const std::string& SizeText) {
  std::string key = ItemText;
  if (list.keys.count(key) != 0) {
    // A numbered key can itself be taken (a title that ends in digits): take the next number.
    do {
      ++list.DuplicateKeyCount;
      key = ItemText + std::to_string(list.DuplicateKeyCount);
    } while (list.keys.count(key) != 0);
  }
  list.keys.insert(key);
  RecordingRow row;
  row.key = key;
  row.text = key;
  row.channelTime = ChannelTime;
  row.sizeText = SizeText;
  list.rows.push_back(std::move(row));
  return static_cast<int>(list.rows.size());
}

}  // namespace skelbrook
