// Where each recording's guide (EPG) sector lies: the system area's root directory names one
// file per slot, "<slot>." followed by anything.
#pragma once

#include <array>
#include <cstdint>

#include "catalogue/system_area.h"
#include "disk/layout.h"

namespace skelbrook {

// Per slot: the absolute byte offset of its guide sector; 0 where the directory names none.
using GuideSectors = std::array<int64_t, kSlotCount>;

// Scans the root directory for entries named "<slot>." and records each one's first sector as the
// slot's guide sector. Stops once area.recordCount guide entries were found.
void LocateGuideSectors(const SystemArea& area, GuideSectors& sectors);

}  // namespace skelbrook
