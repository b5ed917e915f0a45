// A recording larger than the destination's file system can hold in one file (FAT32 holds no
// file of 4 GiB or more) copied as parts that media libraries and TVs play as one:
// "<name> - part1.ts", "<name> - part2.ts", ... Every part but the last holds the same number of
// whole clusters, so every cut lies on a cluster's start, which is also a packet's start (a
// cluster holds exactly 2,048 packets of 188 bytes): each part is a sound transport stream of its
// own, and the parts joined are the copy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/observer.h"
#include "device/file_system.h"
#include "disk/layout.h"
#include "transfer/copy.h"
#include "transfer/read_plan.h"

namespace skelbrook {

// Clusters in a part: 5,577 (2,147,278,848 bytes), under the 2 GiB that fusefat, the FUSE driver
// desktops mount FAT sticks with, writes into one file. The same however the stick is mounted
// (and on Windows), so that a rescue left in parts goes on with the same parts anywhere.
inline constexpr int64_t kClustersPerPart = kFuseFatLargestFile / kMediaClusterSize;

// Whole clusters in a part on a file system whose largest file is `largestFile` bytes (-1: no
// limit): kClustersPerPart, or fewer where not even that fits; 0 when not one cluster fits.
int64_t ClustersPerPart(int64_t largestFile);

// "<stem> - part<number>", numbered from 1.
std::string PartStem(const std::string& stem, size_t number);

// The plan cut into parts of `clustersPerPart` whole clusters (the last may hold fewer), each
// with its bytes counted from the part's own start.
std::vector<ReadPlan> SplitPlan(const ReadPlan& plan, int64_t clustersPerPart);

// Copies a recording the destination cannot hold in one file as parts. Each part goes through
// its own working file (a rescue's with its own map) and none takes its name until every part is
// whole; a rescue left in parts goes on with the parts it was cut into.
CopyOutcome CopyInParts(const CopyJob& job, const Recording& recording, const ReadPlan& plan,
                        const VolumeInfo& volume, BatchCounters& counters, WorkObserver& observer,
                        RescueStage stage);

}  // namespace skelbrook
