// What the search for lost recordings keeps of each media cluster it reads: a few dozen bytes
// that say whether the cluster holds a transport stream, where that stream ends in it, and how
// its stream's counters and clock stand at its start and end, so that clusters can be chained by
// the stream itself. A media cluster holds exactly 2,048 packets of 188 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/ts_packet.h"
#include "disk/layout.h"

namespace skelbrook {

inline constexpr int kPacketsPerCluster = static_cast<int>(kMediaClusterSize / kTsPacketSize);
// The streams of a recording whose counters are kept per cluster (video, audio, tables, ...).
inline constexpr int kLargestPidsKept = 12;
// The clock of one recording steps on by less than this between two packets that carry it.
inline constexpr int64_t kLargestPcrStep = kPcrClock;  // one second

struct PidCounters {
  uint16_t pid = 0;
  uint8_t first = 0;  // the counter of the PID's first packet with payload in the cluster
  uint8_t last = 0;   // and of its last, within the stream
};

struct ClusterSummary {
  int64_t cluster = 0;  // the media cluster's number
  bool stream = false;  // it begins with transport-stream packets
  // Packets of the stream from the cluster's start: 2,048 when the stream may go on into another
  // cluster; fewer where zeros or junk, or a clock that jumps, show it ended here.
  uint16_t packets = 0;
  // Where the stream ends if no other cluster goes on from this one: a counter broke and nothing
  // in this cluster said the break was only a packet lost in reception.
  uint16_t packetsIfLast = 0;
  uint16_t pcrPid = kTsNullPid;  // the stream that carries the clock
  int64_t firstPcr = -1;         // 90 kHz; -1 without a clock
  int64_t lastPcr = -1;          // the last before the stream ends (or breaks)
  int64_t lastPcrIfLast = -1;
  int64_t pcrTicks = 0;  // clock ticks from the first to the last PCR
  int64_t pcrTicksIfLast = 0;
  int64_t firstTime = -1;   // the first broadcast time (UTC seconds) in the stream, -1 for none
  uint16_t titleIndex = 0;  // the first present event's name (an index into a list), 0 for none
  bool unreadable = false;  // part of it could not be read
  uint8_t pidCount = 0;
  std::array<PidCounters, kLargestPidsKept> pids{};

  const PidCounters* Find(int pid) const;
};

// Reads the cluster `bytes` (natural byte order, kMediaClusterSize of them); `readable` says per
// packet whether it was read (unreadable packets neither end nor break the stream). Event names
// go into `titles` (index 0 is the empty name), each once.
ClusterSummary SummariseCluster(int64_t cluster, const uint8_t* bytes,
                                const std::vector<bool>& readable,
                                std::vector<std::string>& titles);

}  // namespace skelbrook
