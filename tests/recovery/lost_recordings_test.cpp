// Recordings the catalogue lost, found again by a search of the whole disk, on images whose
// recordings are broadcast streams made packet by packet: a lost media directory (the table's
// orphan chains), a formatted disk (directory and table zeroed; recordings written at the same
// time, stored out of order, of one channel at different times, with stale tails), a packet lost
// in reception and a sector that will not read, and a deleted recording on a healthy disk. Every
// found copy is exactly the recording's bytes.
#include "recovery/lost_recordings.h"

#include <gtest/gtest.h>

#include "catalogue/clock.h"
#include "common/ts_packet.h"
#include "recovery/cluster_summary.h"
#include "support/copy_support.h"
#include "support/failing_disk.h"
#include "transfer/stream_check.h"

namespace skelbrook::test {
namespace {

constexpr int64_t kJan5At1930 = 1736105400;

// A recording of `packets` packets as a channel broadcasts it, on the given clusters.
mkimage::ImageRecording Broadcast(int slot, int64_t packets, std::vector<int64_t> clusters,
                                  mkimage::StreamDesign stream, uint32_t seed) {
  mkimage::ImageRecording r =
      SampleRecording(slot, "Broadcast", packets * 188, std::move(clusters));
  r.stream = std::move(stream);
  r.seed = seed;
  r.description.reset();
  return r;
}

mkimage::StreamDesign Channel(int videoPid, int64_t firstPcr, int64_t time = -1,
                              std::string event = {}) {
  mkimage::StreamDesign d;
  d.videoPid = videoPid;
  d.audioPid = videoPid + 1;
  d.pmtPid = videoPid + 0x0F00;
  d.firstPcr = firstPcr;
  d.time = time;
  d.eventName = std::move(event);
  return d;
}

// Lost: no directory entry, no record.
void Lose(mkimage::ImageRecording& r, bool keepChain) {
  r.withMediaFile = false;
  r.withRecord = false;
  r.inTable = keepChain;
}

class LostRecordingsTest : public CopyFixture {
 protected:
  // Writes the disk, reads its catalogue and searches it; the found rows, in order.
  std::vector<const Recording*> Search(mkimage::ImageDesign d) {
    d.systemFatEntries = 16;
    EXPECT_NO_FATAL_FAILURE(WriteDisk(std::move(d)));
    return SearchAgain({});
  }
  // Searches the disk written, read through `opener`.
  std::vector<const Recording*> SearchAgain(const DiskOpener& opener) {
    WorkObserver quiet;
    EXPECT_TRUE(SearchForLostRecordings(image, opener, disk, quiet).ok());
    std::vector<const Recording*> found;
    for (const Recording& r : disk.recordings) {
      if (r.found) found.push_back(&r);
    }
    return found;
  }

  // The found row copies exactly the recording's stream bytes.
  void ExpectCopyOf(const Recording& row, const mkimage::ImageRecording& made) {
    SCOPED_TRACE(row.fileStem);
    EXPECT_EQ(row.media.size, made.size);
    BatchCounters counters{row.media.size, 0};
    WorkObserver quiet;
    const CopyOutcome o = CopyRecording(Job(), row, counters, quiet);
    ASSERT_EQ(o.status, CopyStatus::Downloaded) << o.reason;
    EXPECT_TRUE(ReadWholeFile(o.path) ==
                mkimage::StreamBytes(*made.stream, made.seed, 0, made.size))
        << "the copy differs from the recording";
  }
};

TEST_F(LostRecordingsTest, OrphanChainsOfALostDirectoryAreRecordingsNamedByTheirTimeAndEvent) {
  mkimage::ImageDesign d;
  d.recordings = {
      Broadcast(2, 3000, {}, Channel(0x100, 5000), 1),  // listed: never found again
      Broadcast(3, 2500, {30, 31}, Channel(0x200, 90000, kJan5At1930, "News: Late"), 2),
      Broadcast(4, 1000, {35}, Channel(0x300, 7000), 3),
  };
  d.recordings[0].stream->time = kJan5At1930;
  Lose(d.recordings[1], true);
  Lose(d.recordings[2], true);
  d.recordings[2].tail.kind = mkimage::TailDesign::Kind::Junk;
  const auto found = Search(d);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0]->rowText, "found_001_20250105-1930_News_ Late.ts");
  EXPECT_EQ(found[1]->rowText, "found_002.ts");
  for (const Recording* r : found) EXPECT_STREQ(r->how, kFoundByChain);
  EXPECT_EQ(found[0]->clusters, (std::vector<int64_t>{30, 31}));
  EXPECT_EQ(found[0]->title, "News: Late");
  EXPECT_EQ(IsoTime(found[0]->startTime), "2025-01-05T19:30:00Z");
  EXPECT_NEAR(found[0]->durationSeconds, 2500 / 2000.0, 0.05);
  ExpectCopyOf(*found[0], design.recordings[1]);
  ExpectCopyOf(*found[1], design.recordings[2]);
}

TEST_F(LostRecordingsTest, AFormattedDiskIsReassembledByEachStreamsOwnContinuity) {
  mkimage::ImageDesign d;
  mkimage::StreamDesign older = Channel(0x100, 50 * kPcrClock);
  d.recordings = {
      // Two channels recorded at the same time: their clusters interleave.
      Broadcast(2, 5000, {20, 22, 24}, Channel(0x100, 600 * kPcrClock), 1),
      Broadcast(3, 4500, {21, 23, 25}, Channel(0x200, 601 * kPcrClock), 2),
      // Stored out of order.
      Broadcast(4, 4800, {30, 28, 29}, Channel(0x300, 9000, kJan5At1930 + 3600, "Film"), 3),
      // One channel at two times, side by side on the disk: two recordings, not one.
      Broadcast(5, 4096, {40, 41}, Channel(0x100, 3600 * kPcrClock), 4),
      Broadcast(6, 3000, {42, 43}, Channel(0x100, 7200 * kPcrClock), 5),
  };
  for (auto& r : d.recordings) Lose(r, false);
  // What follows each end in its last cluster: an older recording of the same channel, junk,
  // zeros (recordings 4 and 5 keep the default zeros).
  d.recordings[0].tail = {mkimage::TailDesign::Kind::Stale, older, 777};
  d.recordings[1].tail.kind = mkimage::TailDesign::Kind::Junk;
  d.recordings[2].tail = {mkimage::TailDesign::Kind::Stale, Channel(0x400, 12345), 3};
  const auto found = Search(d);
  ASSERT_EQ(found.size(), 5u);
  const std::vector<std::vector<int64_t>> clusters = {
      {20, 22, 24}, {21, 23, 25}, {30, 28, 29}, {40, 41}, {42, 43}};
  for (size_t i = 0; i < found.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(found[i]->clusters, clusters[i]);
    EXPECT_STREQ(found[i]->how, kFoundByContent);
  }
  // Named in the order of their first cluster on the disk.
  EXPECT_EQ(found[0]->rowText, "found_001.ts");
  EXPECT_EQ(found[2]->rowText, "found_003_20250105-2030_Film.ts");
  for (size_t i = 0; i < found.size(); ++i) ExpectCopyOf(*found[i], design.recordings[i]);
}

// A packet lost in reception (one stream's counter skips a step, and the stream goes on) lies
// inside the recording, within a cluster or across two; a sector that will not read is skipped
// and accounted for, and the recording around it is still found whole.
TEST_F(LostRecordingsTest, AReceptionErrorOrAnUnreadableSectorNeitherEndsNorSplitsARecording) {
  mkimage::ImageDesign d;
  d.recordings = {Broadcast(2, 5000, {20, 21, 22}, Channel(0x100, 600 * kPcrClock), 1),
                  Broadcast(3, 5000, {30, 31, 32}, Channel(0x200, 900 * kPcrClock), 2),
                  Broadcast(4, 4000, {40, 41}, Channel(0x300, 1200 * kPcrClock), 3)};
  d.recordings[0].stream->lostPacket = 1000;
  d.recordings[1].stream->lostPacket = kPacketsPerCluster;  // the first of its second cluster
  d.systemFatEntries = 16;
  for (auto& r : d.recordings) Lose(r, false);
  ASSERT_NO_FATAL_FAILURE(WriteDisk(std::move(d)));
  const int64_t bad = disk.geometry.dataOffset + 40 * kMediaClusterSize + 300 * kSectorSize;
  const auto found = SearchAgain(FailingAt({{bad, kSectorSize}}));
  ASSERT_EQ(found.size(), 3u);
  const std::vector<std::vector<int64_t>> clusters = {{20, 21, 22}, {30, 31, 32}, {40, 41}};
  for (size_t i = 0; i < found.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(found[i]->clusters, clusters[i]);
    ExpectCopyOf(*found[i], design.recordings[i]);  // read again from the healthy image
    // The recording itself carries the reception error: one counter that skips.
    const mkimage::ImageRecording& made = design.recordings[i];
    const std::vector<uint8_t> bytes = mkimage::StreamBytes(*made.stream, made.seed, 0, made.size);
    StreamChecker check;
    check.Feed(bytes.data(), bytes.size());
    EXPECT_EQ(check.Finish().continuityErrors, i < 2 ? 1 : 0);
  }
  const auto& unreadable = disk.account.unreadable;
  ASSERT_EQ(unreadable.size(), 1u);
  EXPECT_EQ(unreadable[0].area, kAreaMediaData);
  EXPECT_EQ(unreadable[0].firstByte, bad);
  EXPECT_EQ(unreadable[0].bytes, kSectorSize);
}

TEST_F(LostRecordingsTest, ADeletedRecordingOnAHealthyDiskIsFoundAndNothingElse) {
  mkimage::ImageDesign d;
  d.recordings = {Broadcast(2, 4000, {}, Channel(0x100, 1000), 1),
                  Broadcast(3, 2200, {50, 51}, Channel(0x100, 900 * kPcrClock), 2),
                  Broadcast(4, 3000, {}, Channel(0x200, 2000), 3)};
  Lose(d.recordings[1], false);
  const auto found = Search(d);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]->clusters, (std::vector<int64_t>{50, 51}));
  ExpectCopyOf(*found[0], design.recordings[1]);
  // The listed rows are as they were, before the found one.
  ASSERT_EQ(disk.recordings.size(), 3u);
  EXPECT_FALSE(disk.recordings[0].found || disk.recordings[1].found);
}

}  // namespace
}  // namespace skelbrook::test
