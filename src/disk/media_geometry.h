// Recognising a 9200T disk and loading its media allocation table: the geometry every later
// step (the catalogue, the copy) works from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
#include "device/drive.h"
#include "disk/allocation_table.h"
#include "disk/layout.h"
#include "disk/unreadable.h"

namespace skelbrook {

// Offsets are absolute bytes on the drive.
struct MediaGeometry {
  bool recognised = false;      // the drive reads like a 9200T disk and its table is loaded
  int64_t directoryOffset = 0;  // the media directory
  int64_t entryCount = 0;       // entries of the media allocation table, as loaded
  int64_t dataOffset = 0;       // media cluster 0
  int64_t tableOffset = 0;      // the media allocation table
  // Element i is the table's entry i; the extra last element is always 0. The successor of
  // cluster c is allocationTable[c + 1].
  AllocationTable allocationTable;
  // Size of the drive in bytes as it was when recognised; 0 when the platform could not tell.
  // The copy refuses recordings that would lie beyond it.
  int64_t driveSize = 0;
  // The byte ranges of the table that could not be read: the entries there are unknown, and no
  // chain may be followed through them.
  std::vector<ReadGap> unknownTableRanges;
  // Why the drive was not recognised, shown after the verdict; empty when it was.
  std::string rejectReason;
};

// Reads the media descriptor, decides whether the drive is a 9200T disk and, if so, loads its
// allocation table, never more of it than the drive can hold. The drive must be open; it is not
// closed here. What could not be read, and any limit that was hit, is added to `account`.
void RecogniseDisk(Drive& drive, MediaGeometry& geometry, CatalogueAccount& account);

// Whether the successor of `cluster` (entry cluster + 1) is unknown, and the words for it.
bool SuccessorUnknown(const MediaGeometry& geometry, int64_t cluster);
std::string UnknownEntryText(const MediaGeometry& geometry, int64_t cluster);

// Absolute byte offset of media cluster `cluster`.
inline int64_t MediaClusterOffset(const MediaGeometry& geometry, int64_t cluster) {
  return geometry.dataOffset + cluster * kMediaClusterSize;
}

}  // namespace skelbrook
