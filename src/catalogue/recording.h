// One recording of the list: everything its row shows and everything its copy becomes, in one
// value. The catalogue holds one per row, in list order; rows are numbered from 1 only where the
// user sees them (the window's list, the command line, JSON).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "disk/file_location.h"

namespace skelbrook {

// The pictures a row can show. A window keeps them under their keys (IconKey), in this order.
enum class RowIcon {
  Failed,       // "failed": the copy did not happen
  Downloaded,   // "downloaded": copied whole
  Default,      // "default": listed, not copied yet
  Downloading,  // "downloading": being copied
  Incomplete,   // "incomplete": a rescue kept the copy with some bytes unreadable (zeros)
  Found,        // "found": a recording the catalogue lost, found by a search of the whole disk
};
inline constexpr RowIcon kRowIcons[] = {RowIcon::Failed,      RowIcon::Downloaded, RowIcon::Default,
                                        RowIcon::Downloading, RowIcon::Incomplete, RowIcon::Found};

// The icon's key: "failed", "downloaded", "default", "downloading", "incomplete", "found".
const char* IconKey(RowIcon icon);

struct Recording {
  int slot = 0;  // the recorder's number of the recording, 2..255 for a media file

  // What the row shows.
  std::string rowText;            // first column: the file name, numbered when another row has it
  std::string channelAndTimes;    // "Channel HH:MM~HH:MM", from this row's own record
  std::string sizeText;           // "###,###,###,### Bytes"
  std::string guideText;          // the programme description the details box shows
  int64_t guideSectorOffset = 0;  // absolute byte offset of its guide sector; 0 = none
  std::vector<std::string> problems;  // what went wrong reading its catalogue entries

  // What its copy becomes.
  std::string fileStem;  // the copy's name without ".ts"
  std::string title;     // as broadcast, after the prefix rule and before file-name cleaning
  std::string channel;
  int64_t startTime = 0;  // seconds since 1970-01-01 UTC
  int64_t endTime = 0;
  bool unlisted = false;  // a media file that no record of the catalogue names
  MediaFile media;        // its slot's media file (a found recording: its first byte and size)

  // A recording the catalogue lost, found by a search of the whole disk: no slot, no record; its
  // clusters in stream order, how it was found, and how long its stream's clock runs.
  bool found = false;
  const char* how = "";
  std::vector<int64_t> clusters;
  double durationSeconds = 0;

  // Its state in the list.
  RowIcon icon = RowIcon::Default;
  bool ticked = false;
};

// Gives each appended row a text no other row has: a text already in use gets the next number
// appended, counting over the whole list.
class RowTexts {
 public:
  std::string Unique(const std::string& text);

 private:
  int32_t duplicateCounter_ = 0;  // raised for every row whose text was already in use
  std::unordered_set<std::string> used_;
};

// Appends `recording` to the list with its row text made unique; returns its index.
size_t AppendRow(std::vector<Recording>& list, RowTexts& texts, Recording recording);

}  // namespace skelbrook
