// The rows of the recordings list as the window shows them, kept free of any user interface:
// key and text (duplicates numbered), channel and times, size text, icon and tick.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace skelbrook {

inline constexpr const char* kIconDefault = "default";
inline constexpr const char* kIconDownloading = "downloading";
inline constexpr const char* kIconDownloaded = "downloaded";
inline constexpr const char* kIconFailed = "failed";

struct RecordingRow {
  std::string key;
  std::string text;         // first column: the same as the key
  std::string channelTime;  // sub-item 1
  std::string sizeText;     // sub-item 2
  std::string icon = kIconDefault;
  bool ticked = false;
};

struct RecordingRows {
  std::vector<RecordingRow> rows;  // row n (1-based) is rows[n - 1]
  // Raised for every row whose key was already in use; never reset during a run.
  int32_t DuplicateKeyCount = 0;
  std::unordered_set<std::string> keys;
};

// Appends one row and returns its 1-based index. A key already in use gets the next number of
// DuplicateKeyCount appended.
int AddToList(RecordingRows& list, const std::string& ItemText, const std::string& ChannelTime,
              const std::string& SizeText);

}  // namespace skelbrook
