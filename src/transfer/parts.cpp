// Cutting a copy's plan into parts.
#include "transfer/parts.h"

#include <algorithm>

namespace skelbrook {

int64_t ClustersPerPart(int64_t largestFile) {
  return largestFile < 0 ? kClustersPerPart
                         : std::min(kClustersPerPart, largestFile / kMediaClusterSize);
}

std::string PartStem(const std::string& stem, size_t number) {
  return stem + " - part" + std::to_string(number);
}

std::vector<ReadPlan> SplitPlan(const ReadPlan& plan, int64_t clustersPerPart) {
  const int64_t partBytes = clustersPerPart * kMediaClusterSize;
  std::vector<ReadPlan> parts;
  for (const ReadPiece& piece : plan.pieces) {
    // Pieces start at whole clusters of the copy, so none straddles a cut.
    const auto part = static_cast<size_t>(piece.fileOffset / partBytes);
    if (parts.size() <= part) parts.resize(part + 1);
    ReadPiece own = piece;
    own.fileOffset -= static_cast<int64_t>(part) * partBytes;
    parts[part].pieces.push_back(own);
  }
  return parts;
}

}  // namespace skelbrook
