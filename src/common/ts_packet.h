// MPEG transport-stream packets, as the recorder writes its recordings: 188 bytes each. The one
// reader of a packet's header that the stream check and the search for lost recordings share.
//
// | Byte | Bits | Meaning |
// |---|---|---|
// | 0 | 8 | sync byte 0x47 |
// | 1 | bit 6 | payload unit start: a PES packet or a table section begins in this payload |
// | 1..2 | 13 (low 5 of 1, all of 2) | PID: which elementary stream; 0x1FFF is padding |
// | 3 | 2 (bits 5..4) | adaptation field control: bit 5 = adaptation field, bit 4 = payload |
// | 3 | 4 (bits 3..0) | continuity counter, +1 mod 16 per packet with payload of the PID |
// | 4 | 8 | adaptation field length (when there is one) |
// | 5 | bit 7 / bit 4 | discontinuity indicator / PCR present |
// | 6..11 | 33 + 6 + 9 | PCR base (90 kHz), reserved, extension (27 MHz) |
#pragma once

#include <cstdint>

namespace skelbrook {

inline constexpr int kTsPacketSize = 188;
inline constexpr uint8_t kTsSyncByte = 0x47;
inline constexpr int kTsNullPid = 0x1FFF;
inline constexpr int kTsPidCount = 8192;
// The PCR's base counts a 90 kHz clock in 33 bits and wraps about every 26.5 hours.
inline constexpr int64_t kPcrClock = 90000;
inline constexpr int64_t kPcrWrap = int64_t{1} << 33;

struct TsPacket {
  bool sync = false;
  int pid = kTsNullPid;
  bool unitStart = false;
  bool payload = false;
  uint8_t counter = 0;
  bool discontinuity = false;
  int64_t pcr = -1;               // the PCR base, -1 when the packet carries none
  const uint8_t* data = nullptr;  // the payload
  int size = 0;                   // its length in bytes
};

// Reads the header of the 188-byte packet at `p`.
inline TsPacket ReadTsPacket(const uint8_t* p) {
  constexpr uint8_t kDiscontinuityFlag = 0x80, kPcrFlag = 0x10;
  constexpr int kPcrFieldLength = 7;  // the flags byte and the 6 PCR bytes
  TsPacket t;
  t.sync = p[0] == kTsSyncByte;
  if (!t.sync) return t;
  t.unitStart = (p[1] & 0x40) != 0;
  t.pid = (p[1] & 0x1F) << 8 | p[2];
  const bool adaptation = (p[3] & 0x20) != 0;
  t.payload = (p[3] & 0x10) != 0;
  t.counter = static_cast<uint8_t>(p[3] & 0x0F);
  int start = 4;
  if (adaptation) {
    const int length = p[4];
    if (length > kTsPacketSize - 5) {
      t.payload = false;  // a damaged length: no payload to trust
      return t;
    }
    if (length > 0) {
      t.discontinuity = (p[5] & kDiscontinuityFlag) != 0;
      if ((p[5] & kPcrFlag) != 0 && length >= kPcrFieldLength) {
        t.pcr = int64_t{p[6]} << 25 | int64_t{p[7]} << 17 | int64_t{p[8]} << 9 |
                int64_t{p[9]} << 1 | p[10] >> 7;
      }
    }
    start = 5 + length;
  }
  if (t.payload) {
    t.data = p + start;
    t.size = kTsPacketSize - start;
  }
  return t;
}

// The clock ticks from PCR `from` to PCR `to`, going forward through a wrap.
inline int64_t PcrStep(int64_t from, int64_t to) {
  return (to - from + kPcrWrap) % kPcrWrap;
}

}  // namespace skelbrook
