// The throughput of the recent past, and the time left at it, as a copy's progress shows them:
// measured over the last ten seconds, so that a disk that slows down shows at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>

namespace skelbrook {

class RecentRate {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kWindow{10};

  // Notes that `done` bytes in all were done at `now`.
  void Add(Clock::time_point now, int64_t done) {
    samples_.emplace_back(now, done);
    while (samples_.size() > 2 && now - samples_[1].first >= kWindow) samples_.pop_front();
  }
  // Bytes per second over the window; 0 until there are two samples that differ.
  double BytesPerSecond() const {
    if (samples_.size() < 2) return 0;
    const double seconds =
        std::chrono::duration<double>(samples_.back().first - samples_.front().first).count();
    const int64_t bytes = samples_.back().second - samples_.front().second;
    return seconds > 0 && bytes > 0 ? static_cast<double>(bytes) / seconds : 0;
  }
  // Whole seconds to do `left` more bytes at that rate; 0 when the rate is not known yet.
  int64_t SecondsLeft(int64_t left) const {
    const double rate = BytesPerSecond();
    return rate > 0 && left > 0 ? static_cast<int64_t>(static_cast<double>(left) / rate) : 0;
  }
  void Clear() { samples_.clear(); }

 private:
  std::deque<std::pair<Clock::time_point, int64_t>> samples_;
};

// A time left as people read it: "3:07", or with hours "1:02:03".
inline std::string DurationText(int64_t seconds) {
  const auto two = [](int64_t v) { return std::string(v < 10 ? "0" : "") + std::to_string(v); };
  if (seconds < 0) seconds = 0;
  if (seconds >= 3600)
    return std::to_string(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60);
  return std::to_string(seconds / 60) + ":" + two(seconds % 60);
}

}  // namespace skelbrook
