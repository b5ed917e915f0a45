// Loading an allocation table into memory, the media volume's and the system area's alike:
// 32-bit little-endian entries on the disk and in memory, with one extra 0 at the end.
#pragma once

#include <cstdint>
#include <vector>

#include "device/drive.h"
#include "disk/unreadable.h"

namespace skelbrook {

// Entry c + 1 is the successor of cluster c; 0xFFFFFFFE or more ends a chain. Every entry is an
// unsigned 32-bit value on the disk, and is kept as one: a table of a million entries then takes
// 4 MB rather than 8.
using AllocationTable = std::vector<uint32_t>;

// The bytes read for a table of `entries`: its length rounded down to whole sectors, plus one
// sector (128 entries, 512 bytes, are read as 1,024 bytes; 100 entries as 512).
int64_t TableReadSize(int64_t entries);

// The cluster that starts `distance` bytes into a data area of `clusterSize`-byte clusters. A
// start between two clusters is rounded to the nearer one, half to even, as the recorder's own
// arithmetic does; a start before the data area gives a negative number.
int64_t RoundedClusterNumber(int64_t distance, int64_t clusterSize);

// Reads the table at `offset` into `table` (entries + 1 elements, the last 0). Entries that
// cannot be read are unknown: they hold 0 in `table`, their bytes are added to `unknown` and, under
// `area`, to `list`. Returns false, leaving `table` empty, when it does not fit in memory.
bool LoadAllocationTable(Drive& drive, int64_t offset, int64_t entries, AllocationTable& table,
                         const char* area, UnreadableList& list, std::vector<ReadGap>& unknown);

// Whether entry `index` of a table at `offset` lies in one of the `unknown` byte ranges.
bool EntryUnknown(const std::vector<ReadGap>& unknown, int64_t offset, int64_t index);

}  // namespace skelbrook
