// Guide positions from the system area's root directory.
#include "catalogue/guide.h"

#include "common/endian.h"
#include "disk/file_location.h"

namespace skelbrook {

void LocateGuideSectors(const SystemArea& area, GuideSectors& sectors) {
  if (area.rootDirectory.size() < static_cast<size_t>(kDirectoryBlockSize)) return;
  int64_t count = 0;
  for (int64_t e = 0; e < kDirectoryBlockSize; e += kDirEntrySize) {
    const uint8_t* entry = area.rootDirectory.data() + e;
    const SlotName name = ReadSlotName(entry);
    if (name.hasDot && name.slot < kSlotCount) {
      ++count;
      sectors[static_cast<size_t>(name.slot)] =
          BigEndian32(entry + kEntryStartSector) * kSectorSize;
    }
    if (count == area.recordCount) break;
  }
}

}  // namespace skelbrook
