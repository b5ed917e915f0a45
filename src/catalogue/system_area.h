// The recorder's system area: found through sector 0, with its own descriptor, allocation table,
// root directory and 16,384-byte clusters. It holds _RECORD_LIST_ and the guide files.
#pragma once

#include <cstdint>
#include <vector>

#include "device/drive.h"
#include "disk/allocation_table.h"
#include "disk/unreadable.h"

namespace skelbrook {

// Offsets are absolute bytes on the drive.
struct SystemArea {
  int64_t descriptorOffset = 0;  // the system area's descriptor sector
  int64_t dataAreaOffset = 0;    // system cluster 0
  int64_t tableEntryCount = 0;   // entries of its allocation table, as loaded
  int64_t tableOffset = 0;
  int64_t rootDirectoryOffset = 0;
  // Element i is entry i of the table; the extra last element stays 0.
  AllocationTable allocationTable;
  // The root directory block, restored order.
  std::vector<uint8_t> rootDirectory;
  int64_t recordListOffset = 0;
  int64_t recordListSize = 0;  // bytes, as its directory entry says
  int32_t recordCount = 0;     // whole 304-byte records in it
  // The whole of _RECORD_LIST_ in restored order, cluster by cluster.
  std::vector<uint8_t> recordList;
  // The parts of recordList that could not be read (offsets into it): zeros, not records.
  std::vector<ReadGap> recordListGaps;
};

// Follows sector 0 to the system area's descriptor and loads it and the area's allocation table,
// never longer than one entry per cluster the drive has room for (entries beyond describe
// clusters the drive does not have). A table that cannot lie on the drive is left empty: chains
// through it then end at once instead of reading wild offsets. Returns false, with
// account.failure saying why, when a part would not read.
bool LoadSystemArea(Drive& drive, SystemArea& area, CatalogueAccount& account);

// Reads the root directory into area.rootDirectory; false, as above, when it would not read.
bool ReadRootDirectory(Drive& drive, SystemArea& area, CatalogueAccount& account);

// Looks for "_REC....LIST" among the first root-directory entries and takes its place and size.
bool FindRecordList(SystemArea& area);

}  // namespace skelbrook
