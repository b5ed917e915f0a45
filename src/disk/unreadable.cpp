// Reading a part of the catalogue and accounting for what would not read.
#include "disk/unreadable.h"

#include <algorithm>
#include <cstdio>

namespace skelbrook {

std::vector<ReadGap> ReadArea(Drive& drive, int64_t offset, int64_t count, const char* area,
                              UnreadableList& list, int64_t needed) {
  std::vector<ReadGap> gaps = drive.ReadSalvaging(offset, count);
  const int64_t end = offset + (needed < 0 ? count : std::min(needed, count));
  std::erase_if(gaps, [end](const ReadGap& g) { return g.first >= end; });
  for (ReadGap& g : gaps) {
    g.bytes = std::min(g.bytes, end - g.first);
    list.push_back({area, g.first, g.bytes, g.error});
  }
  return gaps;
}

std::string ByteText(int64_t offset) {
  char text[64];
  std::snprintf(text, sizeof text, "byte %lld (0x%llX)", static_cast<long long>(offset),
                static_cast<unsigned long long>(offset));
  return text;
}

std::string Describe(const UnreadableRange& range) {
  return range.area + ": " + std::to_string(range.bytes) + " bytes at " +
         ByteText(range.firstByte) + " could not be read (" + range.error + ")";
}

bool Overlaps(const std::vector<ReadGap>& gaps, int64_t first, int64_t bytes) {
  return std::any_of(gaps.begin(), gaps.end(), [&](const ReadGap& g) {
    return g.first < first + bytes && first < g.first + g.bytes;
  });
}

}  // namespace skelbrook
