// The recorder's catalogue file _RECORD_LIST_, loaded along its chain of system-area clusters
// into one buffer in natural byte order.
#pragma once

#include <cstdint>
#include <vector>

#include "catalogue/system_area.h"
#include "common/observer.h"
#include "device/drive.h"
#include "disk/unreadable.h"

namespace skelbrook {

// The most of _RECORD_LIST_ that is read: 13,797 records, where a recorder keeps at most 256.
inline constexpr int64_t kLargestRecordList = int64_t{4} << 20;

// Loads _RECORD_LIST_ into area.recordList, never more than kLargestRecordList bytes. Lets the
// front end process its events once. Returns false when the front end asked to stop.
bool LoadRecordList(Drive& drive, SystemArea& area, CatalogueAccount& account,
                    WorkObserver& observer);

// Reads `clusterCount` system clusters from `firstCluster` on into area.recordList, following
// the area's allocation table; where the table ends the chain, the physically following cluster
// is taken. A chain that would leave the table, or come back to a cluster it has read, stops
// there.
void ReadSystemClusterChain(Drive& drive, SystemArea& area, int64_t firstCluster,
                            int64_t clusterCount, CatalogueAccount& account);

// Stores the first `bytes` bytes of `block`, restored, as cluster `clusterNumber` (1-based) of
// the list.
void StoreRecordListCluster(const std::vector<uint8_t>& block, std::vector<uint8_t>& recordList,
                            int64_t clusterNumber, int64_t bytes);

}  // namespace skelbrook
