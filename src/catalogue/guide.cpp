// Guide positions from the system area's root directory, and _RECORD_LIST_ loaded along its
// chain of 16,384-byte clusters.
#include "catalogue/guide.h"

#include <algorithm>

#include "catalogue/byte_order.h"
#include "common/endian.h"
#include "disk/allocation_table.h"
#include "disk/file_location.h"

namespace skelbrook {

void GetEPGPositions(const SystemArea& area, std::array<int64_t, kSlotCount>& ProgEPGOffset) {
  if (area.RootDirBuffer.size() < static_cast<size_t>(kDirectoryBlockSize)) return;
  int64_t count = 0;
  for (int64_t e = 0; e < kDirectoryBlockSize; e += kDirEntrySize) {
    const uint8_t* entry = area.RootDirBuffer.data() + e;
    const SlotName name = ReadSlotName(entry);
    if (name.hasDot && name.slot < kSlotCount) {
      ++count;
      ProgEPGOffset[name.slot] = BigEndian32(entry + kEntryStartSector) * kSector;
    }
    if (count == area.RecordCount) break;
  }
}

bool EPGTrace_and_Record(Drive& drive, SystemArea& area, CatalogueAccount& account,
                         WorkObserver& observer) {
  if (!observer.pump()) return false;
  if (area.RecordListSize > kLargestRecordList) {
    account.problems.push_back("_RECORD_LIST_ claims " + std::to_string(area.RecordListSize) +
                               " bytes; only the first " + std::to_string(kLargestRecordList) +
                               " are read");
    area.RecordListSize = kLargestRecordList;
  }
  int64_t clusterCount = area.RecordListSize / kSystemClusterSize;
  if (area.RecordListSize % kSystemClusterSize != 0) ++clusterCount;
  // A list cannot hold more clusters than the system area's table (as loaded: a table that could
  // not lie on the drive was left empty) has entries, nor more bytes than the drive: a damaged size
  // must not make us allocate without bound, even where the drive's size is unknown.
  clusterCount = std::min<int64_t>(clusterCount, static_cast<int64_t>(area.FatTable.size()));
  if (drive.SizeBytes() > 0) {
    clusterCount = std::min<int64_t>(clusterCount, drive.SizeBytes() / kSystemClusterSize + 1);
  }
  const int64_t startCluster =
      RoundedClusterNumber(area.RecordListOffset - area.DataAreaOffset, kSystemClusterSize);
  EPGGetInfo(drive, area, startCluster, std::max<int64_t>(clusterCount, 0), account);
  return true;
}

void EPGGetInfo(Drive& drive, SystemArea& area, int64_t StartCluster, int64_t ClusterCount,
                CatalogueAccount& account) {
  area.RecordListBuffer.assign(static_cast<size_t>(ClusterCount * kSystemClusterSize), 0);
  area.RecordListGaps.clear();
  int64_t cluster = StartCluster;
  const auto tableSize = static_cast<int64_t>(area.FatTable.size());
  std::vector<int64_t> read;  // at most kLargestRecordList / kSystemClusterSize clusters
  for (int64_t n = 1; n <= ClusterCount; ++n) {
    if (std::find(read.begin(), read.end(), cluster) != read.end()) {
      account.problems.push_back("the chain of _RECORD_LIST_ comes back to cluster " +
                                 std::to_string(cluster) + "; the list is read only up to there");
      break;
    }
    read.push_back(cluster);
    const int64_t at = cluster * kSystemClusterSize + area.DataAreaOffset;
    for (const ReadGap& g :
         ReadArea(drive, at, kSystemClusterSize, kAreaRecordList, account.unreadable)) {
      area.RecordListGaps.push_back(
          {(n - 1) * kSystemClusterSize + (g.first - at), g.bytes, g.error});
    }
    Do_SwapEPG(drive.BlockBuffer, area.RecordListBuffer, n, kSystemClusterSize);
    if (n == ClusterCount) break;
    cluster = cluster + 1;
    // A chain that leaves the table ends here; the rest of the list stays zeros (no records).
    if (cluster < 0 || cluster >= tableSize) break;
    if (area.FatTable[static_cast<size_t>(cluster)] < kEndOfChain) {
      cluster = area.FatTable[static_cast<size_t>(cluster)];
    }
  }
}

void Do_SwapEPG(const std::vector<uint8_t>& BlockBuffer, std::vector<uint8_t>& RecordListBuffer,
                int64_t Num, int64_t Size) {
  const int64_t base = (Num - 1) * kSystemClusterSize;
  if (base < 0 || Size <= 0) return;
  const int64_t room = static_cast<int64_t>(RecordListBuffer.size()) - base;
  const int64_t count =
      std::min({Size, room, static_cast<int64_t>(BlockBuffer.size())}) & ~int64_t{3};
  if (count <= 0) return;
  RestoreByteOrder(BlockBuffer.data(), RecordListBuffer.data() + base, static_cast<size_t>(count));
}

}  // namespace skelbrook
