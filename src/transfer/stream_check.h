// Whether a copy is a sound MPEG transport stream: its 188-byte packets and their sync bytes, the
// continuity counter of every elementary stream, and the time the stream's clock (PCR) spans.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"
#include "common/ts_packet.h"

namespace skelbrook {

struct StreamReport {
  int64_t packets = 0;           // whole 188-byte positions (a part of one at the end is not)
  int64_t syncErrors = 0;        // positions that do not start with 0x47
  int64_t continuityErrors = 0;  // continuity counters that skip, over every stream but null
  std::optional<double> durationSeconds;  // first to last PCR of the PCR stream; none without
  bool clean() const { return packets > 0 && syncErrors == 0 && continuityErrors == 0; }
};

// Reads a stream in pieces of any size.
class StreamChecker {
 public:
  void Feed(const uint8_t* data, size_t count);
  StreamReport Finish();

 private:
  void Packet(const uint8_t* p);
  void Clock(int pid, int64_t pcr);

  struct Counter {
    bool seen = false;
    bool repeated = false;  // one repetition of a counter is allowed (a duplicate packet)
    uint8_t last = 0;
  };
  StreamReport report_;
  std::vector<Counter> counters_ = std::vector<Counter>(kTsPidCount);
  std::vector<uint8_t> partial_;  // the start of a packet the last piece ended in
  int pcrPid_ = -1;               // the first stream that carries a PCR
  int64_t lastPcr_ = -1;
  int64_t pcrTicks_ = 0;
};

// Checks the file at `path` (UTF-8).
Status CheckStreamFile(const std::string& path, StreamReport& report);
// Checks the files one after another as one stream (a copy in parts): counters and clock run on
// across them.
Status CheckStreamFiles(const std::vector<std::string>& paths, StreamReport& report);

}  // namespace skelbrook
