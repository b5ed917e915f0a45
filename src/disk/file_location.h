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

// Scans the media directory block (restored order, kDirectoryBlockSize bytes) for media files
// named "<slot>.a...", slot 2..255, and records each one's start offset and length. Stops once
// as many have been found as the record list has records.
void GetFILEPositions(const uint8_t* FileAreaBuffer, int32_t RecordCount,
                      std::array<int64_t, kSlotCount>& ProgFileOffset,
                      std::array<int64_t, kSlotCount>& ProgFileSize);

}  // namespace skelbrook
