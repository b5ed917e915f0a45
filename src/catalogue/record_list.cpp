// _RECORD_LIST_ loaded into memory along its chain of 16,384-byte system-area clusters, restored
// to natural byte order, with every part that would not read accounted for.
#include "catalogue/record_list.h"

#include <algorithm>

#include "catalogue/byte_order.h"
#include "disk/allocation_table.h"
#include "disk/layout.h"

namespace skelbrook {

bool LoadRecordList(Drive& drive, SystemArea& area, CatalogueAccount& account,
                    WorkObserver& observer) {
  if (!observer.keepGoing()) return false;
  if (area.recordListSize > kLargestRecordList) {
    account.problems.push_back("_RECORD_LIST_ claims " + std::to_string(area.recordListSize) +
                               " bytes; only the first " + std::to_string(kLargestRecordList) +
                               " are read");
    area.recordListSize = kLargestRecordList;
  }
  int64_t clusterCount = area.recordListSize / kSystemClusterSize;
  if (area.recordListSize % kSystemClusterSize != 0) ++clusterCount;
  // A list cannot hold more clusters than the system area's table (as loaded: a table that could
  // not lie on the drive was left empty) has entries, nor more bytes than the drive: a damaged size
  // must not make us allocate without bound, even where the drive's size is unknown.
  clusterCount = std::min<int64_t>(clusterCount, static_cast<int64_t>(area.allocationTable.size()));
  if (drive.SizeBytes() > 0) {
    clusterCount = std::min<int64_t>(clusterCount, drive.SizeBytes() / kSystemClusterSize + 1);
  }
  const int64_t startCluster =
      RoundedClusterNumber(area.recordListOffset - area.dataAreaOffset, kSystemClusterSize);
  ReadSystemClusterChain(drive, area, startCluster, std::max<int64_t>(clusterCount, 0), account);
  return true;
}

void ReadSystemClusterChain(Drive& drive, SystemArea& area, int64_t firstCluster,
                            int64_t clusterCount, CatalogueAccount& account) {
  area.recordList.assign(static_cast<size_t>(clusterCount * kSystemClusterSize), 0);
  area.recordListGaps.clear();
  int64_t cluster = firstCluster;
  const auto tableSize = static_cast<int64_t>(area.allocationTable.size());
  std::vector<int64_t> read;  // at most kLargestRecordList / kSystemClusterSize clusters
  for (int64_t n = 1; n <= clusterCount; ++n) {
    if (std::find(read.begin(), read.end(), cluster) != read.end()) {
      account.problems.push_back("the chain of _RECORD_LIST_ comes back to cluster " +
                                 std::to_string(cluster) + "; the list is read only up to there");
      break;
    }
    read.push_back(cluster);
    const int64_t at = cluster * kSystemClusterSize + area.dataAreaOffset;
    for (const ReadGap& g :
         ReadArea(drive, at, kSystemClusterSize, kAreaRecordList, account.unreadable)) {
      area.recordListGaps.push_back(
          {(n - 1) * kSystemClusterSize + (g.first - at), g.bytes, g.error});
    }
    StoreRecordListCluster(drive.Buffer(), area.recordList, n, kSystemClusterSize);
    if (n == clusterCount) break;
    cluster = cluster + 1;
    // A chain that leaves the table ends here; the rest of the list stays zeros (no records).
    if (cluster < 0 || cluster >= tableSize) break;
    if (area.allocationTable[static_cast<size_t>(cluster)] < kEndOfChain) {
      cluster = area.allocationTable[static_cast<size_t>(cluster)];
    }
  }
}

void StoreRecordListCluster(const std::vector<uint8_t>& block, std::vector<uint8_t>& recordList,
                            int64_t clusterNumber, int64_t bytes) {
  const int64_t base = (clusterNumber - 1) * kSystemClusterSize;
  if (base < 0 || bytes <= 0) return;
  const int64_t room = static_cast<int64_t>(recordList.size()) - base;
  const int64_t count = std::min({bytes, room, static_cast<int64_t>(block.size())}) & ~int64_t{3};
  if (count <= 0) return;
  RestoreByteOrder(block.data(), recordList.data() + base, static_cast<size_t>(count));
}

}  // namespace skelbrook
