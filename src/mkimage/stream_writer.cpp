// Recordings written as a broadcast sends them, packet by packet, for the tests of the search for
// lost recordings: a repeating pattern of 3,000 packets in which every stream's counter runs on
// and the clock steps on with the packets.
#include <array>
#include <cstring>
#include <memory>

#include "common/ts_packet.h"
#include "mkimage/image_writer.h"

namespace skelbrook::mkimage {
namespace {

constexpr int64_t kPattern = 3000;     // packets
constexpr int64_t kTablesEvery = 100;  // the program tables
constexpr int64_t kEventEvery = 1000;
constexpr int64_t kClockEvery = 40;
constexpr int kPatPid = 0, kEventPid = 0x12, kTimePid = 0x14;

enum class Kind { Pat, Pmt, Time, Event, Video, Audio };

Kind KindAt(const StreamDesign& d, int64_t k) {
  const int64_t p = k % kPattern;
  if (p == 0 && d.time >= 0) return Kind::Time;
  if (p % kTablesEvery == 1) return Kind::Pat;
  if (p % kTablesEvery == 2) return Kind::Pmt;
  if (p % kEventEvery == 3 && !d.eventName.empty()) return Kind::Event;
  return p % 4 == 3 ? Kind::Audio : Kind::Video;
}

int PidOf(const StreamDesign& d, Kind kind) {
  switch (kind) {
    case Kind::Pat:
      return kPatPid;
    case Kind::Pmt:
      return d.pmtPid;
    case Kind::Time:
      return kTimePid;
    case Kind::Event:
      return kEventPid;
    case Kind::Video:
      return d.videoPid;
    case Kind::Audio:
      return d.audioPid;
  }
  return kTsNullPid;
}

// The counter of each packet: how many packets of its stream came before it, mod 16. The pattern
// repeats, so that is whole patterns' worth plus the count within this one.
class Counters {
 public:
  explicit Counters(const StreamDesign& d) : design_(d) {
    std::array<int64_t, 6> seen{};
    for (int64_t p = 0; p < kPattern; ++p) {
      const auto kind = static_cast<size_t>(KindAt(d, p));
      before_[static_cast<size_t>(p)] = seen[kind]++;
    }
    perPattern_ = seen;
  }
  uint8_t At(int64_t k) const {
    const auto kind = static_cast<size_t>(KindAt(design_, k));
    return static_cast<uint8_t>(
        (k / kPattern * perPattern_[kind] + before_[static_cast<size_t>(k % kPattern)]) & 0x0F);
  }

 private:
  const StreamDesign& design_;
  std::array<int64_t, kPattern> before_{};
  std::array<int64_t, 6> perPattern_{};
};

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= uint32_t{data[i]} << 24;
    for (int b = 0; b < 8; ++b) crc = crc & 0x80000000 ? crc << 1 ^ 0x04C11DB7 : crc << 1;
  }
  return crc;
}

void Put16(std::vector<uint8_t>& s, int v) {
  s.push_back(static_cast<uint8_t>(v >> 8));
  s.push_back(static_cast<uint8_t>(v));
}

// A section: table id, length filled in, the body, and (with `crc`) its CRC.
std::vector<uint8_t> Section(uint8_t table, bool syntax, const std::vector<uint8_t>& body,
                             bool crc) {
  std::vector<uint8_t> s;
  s.reserve(3 + body.size() + 4);
  s.push_back(table);
  s.resize(3);  // the length, filled in below
  s.insert(s.end(), body.begin(), body.end());
  const size_t length = s.size() - 3 + (crc ? 4 : 0);
  s[1] = static_cast<uint8_t>((syntax ? 0xB0 : 0x70) | (length >> 8));
  s[2] = static_cast<uint8_t>(length);
  if (crc) {
    const uint32_t c = Crc32(s.data(), s.size());
    for (int shift : {24, 16, 8, 0}) s.push_back(static_cast<uint8_t>(c >> shift));
  }
  return s;
}

// Broadcast time: MJD, then hh mm ss in BCD.
void PutTime(std::vector<uint8_t>& s, int64_t seconds) {
  const int64_t day = seconds / 86400 + 40587, rest = seconds % 86400;
  Put16(s, static_cast<int>(day));
  for (const int64_t v : {rest / 3600, rest / 60 % 60, rest % 60})
    s.push_back(static_cast<uint8_t>(v / 10 << 4 | v % 10));
}

std::vector<uint8_t> TableSection(const StreamDesign& d, Kind kind, int64_t seconds) {
  std::vector<uint8_t> b;
  switch (kind) {
    case Kind::Pat:
      b = {0, 1, 0xC1, 0, 0, 0, 1};
      Put16(b, 0xE000 | d.pmtPid);
      return Section(0x00, true, b, true);
    case Kind::Pmt:
      b = {0, 1, 0xC1, 0, 0};
      Put16(b, 0xE000 | d.videoPid);  // the clock is the video's
      Put16(b, 0xF000);
      for (const auto& [type, pid] : {std::pair{0x02, d.videoPid}, std::pair{0x04, d.audioPid}}) {
        b.push_back(static_cast<uint8_t>(type));
        Put16(b, 0xE000 | pid);
        Put16(b, 0xF000);
      }
      return Section(0x02, true, b, true);
    case Kind::Time:
      PutTime(b, seconds);
      return Section(0x70, false, b, false);
    default: {
      b = {0, 1, 0xC1, 0, 1, 0, 1, 0, 1, 0, 0x4E};  // service, section 0 of 0..1, ids, last table
      Put16(b, 1);                                  // event id
      PutTime(b, seconds);
      b.insert(b.end(), {0x01, 0x00, 0x00});  // an hour
      std::vector<uint8_t> descriptor{0x4D, 0,   'e',
                                      'n',  'g', static_cast<uint8_t>(d.eventName.size())};
      descriptor.insert(descriptor.end(), d.eventName.begin(), d.eventName.end());
      descriptor.push_back(0);  // no text
      descriptor[1] = static_cast<uint8_t>(descriptor.size() - 2);
      Put16(b, 0x8000 | static_cast<int>(descriptor.size()));  // running, descriptors' length
      b.insert(b.end(), descriptor.begin(), descriptor.end());
      return Section(0x4E, true, b, true);
    }
  }
}

// Packet `k` of the stream.
std::array<uint8_t, kTsPacketSize> Packet(const StreamDesign& d, const Counters& counters,
                                          uint32_t seed, int64_t k) {
  std::array<uint8_t, kTsPacketSize> p;
  p.fill(0xFF);
  const Kind kind = KindAt(d, k);
  const int pid = PidOf(d, kind);
  const bool table = kind != Kind::Video && kind != Kind::Audio;
  p[0] = kTsSyncByte;
  p[1] = static_cast<uint8_t>((table ? 0x40 : 0) | pid >> 8);
  p[2] = static_cast<uint8_t>(pid);
  p[3] = static_cast<uint8_t>(0x10 | counters.At(k));
  size_t at = 4;
  if (kind == Kind::Video && k % kClockEvery == 5) {
    const int64_t pcr = (d.firstPcr + k * kPcrClock / d.packetsPerSecond) % kPcrWrap;
    p[3] |= 0x20;
    p[4] = 7;
    p[5] = 0x10;
    for (int i = 0; i < 4; ++i) p[6 + i] = static_cast<uint8_t>(pcr >> (25 - 8 * i));
    p[10] = static_cast<uint8_t>((pcr & 1) << 7 | 0x7E);
    p[11] = 0;
    at = 12;
  }
  if (table) {
    const std::vector<uint8_t> section = TableSection(d, kind, d.time + k / d.packetsPerSecond);
    p[at++] = 0;  // pointer field
    std::memcpy(p.data() + at, section.data(), std::min(section.size(), p.size() - at));
    return p;
  }
  uint32_t state = seed * 2654435761u ^ static_cast<uint32_t>(k) * 40503u ^ 0x9E3779B9u;
  for (; at < p.size(); ++at) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    p[at] = static_cast<uint8_t>(state);
  }
  return p;
}

}  // namespace

std::vector<uint8_t> StreamBytes(const StreamDesign& design, uint32_t seed, int64_t offset,
                                 int64_t count) {
  std::vector<uint8_t> out(static_cast<size_t>(std::max<int64_t>(count, 0)));
  const auto counters = std::make_unique<Counters>(design);
  for (int64_t i = 0; i < count;) {
    const int64_t at = (offset + i) / kTsPacketSize;
    const int64_t within = (offset + i) % kTsPacketSize;
    const int64_t k = design.lostPacket >= 0 && at >= design.lostPacket ? at + 1 : at;
    const auto packet = Packet(design, *counters, seed, k);
    const int64_t n = std::min<int64_t>(kTsPacketSize - within, count - i);
    std::memcpy(out.data() + i, packet.data() + within, static_cast<size_t>(n));
    i += n;
  }
  return out;
}

}  // namespace skelbrook::mkimage
