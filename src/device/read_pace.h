// How much of the disk one bulk read asks for. A healthy disk answers a large read in a fraction
// of a second, and large reads are what make a copy as fast as the disk; a failing or very slow
// disk may take seconds over each request, and a read once asked for cannot be called back. So
// while reads come back quickly they are as large as the copy wants; once one takes longer than
// a second the reads that follow are made smaller (down to 64 KiB), so that a stop lands within
// one small read; they grow back as the disk answers quickly again.
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

  // A read of `bytes` took `took`: a slow one shrinks the reads to what the disk answers in
  // about kAimedFor, a quick one lets them double.
  void Took(int64_t bytes, Duration took) {
    if (took > kSlow) {
      const double rate = static_cast<double>(bytes) / std::chrono::duration<double>(took).count();
      const auto aimed =
          static_cast<int64_t>(rate * std::chrono::duration<double>(kAimedFor).count());
      limit_ = std::clamp(aimed / kSmallest * kSmallest, kSmallest, limit_);
    } else if (took < kQuick && bytes >= limit_) {
      limit_ = std::min(2 * limit_, kLargest);
    }
  }

 private:
  int64_t limit_ = kFirst;
};

}  // namespace skelbrook
