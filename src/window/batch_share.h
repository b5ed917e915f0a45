// What a copy batch running on its own thread shares with the window: the ticks the user changes
// while it runs (the batch reads each row's tick when it reaches the row), and its latest
// progress, sent on to the window at most one message at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "catalogue/recording.h"

namespace skelbrook::window {

struct BatchShare {
  explicit BatchShare(const std::vector<Recording>& rows) : ticks(rows.size()) {
    for (size_t i = 0; i < rows.size(); ++i) ticks[i] = rows[i].ticked;
  }
  std::vector<std::atomic<bool>> ticks;
  std::atomic<double> recordingPercent{0};
  std::atomic<double> batchPercent{0};
  std::atomic<int64_t> copiedBytes{0};
  std::atomic<int64_t> readBytes{0};
  std::atomic<bool> progressOnItsWay{false};
};

inline void ShareTick(BatchShare& share, int row, bool ticked) {
  if (row >= 0 && static_cast<size_t>(row) < share.ticks.size())
    share.ticks[static_cast<size_t>(row)] = ticked;
}

}  // namespace skelbrook::window
