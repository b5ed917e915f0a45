// The map of a rescued copy: which bytes of the copied file were read off the recorder disk and
// which were not yet, kept beside the file as a GNU ddrescue mapfile, so that a later rescue run
// retries only the bad areas (and ddrescue's own tools can read it). Positions are bytes of the
// copied file, not of the disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"

namespace skelbrook {

// Area states, as the mapfile writes them.
inline constexpr char kNonTried = '?';    // not read yet
inline constexpr char kNonTrimmed = '*';  // a block that failed in the first pass
inline constexpr char kNonScraped = '/';  // being read sector by sector (read back as '*')
inline constexpr char kBadSector = '-';   // failed when read sector by sector
inline constexpr char kFinished = '+';    // read and written

struct MapArea {
  int64_t pos = 0;
  int64_t size = 0;
  char status = kNonTried;
};

class RescueMap {
 public:
  // A file of `length` bytes, none of them read.
  explicit RescueMap(int64_t length = 0);

  // Gives [pos, pos + size) the status; neighbours of the same status are merged.
  void Mark(int64_t pos, int64_t size, char status);
  const std::vector<MapArea>& Areas() const { return areas_; }
  int64_t Length() const;
  // Bytes not (yet) read.
  int64_t Missing() const;

  // The mapfile's text; `pass` and `current` (the position and state of the copy) go on its
  // status line.
  std::string Text(int64_t current, char state, int pass) const;
  // Reads a mapfile's text; nothing when it is not one, or does not cover exactly 0..length
  // (with kAnyLength, whatever length it covers).
  static constexpr int64_t kAnyLength = -1;
  static std::optional<RescueMap> Parse(const std::string& text, int64_t length);

  // Writes the mapfile beside the copy: to a temporary name first, then renamed over the old
  // map, so an interruption leaves the old map or the new one, never half of one.
  Status Save(const std::string& path, int64_t current, char state, int pass) const;
  static std::optional<RescueMap> Load(const std::string& path, int64_t length);

 private:
  std::vector<MapArea> areas_;
};

}  // namespace skelbrook
