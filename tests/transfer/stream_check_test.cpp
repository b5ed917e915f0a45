// The transport-stream check on streams built here packet by packet: a sound one, one with a lost
// sync byte, one whose continuity counter skips, and a stream clock that wraps past 2^33.
#include "transfer/stream_check.h"

#include <gtest/gtest.h>

namespace skelbrook {
namespace {

struct Packet {
  int pid = 0x100;
  int counter = 0;
  bool payload = true;
  bool discontinuity = false;
  int64_t pcr = -1;  // 90 kHz ticks; none when negative
};

// 188 bytes; an adaptation field when there is a PCR or a discontinuity to carry.
std::vector<uint8_t> Bytes(const Packet& p) {
  std::vector<uint8_t> b(kTsPacketSize, 0xFF);
  const bool adaptation = p.pcr >= 0 || p.discontinuity;
  b[0] = kTsSyncByte;
  b[1] = static_cast<uint8_t>(p.pid >> 8);
  b[2] = static_cast<uint8_t>(p.pid);
  b[3] = static_cast<uint8_t>((adaptation ? 0x20 : 0) | (p.payload ? 0x10 : 0) | (p.counter & 15));
  if (adaptation) {
    b[4] = 7;
    b[5] = static_cast<uint8_t>((p.discontinuity ? 0x80 : 0) | (p.pcr >= 0 ? 0x10 : 0));
    const int64_t base = std::max<int64_t>(p.pcr, 0);
    b[6] = static_cast<uint8_t>(base >> 25);
    b[7] = static_cast<uint8_t>(base >> 17);
    b[8] = static_cast<uint8_t>(base >> 9);
    b[9] = static_cast<uint8_t>(base >> 1);
    b[10] = static_cast<uint8_t>((base & 1) << 7 | 0x7E);
    b[11] = 0;
  }
  return b;
}

// Video on 0x100 with a PCR every 10th packet from `firstPcr`, 40 ms apart, and padding on the
// null PID between, fed to the checker in pieces that cut packets in two.
StreamReport Check(int packets, int64_t firstPcr, const std::function<void(int, Packet&)>& edit) {
  std::vector<uint8_t> stream;
  for (int i = 0; i < packets; ++i) {
    Packet p{.counter = i, .pcr = i % 10 == 0 ? (firstPcr + i / 10 * 3600) % kPcrWrap : -1};
    edit(i, p);
    const std::vector<uint8_t> b = Bytes(p);
    stream.insert(stream.end(), b.begin(), b.end());
    const std::vector<uint8_t> null = Bytes({.pid = kTsNullPid, .counter = 7});
    stream.insert(stream.end(), null.begin(), null.end());
  }
  StreamChecker checker;
  for (size_t at = 0; at < stream.size(); at += 1000) {
    checker.Feed(stream.data() + at, std::min<size_t>(1000, stream.size() - at));
  }
  return checker.Finish();
}

TEST(StreamCheckTest, ASoundStreamIsCleanAndItsClockSpansTheRecordingAcrossAWrap) {
  // 1,001 packets: PCRs 0..100, 100 steps of 40 ms; the clock wraps after the 50th.
  const StreamReport r = Check(1001, kPcrWrap - 50 * 3600, [](int, Packet&) {});
  EXPECT_TRUE(r.clean());
  EXPECT_EQ(r.packets, 2002);
  ASSERT_TRUE(r.durationSeconds.has_value());
  EXPECT_DOUBLE_EQ(*r.durationSeconds, 4.0);
}

TEST(StreamCheckTest, ALostSyncByteAndASkippedCounterAreCountedOnce) {
  const StreamReport r = Check(100, 0, [](int i, Packet& p) {
    if (i == 40) p.counter = 45;  // 41 expected: one error, then counting goes on from 45
    if (i >= 41) p.counter = i + 5;
  });
  EXPECT_EQ(r.continuityErrors, 1);
  EXPECT_EQ(r.syncErrors, 0);

  StreamChecker lost;
  std::vector<uint8_t> b = Bytes({});
  lost.Feed(b.data(), b.size());
  b[0] = 0x00;
  lost.Feed(b.data(), b.size());
  lost.Feed(b.data(), 100);  // a recording that stops part way through a packet
  const StreamReport s = lost.Finish();
  EXPECT_EQ(s.packets, 2);
  EXPECT_EQ(s.syncErrors, 1);
  EXPECT_FALSE(s.clean());
  EXPECT_FALSE(s.durationSeconds.has_value());
}

TEST(StreamCheckTest, CountersAreNotJudgedWithoutPayloadAtADiscontinuityOrOnOneDuplicate) {
  const StreamReport r = Check(60, 0, [](int i, Packet& p) {
    if (i == 10) p.payload = false, p.counter = 3;  // no payload: its counter means nothing
    if (i > 10) p.counter = i - 1;
    if (i == 20) p.discontinuity = true, p.counter = 9;
    if (i > 20) p.counter = i - 11;
    if (i == 31) p.counter = 19;  // the packet before, sent again once
    if (i > 31) p.counter = i - 12;
  });
  EXPECT_EQ(r.continuityErrors, 0);
  const StreamReport twice = Check(60, 0, [](int i, Packet& p) {
    if (i == 30 || i == 31) p.counter = 29;  // a counter repeated twice
    if (i > 31) p.counter = i - 2;
  });
  EXPECT_EQ(twice.continuityErrors, 1);
}

}  // namespace
}  // namespace skelbrook
