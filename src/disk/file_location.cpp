// The media directory scan.
#include "disk/file_location.h"

#include "common/endian.h"

namespace skelbrook {
namespace {

int Digit(uint8_t c) {
  return c >= '0' && c <= '9' ? c - '0' : 0;
}

}  // namespace

SlotName ReadSlotName(const uint8_t* entry) {
  const uint8_t* name = entry + kEntryName;
  SlotName result;
  if (name[1] == '.') {
    result = {true, Digit(name[0]), kEntryName + 2};
  } else if (name[2] == '.') {
    result = {true, 10 * Digit(name[0]) + Digit(name[1]), kEntryName + 3};
  } else if (name[3] == '.') {
    result = {true, 100 * Digit(name[0]) + 10 * Digit(name[1]) + Digit(name[2]), kEntryName + 4};
  }
  return result;
}

void LocateMediaFiles(const uint8_t* directory, int32_t wanted, MediaFiles& files) {
  int64_t found = 0;
  for (int64_t e = 0; e < kDirectoryBlockSize; e += kDirEntrySize) {
    const uint8_t* entry = directory + e;
    const SlotName name = ReadSlotName(entry);
    if (name.hasDot && entry[name.letterAt] == 'a' && name.slot >= kFirstMediaSlot &&
        name.slot < kSlotCount) {
      ++found;
      MediaFile& file = files[static_cast<size_t>(name.slot)];
      file.offset = static_cast<int64_t>(BigEndian(entry + kEntryStartSector, 4)) * kSectorSize;
      file.size = static_cast<int64_t>(BigEndian(entry + kEntryLength40, 5));
    }
    if (found == wanted) break;
  }
}

}  // namespace skelbrook
