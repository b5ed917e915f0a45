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

namespace skelbrook {

struct MediaGeometry {
  bool KnownDrive = false;
  int64_t MediaDirOffset = 0;
  int64_t MediaFatCount = 0;
  int64_t MediaDataOffset = 0;
  int64_t MediaFatOffset = 0;
  // Element i is the table's entry i; the extra last element is always 0. The successor of
  // cluster c is MediaFat[c + 1].
  AllocationTable MediaFat;
  // Size of the drive in bytes as it was when recognised; 0 when the platform could not tell.
  // The copy refuses recordings that would lie beyond it.
  int64_t DriveSize = 0;
  // Why the drive was not recognised, for diagnostics; empty when it was.
  std::string RejectReason;
};

// The two settings the window stores each time a drive is read: where the settings file is,
// the destination folder and the drive-box text. The command line passes none.
struct SettingsToSave {
  std::string settingsPath;
  std::string saveTo;
  std::string physicalDrive;
};

// Saves the settings (when given), then reads the media descriptor, decides whether the drive is
// a 9200T disk and, if so, loads MediaFat. The drive must be open; it is not closed here.
// Returns an error only when the settings could not be written; recognition is in KnownDrive.
Status GetFileOffset(Drive& drive, MediaGeometry& geometry, const SettingsToSave* settings);

// Absolute byte offset of media cluster `cluster`.
inline int64_t MediaClusterOffset(const MediaGeometry& geometry, int64_t cluster) {
  return geometry.MediaDataOffset + cluster * kMediaClusterSize;
}

}  // namespace skelbrook
