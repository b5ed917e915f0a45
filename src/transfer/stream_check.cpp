// The transport-stream check, packet by packet (common/ts_packet.h lays a packet out).
#include "transfer/stream_check.h"

#include <fstream>

#include "device/file_system.h"

namespace skelbrook {
namespace {

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
  const TsPacket t = ReadTsPacket(p);
  if (!t.sync) {
    ++report_.syncErrors;
    return;
  }
  if (t.pcr >= 0) Clock(t.pid, t.pcr);
  if (t.pid == kTsNullPid || !t.payload) return;
  Counter& c = counters_[static_cast<size_t>(t.pid)];
  if (c.seen && !t.discontinuity) {
    if (t.counter == c.last && !c.repeated) {
      c.repeated = true;
    } else if (t.counter != ((c.last + 1) & 0x0F)) {
      ++report_.continuityErrors;
      c.repeated = false;
    } else {
      c.repeated = false;
    }
  } else {
    c.repeated = false;
  }
  c.seen = true;
  c.last = t.counter;
}

void StreamChecker::Clock(int pid, int64_t pcr) {
  if (pcrPid_ < 0) pcrPid_ = pid;
  if (pid != pcrPid_) return;
  if (lastPcr_ >= 0) {
    // Steps are taken modulo the clock's range, so that a wrap past 2^33 counts as time going on.
    const int64_t step = PcrStep(lastPcr_, pcr);
    if (step < kLargestPcrStep) pcrTicks_ += step;
  }
  lastPcr_ = pcr;
}

Status CheckStreamFile(const std::string& path, StreamReport& report) {
  return CheckStreamFiles({path}, report);
}

Status CheckStreamFiles(const std::vector<std::string>& paths, StreamReport& report) {
  StreamChecker checker;
  std::vector<char> piece(kReadPiece);
  for (const std::string& path : paths) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in) return Status::Error("cannot open " + path);
    while (in) {
      in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
      const std::streamsize got = in.gcount();
      if (got <= 0) break;
      checker.Feed(reinterpret_cast<const uint8_t*>(piece.data()), static_cast<size_t>(got));
    }
    if (in.bad()) return Status::Error("cannot read " + path);
  }
  report = checker.Finish();
  return Status::Ok();
}

}  // namespace skelbrook
