// The recorder's system area: found through sector 0, with its own descriptor, allocation table,
// root directory and 16,384-byte clusters. It holds _RECORD_LIST_ and the guide files.
#pragma once

#include <cstdint>
#include <vector>

#include "disk/allocation_table.h"

namespace skelbrook {

struct SystemArea {
  int64_t DescriptorOffset = 0;
  int64_t DataAreaOffset = 0;
  int64_t FatEntryCount = 0;
  int64_t FatOffset = 0;
  int64_t DirOffset = 0;
  // Element i is entry i of the table; the extra last element stays 0.
  AllocationTable FatTable;
  // The root directory block, restored order.
  std::vector<uint8_t> RootDirBuffer;
  int64_t RecordListOffset = 0;
  int64_t RecordListSize = 0;
  int32_t RecordCount = 0;
  // The whole of _RECORD_LIST_ in restored order, cluster by cluster.
  std::vector<uint8_t> RecordListBuffer;
  // The parts of RecordListBuffer that could not be read (offsets into it): zeros, not records.
  std::vector<ReadGap> RecordListGaps;
};

}  // namespace skelbrook
