// The fixed points where long work (reading the list, copying) hands control back to its front end:
// the window repaints and checks its stop flag there, the command line draws its progress line.
#pragma once

#include <cstdint>
#include <string_view>

namespace skelbrook {

class WorkObserver {
 public:
  virtual ~WorkObserver() = default;

  // Lets the front end process pending events. Returns false when the user asked to stop
  // (the window is closing); the work then ends at this point and cleans up after itself.
  virtual bool pump() { return true; }

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
