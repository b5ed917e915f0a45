// The transport-stream check. A packet (188 bytes):
//
// | Byte | Bits | Meaning |
// |---|---|---|
// | 0 | 8 | sync byte 0x47 |
// | 1..2 | 13 (low 5 of 1, all of 2) | PID: which elementary stream; 0x1FFF is padding |
// | 3 | 2 (bits 5..4) | adaptation field control: bit 5 = adaptation field, bit 4 = payload |
// | 3 | 4 (bits 3..0) | continuity counter, +1 mod 16 per packet with payload of the PID |
// | 4 | 8 | adaptation field length (when there is one) |
// | 5 | bit 7 / bit 4 | discontinuity indicator / PCR present |
// | 6..11 | 33 + 6 + 9 | PCR base (90 kHz), reserved, extension (27 MHz) |
#include "transfer/stream_check.h"

#include <fstream>

#include "device/file_system.h"

namespace skelbrook {
namespace {

constexpr uint8_t kDiscontinuityFlag = 0x80;
constexpr uint8_t kPcrFlag = 0x10;
constexpr int kPcrFieldLength = 7;  // the flags byte and the 6 PCR bytes
constexpr size_t kReadPiece = 1 << 20;
// A PCR step larger than half the clock's range is a jump back, not time that passed.
constexpr int64_t kLargestPcrStep = kPcrWrap / 2;

}  // namespace

void StreamChecker::Feed(const uint8_t* data, size_t count) {
  if (!partial_.empty()) {
    const size_t take = std::min(count, kTsPacketSize - partial_.size());
    partial_.insert(partial_.end(), data, data + take);
    data += take;
    count -= take;
    if (partial_.size() < kTsPacketSize) return;
    Packet(partial_.data());
    partial_.clear();
  }
  for (; count >= kTsPacketSize; data += kTsPacketSize, count -= kTsPacketSize) Packet(data);
  partial_.assign(data, data + count);
}

StreamReport StreamChecker::Finish() {
  // A recording may end part way through a packet, where the recorder stopped: not a fault.
  partial_.clear();
  if (lastPcr_ >= 0) report_.durationSeconds = static_cast<double>(pcrTicks_) / kPcrClock;
  return report_;
}

void StreamChecker::Packet(const uint8_t* p) {
  ++report_.packets;
  if (p[0] != kTsSyncByte) {
    ++report_.syncErrors;
    return;
  }
  const int pid = (p[1] & 0x1F) << 8 | p[2];
  const bool adaptation = (p[3] & 0x20) != 0;
  const bool payload = (p[3] & 0x10) != 0;
  const auto counter = static_cast<uint8_t>(p[3] & 0x0F);
  bool discontinuity = false;
  if (adaptation && p[4] > 0 && p[4] <= kTsPacketSize - 5) {
    discontinuity = (p[5] & kDiscontinuityFlag) != 0;
    if ((p[5] & kPcrFlag) != 0 && p[4] >= kPcrFieldLength) Clock(pid, p + 6);
  }
  if (pid == kTsNullPid || !payload) return;
  Counter& c = counters_[static_cast<size_t>(pid)];
  if (c.seen && !discontinuity) {
    if (counter == c.last && !c.repeated) {
      c.repeated = true;
    } else if (counter != ((c.last + 1) & 0x0F)) {
      ++report_.continuityErrors;
      c.repeated = false;
    } else {
      c.repeated = false;
    }
  } else {
    c.repeated = false;
  }
  c.seen = true;
  c.last = counter;
}

void StreamChecker::Clock(int pid, const uint8_t* pcr) {
  if (pcrPid_ < 0) pcrPid_ = pid;
  if (pid != pcrPid_) return;
  const int64_t base = int64_t{pcr[0]} << 25 | int64_t{pcr[1]} << 17 | int64_t{pcr[2]} << 9 |
                       int64_t{pcr[3]} << 1 | pcr[4] >> 7;
  if (lastPcr_ >= 0) {
    // Steps are taken modulo the clock's range, so that a wrap past 2^33 counts as time going on.
    const int64_t step = (base - lastPcr_ + kPcrWrap) % kPcrWrap;
    if (step < kLargestPcrStep) pcrTicks_ += step;
  }
  lastPcr_ = base;
}

Status CheckStreamFile(const std::string& path, StreamReport& report) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return Status::Error("cannot open " + path);
  StreamChecker checker;
  std::vector<char> piece(kReadPiece);
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    checker.Feed(reinterpret_cast<const uint8_t*>(piece.data()), static_cast<size_t>(got));
  }
  if (in.bad()) return Status::Error("cannot read " + path);
  report = checker.Finish();
  return Status::Ok();
}

}  // namespace skelbrook
