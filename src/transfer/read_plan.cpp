// Planning a copy's reads: the chain walk through the media allocation table, and the runs of
// clusters that lie one after another on the disk.
#include "transfer/read_plan.h"

#include <algorithm>

#include "disk/allocation_table.h"
#include "disk/layout.h"

namespace skelbrook {
namespace {

bool EndsChain(int64_t successor) {
  return successor >= kEndOfChain;
}

// A cluster whose successor entry lies inside the table.
bool InTable(const MediaGeometry& g, int64_t cluster) {
  return cluster >= 0 && cluster + 1 < g.entryCount &&
         cluster + 1 < static_cast<int64_t>(g.allocationTable.size());
}

// The last piece of the plan, from the cluster that holds the recording's end.
Status PlanLastCluster(const MediaGeometry& g, int64_t cluster, int64_t size, int64_t done,
                       ReadPlan& plan) {
  const int64_t remainder = size - done;
  if (remainder > kMediaClusterSize) {
    return Status::Error("the recording is longer than its chain of clusters (" +
                         std::to_string(remainder - kMediaClusterSize) + " bytes missing)");
  }
  if (remainder > kTailThreshold) {
    plan.pieces.push_back({MediaClusterOffset(g, cluster), done, remainder});
  }
  return Status::Ok();
}

}  // namespace

Status PlanReads(const MediaGeometry& g, int64_t firstCluster, int64_t size, ReadPlan& plan) {
  plan = ReadPlan{};
  int64_t cluster = firstCluster;
  int64_t done = 0;
  if (!InTable(g, cluster)) {
    return Status::Error("the recording's first cluster (" + std::to_string(cluster) +
                         ") lies outside the allocation table");
  }
  // A chain visits each cluster once: a cluster seen again means the chain runs in a loop.
  std::vector<bool> visited(static_cast<size_t>(g.entryCount), false);
  while (!visited[static_cast<size_t>(cluster)]) {
    visited[static_cast<size_t>(cluster)] = true;
    // The copy stops at the recorded size, wherever the chain goes; it never follows an entry of
    // the table that could not be read.
    const bool unknown = SuccessorUnknown(g, cluster);
    const bool ends = !unknown && EndsChain(g.allocationTable[static_cast<size_t>(cluster + 1)]);
    if (ends || size - done <= kMediaClusterSize) {
      if (!ends && !unknown) plan.note = kChainGoesOnText;
      return PlanLastCluster(g, cluster, size, done, plan);
    }
    if (unknown) return Status::Error(UnknownEntryText(g, cluster));
    plan.pieces.push_back({MediaClusterOffset(g, cluster), done, kMediaClusterSize});
    done += kMediaClusterSize;
    const int64_t next = g.allocationTable[static_cast<size_t>(cluster + 1)];
    if (!InTable(g, next)) {
      return Status::Error(
          "the recording's chain of clusters leaves the allocation table at cluster " +
          std::to_string(next));
    }
    cluster = next;
  }
  return Status::Error("the recording's chain of clusters runs in a loop");
}

Status PlanClusterReads(const MediaGeometry& g, const std::vector<int64_t>& clusters, int64_t size,
                        ReadPlan& plan) {
  plan = ReadPlan{};
  int64_t done = 0;
  for (const int64_t c : clusters) {
    if (done >= size) break;
    const int64_t offset = MediaClusterOffset(g, c);
    if (c < 0 || (g.driveSize > 0 && offset >= g.driveSize)) {
      return Status::Error("the recording's cluster " + std::to_string(c) +
                           " lies beyond the end of the disk");
    }
    const int64_t bytes = std::min(kMediaClusterSize, size - done);
    plan.pieces.push_back({offset, done, bytes});
    done += bytes;
  }
  if (done < size) return Status::Error("the recording is longer than its clusters");
  return Status::Ok();
}

size_t RunEnd(const std::vector<ReadPiece>& pieces, size_t first) {
  size_t end = first + 1;
  int64_t bytes = WholeGroups(pieces[first].bytes);
  while (end < pieces.size() && pieces[end - 1].bytes == kMediaClusterSize &&
         pieces[end].diskOffset == pieces[end - 1].diskOffset + kMediaClusterSize &&
         bytes + WholeGroups(pieces[end].bytes) <= kLargestRead) {
    bytes += WholeGroups(pieces[end].bytes);
    ++end;
  }
  return end;
}

size_t PieceAt(const std::vector<ReadPiece>& pieces, int64_t fileOffset) {
  const auto after =
      std::upper_bound(pieces.begin(), pieces.end(), fileOffset,
                       [](int64_t f, const ReadPiece& p) { return f < p.fileOffset; });
  return static_cast<size_t>(after - pieces.begin()) - 1;
}

}  // namespace skelbrook
