// Finding each recording's media file in the media directory, by the slot number its name
// starts with.
#pragma once

#include <array>
#include <cstdint>

#include "disk/layout.h"

namespace skelbrook {

// A directory entry's name read as a slot number: one, two or three characters at +64 ending at
// the first "." among +65, +66, +67 (a non-digit counts as 0). letterAt is where the character
// after the "." lies, relative to the entry.
struct SlotName {
  bool hasDot = false;
  int slot = 0;
  int letterAt = 0;
};
SlotName ReadSlotName(const uint8_t* entry);

// A record count that no scan reaches: the whole media directory is scanned.
inline constexpr int32_t kWholeMediaDirectory = -1;

// What the media directory says of one slot's media file.
struct MediaFile {
  int64_t offset = 0;  // absolute byte offset of its first byte on the drive
  int64_t size = 0;    // its length in bytes
  // Part of the media directory would not read, and the slot's entry may have been there: its
  // place and size are unknown, and no copy may guess them.
  bool entryMaybeLost = false;
  // Whether the directory holds an entry for the slot at all.
  bool Found() const { return offset != 0 || size != 0; }
};
using MediaFiles = std::array<MediaFile, kSlotCount>;

// Scans the media directory block (restored order, kDirectoryBlockSize bytes) for media files
// named "<slot>.a...", slot 2..255, and records each one's start offset and length in `files`.
// Stops once `wanted` have been found (the record list's record count; kWholeMediaDirectory
// scans it all).
void LocateMediaFiles(const uint8_t* directory, int32_t wanted, MediaFiles& files);

}  // namespace skelbrook
