// The guide (EPG) sector of every recording, and the loading of _RECORD_LIST_ along its chain of
// system-area clusters.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "catalogue/system_area.h"
#include "common/observer.h"
#include "device/drive.h"
#include "disk/layout.h"
#include "disk/unreadable.h"

namespace skelbrook {

// The most of _RECORD_LIST_ that is read: 13,797 records, where a recorder keeps at most 256.
inline constexpr int64_t kLargestRecordList = int64_t{4} << 20;

// Scans the root directory for entries named "<slot>." and records each one's first sector as the
// slot's guide offset. Stops once RecordCount guide entries were found.
void GetEPGPositions(const SystemArea& area, std::array<int64_t, kSlotCount>& ProgEPGOffset);

// Loads _RECORD_LIST_ into area.RecordListBuffer, never more than kLargestRecordList bytes. Lets
// the front end process its events once. Returns false when the front end asked to stop.
bool EPGTrace_and_Record(Drive& drive, SystemArea& area, CatalogueAccount& account,
                         WorkObserver& observer);

// Reads ClusterCount clusters starting at StartCluster, following FatTable; where the table ends
// the chain the physically following cluster is taken. A chain that would leave the table, or
// come back to a cluster it has read, stops there.
void EPGGetInfo(Drive& drive, SystemArea& area, int64_t StartCluster, int64_t ClusterCount,
                CatalogueAccount& account);

// Stores the first Size bytes of BlockBuffer, restored, as cluster Num (1-based) of the list.
void Do_SwapEPG(const std::vector<uint8_t>& BlockBuffer, std::vector<uint8_t>& RecordListBuffer,
                int64_t Num, int64_t Size);

}  // namespace skelbrook
