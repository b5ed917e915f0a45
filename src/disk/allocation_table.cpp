// Allocation tables are read a mebibyte at a time through one reused buffer and decoded as they
// come, so loading a table of a million entries costs little more than reading it.
#include "disk/allocation_table.h"

#include <algorithm>
#include <new>

#include "common/endian.h"
#include "disk/layout.h"

namespace skelbrook {
namespace {

constexpr int64_t kTableChunk = 1 << 20;

}  // namespace

int64_t RoundedClusterNumber(int64_t distance, int64_t clusterSize) {
  int64_t whole = distance / clusterSize;
  int64_t rest = distance % clusterSize;
  if (rest < 0) {
    rest += clusterSize;
    --whole;
  }
  if (rest * 2 > clusterSize || (rest * 2 == clusterSize && (whole & 1) != 0)) ++whole;
  return whole;
}

int64_t TableReadSize(int64_t entries) {
  return (entries * 4 / kSectorSize + 1) * kSectorSize;
}

bool EntryUnknown(const std::vector<ReadGap>& unknown, int64_t offset, int64_t index) {
  return !unknown.empty() && Overlaps(unknown, offset + 4 * index, 4);
}

bool LoadAllocationTable(Drive& drive, int64_t offset, int64_t entries, AllocationTable& table,
                         const char* area, UnreadableList& list, std::vector<ReadGap>& unknown) {
  table.clear();
  unknown.clear();
  try {
    table.reserve(static_cast<size_t>(entries) + 1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const int64_t readSize = TableReadSize(entries);
  for (int64_t at = 0; at < readSize && static_cast<int64_t>(table.size()) < entries;
       at += kTableChunk) {
    const int64_t piece = std::min(kTableChunk, readSize - at);
    // Only the entries count: the rest of the last sector is padding.
    const std::vector<ReadGap> gaps =
        ReadArea(drive, offset + at, piece, area, list, entries * 4 - at);
    unknown.insert(unknown.end(), gaps.begin(), gaps.end());
    const int64_t first = static_cast<int64_t>(table.size());
    const int64_t count = std::min(entries, (at + piece) / 4) - first;
    table.resize(static_cast<size_t>(first + count));
    const uint8_t* raw = drive.Buffer().data();
    uint32_t* out = table.data() + first;
    for (int64_t i = 0; i < count; ++i) out[i] = LittleEndian32(raw + 4 * i);
  }
  table.resize(static_cast<size_t>(entries) + 1, 0);
  return true;
}

}  // namespace skelbrook
