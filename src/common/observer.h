// What long work (reading the list, copying, searching the disk) tells its front end as it goes,
// and where it asks whether to go on: before each step and each read, so that a stop asked for by
// the user (the window's Stop, Ctrl-C) lands at the next one.
#pragma once

#include <cstdint>
#include <string_view>

namespace skelbrook {

class WorkObserver {
 public:
  virtual ~WorkObserver() = default;

  // Whether to go on: false once the user asked to stop. The work then ends at this point and
  // cleans up after itself. Called from the work's own thread; it must answer at once.
  virtual bool keepGoing() { return true; }

  // Progress of the recording being copied and of the whole batch, each 0..100.
  virtual void taskProgress(double /*percent*/) {}
  virtual void batchProgress(double /*percent*/) {}

  // A rescue's retry pass over one recording: bytes retried of those to retry, and how many of
  // them have stayed unreadable so far.
  virtual void retryProgress(int64_t /*retried*/, int64_t /*toRetry*/, int64_t /*unreadable*/) {}

  // A search of the whole disk: bytes read of those to read.
  virtual void scanProgress(int64_t /*read*/, int64_t /*toRead*/) {}
};

}  // namespace skelbrook
