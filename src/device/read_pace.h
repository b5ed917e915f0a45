// How much of the disk one bulk read asks for. A healthy disk answers a large read in a fraction
// of a second, and large reads are what make a copy as fast as the disk; a failing or very slow
// disk may take seconds over each request, and a read once asked for cannot be called back. So
// while reads come back quickly they are as large as the copy wants; once one takes longer than
// a second the reads that follow are made smaller (down to 64 KiB), so that a stop lands within
// one small read; they grow back as the disk answers quickly again. A disk that spends its time
// per request rather than per byte takes as long over a small read as over a larger one: there
// smaller reads would only make the copy slower, and the reads are as large as one request takes.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace skelbrook {

class ReadPace {
 public:
  using Duration = std::chrono::steady_clock::duration;
  static constexpr int64_t kSmallest = 64 * 1024;       // bytes: the rescue's block
  static constexpr int64_t kLargest = 4 * 1024 * 1024;  // bytes: ten clusters and more
  // The first read is no larger than this, until the disk has shown how fast it answers.
  static constexpr int64_t kFirst = 1024 * 1024;
  // A read that took longer than this was slow; one under kQuick was quick.
  static constexpr std::chrono::milliseconds kSlow{1000};
  static constexpr std::chrono::milliseconds kQuick{250};
  // What a slow disk's reads are made to take: the time a stop may have to wait.
  static constexpr std::chrono::milliseconds kAimedFor{500};

  // The most the next read should ask for, in bytes: a whole number of kSmallest.
  int64_t Limit() const { return limit_; }

  // A read of `bytes` took `took`: a quick one lets the reads double; a slow one shrinks them to
  // what the disk answers in about kAimedFor. Where smaller reads take as long, the disk spends
  // its time per request: the reads then grow again for as long as they take no longer than one
  // request does, and settle at the largest size that does not.
  void Took(int64_t bytes, Duration took) {
    if (took < kQuick) {
      if (bytes >= limit_) limit_ = std::min(2 * limit_, kLargest);
      perRequest_ = {};
      settled_ = false;
      slowBytes_ = 0;
      return;
    }
    if (took <= kSlow) return;
    if (bytes == 0) {  // a read that failed, and slowly: as small as can be
      limit_ = kSmallest;
      return;
    }
    // Smaller than the slow read before, and not quicker in proportion (twice as long as its size
    // would take at that read's rate): the time goes on the request, not the bytes.
    if (perRequest_ == Duration{} && bytes < slowBytes_ &&
        took * slowBytes_ > slowTook_ * bytes * 2)
      perRequest_ = took;
    if (perRequest_ == Duration{}) {
      slowBytes_ = bytes;
      slowTook_ = took;
      const double rate = static_cast<double>(bytes) / std::chrono::duration<double>(took).count();
      const auto aimed =
          static_cast<int64_t>(rate * std::chrono::duration<double>(kAimedFor).count());
      limit_ = std::clamp(aimed / kSmallest * kSmallest, kSmallest, limit_);
      return;
    }
    perRequest_ = std::min(perRequest_, took);
    if (took * 4 <= perRequest_ * 5) {  // no longer than one request: try larger, unless settled
      if (!settled_ && bytes >= limit_) limit_ = std::min(2 * limit_, kLargest);
    } else {  // more than one request's time: back to half, and no larger from now on
      limit_ = std::max(kSmallest, bytes / 2 / kSmallest * kSmallest);
      settled_ = true;
    }
  }

 private:
  int64_t limit_ = kFirst;
  int64_t slowBytes_ = 0;  // the last slow read while the pace was shrinking: its size and time
  Duration slowTook_{};
  Duration perRequest_{};  // what one request takes, on a disk that spends its time per request
  bool settled_ = false;   // the largest read that takes one request's time is found
};

}  // namespace skelbrook
