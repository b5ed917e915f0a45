// The two broadcast tables a recording carries that say when it was made and what it is: the
// time and date table on PID 0x14, and the present/following event information on PID 0x12.
// Sections are gathered from the packets' payloads, then read as the broadcast standard lays
// them out (the tables beside each reader).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/ts_packet.h"

namespace skelbrook {

inline constexpr int kTimePid = 0x14;   // time and date (TDT), time offset (TOT)
inline constexpr int kEventPid = 0x12;  // event information (EIT)

// Gathers the sections of one PID from its packets, in order. A packet that does not continue
// the counter drops a half-gathered section.
class SectionGatherer {
 public:
  // Feeds one packet of the PID; returns the sections it completes.
  std::vector<std::vector<uint8_t>> Feed(const TsPacket& packet);

 private:
  std::vector<uint8_t> section_;
  int lastCounter_ = -1;
  void Take(const uint8_t* data, int size, std::vector<std::vector<uint8_t>>& done);
};

// The UTC time of a time and date (0x70) or time offset (0x73) section, in seconds since
// 1970-01-01; nothing for any other section.
std::optional<int64_t> SectionTime(const std::vector<uint8_t>& section);

// The name of the present event of an event-information section for the actual stream's present
// and following events (table 0x4E, section 0), in UTF-8; nothing for any other section or an
// event without a name.
std::optional<std::string> PresentEventName(const std::vector<uint8_t>& section);

// Broadcast text (a first byte below 0x20 names its character table) in UTF-8: UTF-8 as it is,
// the Latin tables by the code page the disk's other texts use; control codes are dropped.
std::string BroadcastText(const uint8_t* text, int length);

}  // namespace skelbrook
