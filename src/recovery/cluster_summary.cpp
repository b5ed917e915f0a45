// One cluster read packet by packet: where its stream ends, and how its counters and clock stand.
//
// The stream ends at the first packet without a sync byte (zeros, junk), or where the clock jumps
// (the stale packets of an older recording left in the cluster carry another time). A counter
// that breaks is only a mark: a packet lost in reception breaks one stream's counter once while
// the others go on, and the clock then goes on smoothly; the stale packets of another recording
// break the counters of several streams, or bring streams new to the cluster. Where the clock
// jumps, or such stale packets are followed by zeros or the cluster's end, the recording ended
// at the first mark since its last good clock; where the cluster ends on a lone break, the next
// cluster decides.
#include "recovery/cluster_summary.h"

#include <algorithm>

#include "recovery/si_tables.h"

namespace skelbrook {
namespace {

constexpr int kNone = -1;
// By this packet every stream of a recording has shown itself (the program tables come ten times
// a second, the pictures and sound all the time).
constexpr int kStreamsShownBy = 160;
// Below this PID lie the broadcast tables, which come seldom.
constexpr int kFirstStreamPid = 0x20;

class Summariser {
 public:
  Summariser(ClusterSummary& s, std::vector<std::string>& titles) : s_(s), titles_(titles) {}

  // Takes packet `i`; false once the stream has ended.
  bool Take(int i, const uint8_t* p) {
    const TsPacket t = ReadTsPacket(p);
    if (!t.sync) return End(i);
    if (i == 0) s_.stream = true;
    if (t.pcr >= 0 && !Clock(i, t)) return false;
    if (t.payload && t.pid != kTsNullPid) Count(i, t);
    Tables(i, t);
    return true;
  }

  // Packets that could not be read: the stream is neither ended nor broken by them, and the
  // counters and the clock start afresh after them.
  void SkipUnreadable() {
    s_.unreadable = true;
    resync_.fill(true);
    lastPcr_ = kNone;
  }

  void Finish() {
    if (ended_) return;
    s_.packets = kPacketsPerCluster;
    s_.packetsIfLast =
        static_cast<uint16_t>(StaleFrom() == kNone ? kPacketsPerCluster : StaleFrom());
    // Without a broken counter the clock as it stands is the stream's, up to where it ends.
    if (StaleFrom() == kNone || mark_ == kNone) {
      s_.lastPcrIfLast = s_.lastPcr;
      s_.pcrTicksIfLast = s_.pcrTicks;
    }
    KeepFoundBefore(s_.packets);
  }

 private:
  // Where stale packets begin, by the marks since the last good clock; kNone when the breaks
  // there look like packets lost in reception.
  int StaleFrom() const {
    const bool stale = newPid_ != kNone || (mark_ != kNone && (brokenPids_ >= 2 || !continued_));
    if (!stale) return kNone;
    return std::min(mark_ == kNone ? newPid_ : mark_, newPid_ == kNone ? mark_ : newPid_);
  }

  // The stream ended by packet `i`: at `i`, or where stale packets began; `jumped` says the clock
  // jumped, so that any mark since the last good clock is where it ended.
  bool End(int i, bool jumped = false) {
    int at = StaleFrom();
    if (jumped && mark_ != kNone) at = at == kNone ? mark_ : std::min(at, mark_);
    if (at == kNone || at > i) at = i;
    s_.packets = s_.packetsIfLast = static_cast<uint16_t>(at);
    if (at < i && mark_ != kNone && at <= mark_) {
      s_.lastPcr = s_.lastPcrIfLast;
      s_.pcrTicks = s_.pcrTicksIfLast;
    } else {
      s_.lastPcrIfLast = s_.lastPcr;
      s_.pcrTicksIfLast = s_.pcrTicks;
    }
    KeepFoundBefore(at);
    ended_ = true;
    return false;
  }

  bool Clock(int i, const TsPacket& t) {
    if (s_.pcrPid == kTsNullPid) s_.pcrPid = static_cast<uint16_t>(t.pid);
    if (t.pid != s_.pcrPid) return End(i, true);  // another clock: another recording's packets
    if (lastPcr_ != kNone) {
      const int64_t step = PcrStep(lastPcr_, t.pcr);
      if (step == 0 || step > kLargestPcrStep) return End(i, true);
      s_.pcrTicks += step;
    }
    if (s_.firstPcr < 0) s_.firstPcr = t.pcr;
    lastPcr_ = s_.lastPcr = t.pcr;
    // The clock goes on: whatever broke before was inside the stream.
    mark_ = newPid_ = kNone;
    brokenPids_ = 0;
    continued_ = false;
    return true;
  }

  void Count(int i, const TsPacket& t) {
    int k = 0;
    while (k < s_.pidCount && s_.pids[static_cast<size_t>(k)].pid != t.pid) ++k;
    if (k == s_.pidCount) {
      // A stream new to the cluster once its streams have shown themselves: the broadcast tables
      // come seldom (their PIDs are below 0x20), anything else that late is another recording's.
      if (i >= kStreamsShownBy && t.pid >= kFirstStreamPid && newPid_ == kNone) newPid_ = i;
      if (s_.pidCount < kLargestPidsKept) {
        s_.pids[s_.pidCount++] = {static_cast<uint16_t>(t.pid), t.counter, t.counter};
      }
      return;
    }
    PidCounters& known = s_.pids[static_cast<size_t>(k)];
    const bool follows = t.counter == ((known.last + 1) & 0x0F) || t.counter == known.last;
    if (resync_[static_cast<size_t>(k)] || t.discontinuity) {
      resync_[static_cast<size_t>(k)] = false;
    } else if (!follows) {
      if (mark_ == kNone) {
        mark_ = i;
        s_.lastPcrIfLast = s_.lastPcr;
        s_.pcrTicksIfLast = s_.pcrTicks;
        brokenPid_ = t.pid;
      }
      if (t.pid != brokenPid_ || brokenPids_ == 0) ++brokenPids_;
    } else if (mark_ != kNone && t.pid != brokenPid_) {
      continued_ = true;  // another stream goes on past the break
    }
    known.last = t.counter;
  }

  void Tables(int i, const TsPacket& t) {
    if (t.pid == kTimePid && timeAt_ == kNone) {
      for (const auto& section : times_.Feed(t)) {
        if (const auto time = SectionTime(section); time && timeAt_ == kNone) {
          s_.firstTime = *time;
          timeAt_ = i;
        }
      }
    } else if (t.pid == kEventPid && titleAt_ == kNone) {
      for (const auto& section : events_.Feed(t)) {
        const auto name = PresentEventName(section);
        if (!name || name->empty() || titleAt_ != kNone) continue;
        auto found = std::find(titles_.begin(), titles_.end(), *name);
        if (found == titles_.end() && titles_.size() < 0xFFFF) {
          titles_.push_back(*name);
          found = titles_.end() - 1;
        }
        if (found != titles_.end()) {
          s_.titleIndex = static_cast<uint16_t>(found - titles_.begin());
          titleAt_ = i;
        }
      }
    }
  }

  // What the tables said counts only when it was said before the stream ended.
  void KeepFoundBefore(int end) {
    if (timeAt_ != kNone && timeAt_ >= end) s_.firstTime = -1;
    if (titleAt_ != kNone && titleAt_ >= end) s_.titleIndex = 0;
  }

  ClusterSummary& s_;
  std::vector<std::string>& titles_;
  SectionGatherer times_, events_;
  int64_t lastPcr_ = kNone;
  int mark_ = kNone;    // the first counter that broke since the last good clock
  int newPid_ = kNone;  // the first stream new to the cluster since the last good clock
  int brokenPid_ = kNone;
  int brokenPids_ = 0;      // streams whose counter broke since the last good clock
  bool continued_ = false;  // another stream went on properly past the first break
  int timeAt_ = kNone, titleAt_ = kNone;
  std::array<bool, kLargestPidsKept> resync_{};  // counters to take afresh after unreadable bytes
  bool ended_ = false;
};

}  // namespace

const PidCounters* ClusterSummary::Find(int pid) const {
  for (int k = 0; k < pidCount; ++k) {
    if (pids[static_cast<size_t>(k)].pid == pid) return &pids[static_cast<size_t>(k)];
  }
  return nullptr;
}

ClusterSummary SummariseCluster(int64_t cluster, const uint8_t* bytes,
                                const std::vector<bool>& readable,
                                std::vector<std::string>& titles) {
  if (titles.empty()) titles.emplace_back();
  ClusterSummary s;
  s.cluster = cluster;
  Summariser summariser(s, titles);
  for (int i = 0; i < kPacketsPerCluster; ++i) {
    if (!readable.empty() && !readable[static_cast<size_t>(i)]) {
      summariser.SkipUnreadable();
      continue;
    }
    if (!summariser.Take(i, bytes + static_cast<ptrdiff_t>(i) * kTsPacketSize)) return s;
  }
  summariser.Finish();
  return s;
}

}  // namespace skelbrook
