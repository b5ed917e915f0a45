// Gathering table sections and reading the time and the present event's name from them.
#include "recovery/si_tables.h"

#include <algorithm>

#include "catalogue/text.h"

namespace skelbrook {
namespace {

// A section's first three bytes:
//
// | Byte | Bits | Meaning |
// |---|---|---|
// | 0 | 8 | table id |
// | 1..2 | 12 (low 4 of 1, all of 2) | section length: the bytes after these three |
constexpr int kSectionHeader = 3;
constexpr int kLargestSection = 4096;
constexpr uint8_t kStuffing = 0xFF;  // after the last section of a payload

int SectionLength(const std::vector<uint8_t>& s) {
  return s.size() < kSectionHeader ? -1 : ((s[1] & 0x0F) << 8 | s[2]) + kSectionHeader;
}

int Bcd(uint8_t b) {
  return (b >> 4) * 10 + (b & 0x0F);
}

// A time as broadcast: 16 bits of Modified Julian Date, then hours, minutes and seconds in BCD.
int64_t BroadcastTime(const uint8_t* t) {
  constexpr int64_t kMjdOf1970 = 40587;
  const int64_t mjd = t[0] << 8 | t[1];
  return (mjd - kMjdOf1970) * 86400 + Bcd(t[2]) * 3600 + Bcd(t[3]) * 60 + Bcd(t[4]);
}

}  // namespace

std::vector<std::vector<uint8_t>> SectionGatherer::Feed(const TsPacket& packet) {
  std::vector<std::vector<uint8_t>> done;
  if (!packet.payload || packet.size <= 0) return done;
  if (lastCounter_ >= 0 && packet.counter != ((lastCounter_ + 1) & 0x0F)) section_.clear();
  lastCounter_ = packet.counter;
  const uint8_t* data = packet.data;
  int size = packet.size;
  if (packet.unitStart) {
    // The pointer field: how many bytes finish the previous section before a new one starts.
    const int pointer = data[0];
    if (pointer + 1 > size) {
      section_.clear();
      return done;
    }
    if (!section_.empty()) Take(data + 1, pointer, done);
    section_.clear();
    data += 1 + pointer;
    size -= 1 + pointer;
    Take(data, size, done);
  } else if (!section_.empty()) {
    Take(data, size, done);
  }
  return done;
}

void SectionGatherer::Take(const uint8_t* data, int size, std::vector<std::vector<uint8_t>>& done) {
  while (size > 0) {
    if (section_.empty() && data[0] == kStuffing) return;
    const int want = SectionLength(section_);
    const int take = want < 0 ? std::min(size, kSectionHeader - static_cast<int>(section_.size()))
                              : std::min(size, want - static_cast<int>(section_.size()));
    section_.insert(section_.end(), data, data + take);
    data += take;
    size -= take;
    const int length = SectionLength(section_);
    if (length > kLargestSection) {
      section_.clear();
      return;
    }
    if (length >= 0 && static_cast<int>(section_.size()) == length) {
      done.push_back(std::move(section_));
      section_.clear();
    }
  }
}

// A time and date section (0x70) or time offset section (0x73):
//
// | Byte | Meaning |
// |---|---|
// | 0 | table id |
// | 1..2 | section length |
// | 3..7 | UTC time: MJD (16 bits), then hh mm ss in BCD |
std::optional<int64_t> SectionTime(const std::vector<uint8_t>& section) {
  constexpr uint8_t kTimeDate = 0x70, kTimeOffset = 0x73;
  constexpr size_t kTimeAt = 3, kTimeBytes = 5;
  if (section.size() < kTimeAt + kTimeBytes) return std::nullopt;
  if (section[0] != kTimeDate && section[0] != kTimeOffset) return std::nullopt;
  return BroadcastTime(section.data() + kTimeAt);
}

// An event information section for the actual stream's present and following events:
//
// | Byte | Meaning |
// |---|---|
// | 0 | table id 0x4E |
// | 6 | section number: 0 holds the present event, 1 the following one |
// | 14.. | events: id (2), start (5), duration (3), 4 bits status, 12 bits descriptors' length |
// | last 4 | CRC |
//
// A short event descriptor: tag 0x4D, length, language (3), name length, name, text length, text.
std::optional<std::string> PresentEventName(const std::vector<uint8_t>& section) {
  constexpr uint8_t kPresentFollowing = 0x4E, kShortEvent = 0x4D;
  constexpr size_t kSectionNumberAt = 6, kEventsAt = 14, kEventHeader = 12, kCrc = 4;
  if (section.size() < kEventsAt + kEventHeader + kCrc || section[0] != kPresentFollowing ||
      section[kSectionNumberAt] != 0) {
    return std::nullopt;
  }
  const size_t end = section.size() - kCrc;
  const size_t loop = (section[kEventsAt + 10] & 0x0F) << 8 | section[kEventsAt + 11];
  size_t at = kEventsAt + kEventHeader;
  const size_t loopEnd = std::min(end, at + loop);
  while (at + 2 <= loopEnd) {
    const uint8_t tag = section[at];
    const size_t length = section[at + 1];
    if (at + 2 + length > loopEnd) break;
    if (tag == kShortEvent && length >= 4) {
      const size_t nameLength = section[at + 5];
      if (nameLength > 0 && 6 + nameLength <= length + 2)
        return BroadcastText(section.data() + at + 6, static_cast<int>(nameLength));
    }
    at += 2 + length;
  }
  return std::nullopt;
}

std::string BroadcastText(const uint8_t* text, int length) {
  constexpr uint8_t kUtf8Table = 0x15, kTablesFrom16 = 0x10;
  int start = 0;
  bool utf8 = false;
  if (length > 0 && text[0] < 0x20) {
    utf8 = text[0] == kUtf8Table;
    start = text[0] == kTablesFrom16 ? 3 : 1;  // 0x10 names the table in the next two bytes
  }
  std::string bytes;
  for (int i = start; i < length; ++i) {
    const uint8_t c = text[i];
    // Control codes (emphasis on and off, line breaks) are not part of a name.
    if (c < 0x20 || (c >= 0x80 && c < 0xA0 && !utf8)) continue;
    bytes.push_back(static_cast<char>(c));
  }
  return utf8 ? bytes : DecodeCp1252(bytes);
}

}  // namespace skelbrook
