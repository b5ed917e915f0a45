// Rescuing a recording off a failing disk, as rescue-grade imaging tools do: a first pass copies
// everything that reads, skips a failed read at once and, through a long unreadable stretch, skips
// further after each failure in a row; a retry pass then goes back for what was skipped, block by
// block, and reads every block that fails one sector at a time past the caches, so that exactly
// the unreadable sectors stay zero. Which bytes of the copy were read is kept in its map, saved
// beside it only once the copy holds everything the map claims.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "common/status.h"
#include "transfer/copy_context.h"
#include "transfer/rescue_map.h"

namespace skelbrook {

// The first pass gives a failed read up at the end of the 65,536-byte block (counted from the
// start of its cluster) it failed in; the retry pass reads skipped areas in such blocks.
inline constexpr int64_t kRescueBlockSize = 65536;
// The longest stretch the first pass skips after failures in a row.
inline constexpr int64_t kLargestSkip = int64_t{64} << 20;
// The map is saved as the rescue goes at most this often (and at the end of each pass): every
// save first makes the copy's newest bytes durable, which a slow stick pays for.
inline constexpr std::chrono::seconds kMapSaveInterval{5};

// The start of the rescue block that holds byte `at` of a span of `count` bytes that starts at a
// cluster's start, and the block's length within the span.
std::pair<int64_t, int64_t> RescueBlockAt(int64_t at, int64_t count);

struct Rescue {
  CopyContext& c;
  RescueMap& map;
  std::string mapPath;
  int pass = 1;
  std::chrono::steady_clock::time_point saved{};
  int64_t skip = 0;       // the next skip after a failure; 0 once a read works again
  int64_t skipUntil = 0;  // first pass: the bytes of the copy before this are left for the retry
};

// Pass 1 over every area of the copy that was never tried.
Status RescueFirstPass(Rescue& r);
// Pass 2 over every area that is not read yet.
Status RescueRetryPass(Rescue& r);

// Saves the map when kMapSaveInterval has passed since the last save, or now when `now` says so,
// after making the copy durable up to what the map claims.
Status SaveMap(Rescue& r, int64_t current, char state, bool now = false);

}  // namespace skelbrook
