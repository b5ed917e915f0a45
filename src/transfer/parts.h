// A recording larger than the destination's file system can hold in one file (FAT32 holds no
// file of 4 GiB or more) copied as parts that media libraries and TVs play as one:
// "<name> - part1.ts", "<name> - part2.ts", ... Every part but the last holds as many whole
// clusters as fit, so every cut lies on a cluster's start, which is also a packet's start (a
// cluster holds exactly 2,048 packets of 188 bytes): each part is a sound transport stream of its
// own, and the parts joined are the copy. On FAT32 a part holds 11,155 clusters (4,294,942,720
// bytes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/read_plan.h"

namespace skelbrook {

// Whole clusters in a part on a file system whose largest file is `largestFile` bytes; 0 when
// not even one fits.
int64_t ClustersPerPart(int64_t largestFile);

// "<stem> - part<number>", numbered from 1.
std::string PartStem(const std::string& stem, size_t number);

// The plan cut into parts of `clustersPerPart` whole clusters (the last may hold fewer), each
// with its bytes counted from the part's own start.
std::vector<ReadPlan> SplitPlan(const ReadPlan& plan, int64_t clustersPerPart);

}  // namespace skelbrook
