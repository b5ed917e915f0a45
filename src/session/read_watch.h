// Whether a read of the recorder disk has been waiting, and for how long: the window tells the
// user when a failing disk takes seconds over a sector, instead of seeming to hang.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "device/disk_reader.h"

namespace skelbrook::session {

class ReadWatch {
 public:
  using Clock = std::chrono::steady_clock;
  // How long the read under way has been waiting; zero when no read is under way.
  Clock::duration Waiting(Clock::time_point now) const;
  void Started(Clock::time_point at) { since_ = at.time_since_epoch().count(); }
  void Ended() { since_ = 0; }

 private:
  std::atomic<Clock::rep> since_{0};
};

// Opens the disk through `inner` (the raw drive when empty) and notes in `watch` every read
// while it waits.
DiskOpener WatchReads(DiskOpener inner, std::shared_ptr<ReadWatch> watch);

}  // namespace skelbrook::session
