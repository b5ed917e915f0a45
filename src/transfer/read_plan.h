// The reads one copy makes, planned from the allocation table in memory before anything is read:
// which bytes of the disk become which bytes of the copy, cluster by cluster, and which clusters
// lie one after another on the disk so that a single large read can take them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
#include "disk/media_geometry.h"

namespace skelbrook {

inline constexpr const char* kChainGoesOnText =
    "the recording's chain of clusters goes on past its size; the copy stops at the size";

// The largest read the copy asks of the disk: up to ten whole clusters that lie one after another.
inline constexpr int64_t kLargestRead = 4 << 20;
// What is left in the last cluster is copied only when it is larger than this.
inline constexpr int64_t kTailThreshold = 1024;

// One piece of the copy: `bytes` bytes of the copy from byte `fileOffset` on come from the disk at
// `diskOffset`. A whole cluster, or the part of the last one that the size says.
struct ReadPiece {
  int64_t diskOffset = 0;
  int64_t fileOffset = 0;
  int64_t bytes = 0;
};

struct ReadPlan {
  std::vector<ReadPiece> pieces;  // in the copy's order
  std::string note;               // said of a good copy, e.g. that its chain went on past its size
  // The copy's length: where the last piece ends.
  int64_t Length() const {
    return pieces.empty() ? 0 : pieces.back().fileOffset + pieces.back().bytes;
  }
};

// Walks the chain from `firstCluster` through the table in memory: every whole cluster up to the
// recorded `size`, then what is left in the cluster that holds the end, only when that is more
// than kTailThreshold bytes. Fails on a chain that loops, leaves the table, is shorter than the
// size, or needs a table entry that could not be read: a copy never follows a guessed chain.
Status PlanReads(const MediaGeometry& geometry, int64_t firstCluster, int64_t size, ReadPlan& plan);

// A found recording's plan: its clusters as listed, whole, and the last up to `size`, exactly (a
// found recording ends where its stream ends, whole packets). Fails on a cluster beyond the disk.
Status PlanClusterReads(const MediaGeometry& geometry, const std::vector<int64_t>& clusters,
                        int64_t size, ReadPlan& plan);

// The pieces from `first` on that lie one after another on the disk and fit one read of at most
// kLargestRead bytes (at least one piece): returns the index after the last.
size_t RunEnd(const std::vector<ReadPiece>& pieces, size_t first);

// The index of the piece that holds byte `fileOffset` of the copy.
size_t PieceAt(const std::vector<ReadPiece>& pieces, int64_t fileOffset);

// Whole 4-byte groups: what is read and restored for `bytes` bytes of the copy.
inline int64_t WholeGroups(int64_t bytes) {
  return (bytes + 3) / 4 * 4;
}

}  // namespace skelbrook
