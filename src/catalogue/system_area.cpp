// Finding the recorder's system area through sector 0, loading its descriptor, allocation table
// and root directory, and finding _RECORD_LIST_ in that directory.
#include "catalogue/system_area.h"

#include <algorithm>

#include "catalogue/byte_order.h"
#include "common/endian.h"
#include "disk/layout.h"

namespace skelbrook {
namespace {

// When the drive's size is unknown: the table of a system area of 64 GiB.
constexpr int64_t kLargestSystemTableUnknownDrive = int64_t{1} << 22;

// Sector 0: bytes 473, 472, 479, 478 (most significant first) give the system descriptor's sector.
int64_t DescriptorOffsetFromSector0(const std::vector<uint8_t>& b) {
  int64_t sector = 0;
  for (const int at : kSector0DescriptorBytes) sector = sector << 8 | b[static_cast<size_t>(at)];
  return sector * kSectorSize;
}

// The catalogue cannot be read without these parts: says so with the first range lost.
bool Lost(const std::vector<ReadGap>& gaps, const char* area, CatalogueAccount& account) {
  if (gaps.empty()) return false;
  const ReadGap& g = gaps.front();
  account.failure =
      "The catalogue could not be read: " + Describe({area, g.first, g.bytes, g.error});
  return true;
}

}  // namespace

bool LoadSystemArea(Drive& drive, SystemArea& area, CatalogueAccount& account) {
  if (Lost(ReadArea(drive, 0, kSectorSize, kAreaSector0, account.unreadable), kAreaSector0,
           account)) {
    return false;
  }
  area.descriptorOffset = DescriptorOffsetFromSector0(drive.Buffer());
  if (Lost(ReadArea(drive, area.descriptorOffset, kSectorSize, kAreaSystemDescriptor,
                    account.unreadable),
           kAreaSystemDescriptor, account)) {
    return false;
  }
  const std::vector<uint8_t> descriptor = drive.Buffer();
  area.rootDirectoryOffset =
      int64_t{LittleEndian32(descriptor.data() + kDescDirSector)} * kSectorSize;
  area.dataAreaOffset = area.descriptorOffset + kSystemDataAreaDistance;
  area.tableEntryCount = int64_t{LittleEndian32(descriptor.data() + kDescLastEntry)} + 1;
  area.tableOffset = int64_t{LittleEndian32(descriptor.data() + kDescFatSector)} * kSectorSize;

  const int64_t driveSize = drive.SizeBytes();
  if (driveSize > 0) {
    area.tableEntryCount = std::min(area.tableEntryCount, driveSize / kSystemClusterSize + 1);
  } else if (area.tableEntryCount > kLargestSystemTableUnknownDrive) {
    account.problems.push_back("the system allocation table claims " +
                               std::to_string(area.tableEntryCount) +
                               " entries on a drive of unknown size; only the first " +
                               std::to_string(kLargestSystemTableUnknownDrive) + " are read");
    area.tableEntryCount = kLargestSystemTableUnknownDrive;
  }
  std::vector<ReadGap> unknown;
  const bool onDrive = driveSize <= 0 || area.tableOffset + area.tableEntryCount * 4 <= driveSize;
  if (!onDrive ||
      !LoadAllocationTable(drive, area.tableOffset, area.tableEntryCount, area.allocationTable,
                           kAreaSystemTable, account.unreadable, unknown)) {
    area.allocationTable.assign(1, 0);
  }
  return !Lost(unknown, kAreaSystemTable, account);
}

bool FindRecordList(SystemArea& area) {
  for (int e = 0; e < kRecordListSearchEntries; ++e) {
    const uint8_t* entry = area.rootDirectory.data() + static_cast<size_t>(e) * kDirEntrySize;
    const uint8_t* name = entry + kEntryName;
    if (name[0] == '_' && name[1] == 'R' && name[2] == 'E' && name[3] == 'C' && name[8] == 'L' &&
        name[9] == 'I' && name[10] == 'S' && name[11] == 'T') {
      area.recordListOffset = BigEndian32(entry + kEntryStartSector) * kSectorSize;
      area.recordListSize = BigEndian32(entry + kEntryLength32);
      return true;
    }
  }
  return false;
}

bool ReadRootDirectory(Drive& drive, SystemArea& area, CatalogueAccount& account) {
  const std::vector<ReadGap> gaps = ReadArea(drive, area.rootDirectoryOffset, kDirectoryBlockSize,
                                             kAreaRootDirectory, account.unreadable);
  if (Lost(gaps, kAreaRootDirectory, account)) return false;
  RestoreInto(drive.Buffer(), kDirectoryBlockSize, area.rootDirectory);
  return true;
}

}  // namespace skelbrook
