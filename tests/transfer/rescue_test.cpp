// A batch rescue on a disk with a long unreadable stretch in one recording: the recordings that
// read whole are finished before anything is retried, the first pass crosses the stretch in
// growing skips instead of failing once per block, exactly the unreadable bytes stay missing,
// and a later rescue reads only those bytes again.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "support/copy_support.h"
#include "transfer/rescue_map.h"

namespace skelbrook::test {
namespace {

// Notes, for each row that finishes, how many reads the disk had served by then.
class FinishLog : public BatchObserver {
 public:
  explicit FinishLog(const std::vector<DiskRead>& reads) : reads_(reads) {}
  void rowFinished(size_t row, const CopyOutcome&) override { readsBefore[row] = reads_.size(); }
  std::map<size_t, size_t> readsBefore;

 private:
  const std::vector<DiskRead>& reads_;
};

TEST_F(CopyFixture, ARescueReadsTheEasyDataFirstAndAfterwardsOnlyWhatIsMissing) {
  mkimage::ImageDesign s;
  s.systemFatEntries = 16;
  s.recordings = {SampleRecording(2, "Stretch", 20 * C, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                                                         20, 21, 22, 23, 24, 25, 26, 27, 28, 29}),
                  SampleRecording(3, "Whole one", 3 * C, {40, 41, 42}),
                  SampleRecording(4, "Whole two", 2 * C + 5000, {50, 51, 52})};
  ASSERT_NO_FATAL_FAILURE(WriteDisk(s));
  // 2,000,384 bytes that will not read, from 4,096 bytes into the recording's third cluster; a
  // read that meets them delivers nothing, as a direct read of a failing disk does.
  const int64_t badFile = 2 * C + 4096, badBytes = 3907 * kSectorSize;
  const int64_t badDisk = disk.geometry.dataOffset + 10 * C + badFile;
  const int64_t recordingDisk = disk.geometry.dataOffset + 10 * C;
  auto reads = std::make_shared<std::vector<DiskRead>>();
  FinishLog finished(*reads);
  for (Recording& r : disk.recordings) r.ticked = true;
  counters = {20 * C + 5 * C + 5000, 0};
  const BatchResult first = CopyTickedRecordings(
      disk.recordings, Job(true, Watched(reads, FailingAt({{badDisk, badBytes}}, false))), counters,
      finished);

  ASSERT_EQ(first.outcomes.size(), 3u);
  EXPECT_EQ(first.outcomes[1].status, CopyStatus::Downloaded);
  EXPECT_EQ(first.outcomes[2].status, CopyStatus::Downloaded);
  EXPECT_EQ(ReadWholeFile(Output(1)), Expected(1, 3 * C));
  EXPECT_EQ(ReadWholeFile(Output(2)), Expected(2, 2 * C + 5000));
  // The healthy recordings took their names before any read of the stretch one sector at a time.
  const auto inStretch = [&](const DiskRead& r) {
    return r.offset + r.count > badDisk && r.offset < badDisk + badBytes;
  };
  size_t firstSectorRead = reads->size(), failedBefore = 0;
  for (size_t i = 0; i < reads->size(); ++i) {
    if (inStretch((*reads)[i]) && (*reads)[i].count == kSectorSize) {
      firstSectorRead = std::min(firstSectorRead, i);
    } else if ((*reads)[i].delivered < (*reads)[i].count && i < finished.readsBefore[2]) {
      ++failedBefore;
    }
  }
  EXPECT_LT(finished.readsBefore[1], firstSectorRead);
  EXPECT_LT(finished.readsBefore[2], firstSectorRead);
  // The first pass met the stretch a handful of times, skipping further each time; failing once
  // per 64 KiB block would be 31 times.
  EXPECT_LE(failedBefore, 8u);
  // The rate counts what was read: every byte but the unreadable ones, each once.
  EXPECT_EQ(counters.readBytes, 25 * C + 5000 - badBytes);

  // Exactly the unreadable bytes are missing: zeros in the kept copy, "bad" in its map.
  const CopyOutcome& kept = first.outcomes[0];
  EXPECT_EQ(kept.status, CopyStatus::KeptIncomplete);
  EXPECT_EQ(kept.unreadableBytes, badBytes);
  std::vector<uint8_t> expected = Expected(0, 20 * C);
  std::fill_n(expected.begin() + badFile, badBytes, uint8_t{0});
  EXPECT_TRUE(ReadWholeFile(kept.path) == expected);
  const std::vector<uint8_t> text = ReadWholeFile(kept.path + ".map");
  const std::optional<RescueMap> map =
      RescueMap::Parse(std::string(text.begin(), text.end()), 20 * C);
  ASSERT_TRUE(map.has_value());
  EXPECT_EQ(map->Missing(), badBytes);
  for (const MapArea& a : map->Areas())
    EXPECT_TRUE(a.status == kFinished || a.status == kBadSector);

  // The disk reads again: the rescue taken up again reads the missing bytes and nothing else of
  // the recording, and the copy takes its final name.
  reads->clear();
  counters = {20 * C, 0};
  const BatchResult again =
      CopyTickedRecordings(disk.recordings, Job(true, Watched(reads)), counters, finished);
  ASSERT_EQ(again.outcomes.size(), 1u);
  EXPECT_EQ(again.outcomes[0].status, CopyStatus::Downloaded) << again.outcomes[0].reason;
  // What it found copied already counts as copied, but not as read: the rate it shows is the
  // disk's, not a leap over the part done before.
  EXPECT_EQ(counters.copiedBytes, 20 * C);
  EXPECT_EQ(counters.readBytes, badBytes);
  EXPECT_EQ(ReadWholeFile(Output(0)), Expected(0, 20 * C));
  int64_t readAgain = 0;
  for (const DiskRead& r : *reads) {
    if (r.offset < recordingDisk + 20 * C && r.offset + r.count > recordingDisk)
      readAgain += r.count;
  }
  EXPECT_EQ(readAgain, badBytes);
  EXPECT_EQ(Left(), (std::set<std::string>{Name(0), Name(1), Name(2)}));
}

// Two recordings with a bad stretch each; the second is unticked while the first pass runs: it is
// kept with what that pass read and not retried, and the retry's progress counts the first's
// stretch alone, so that it ends full.
TEST_F(CopyFixture, ARowUntickedBeforeItsRetryIsKeptAsReadAndLeftOutOfTheRetry) {
  mkimage::ImageDesign s;
  s.systemFatEntries = 16;
  s.recordings = {SampleRecording(2, "First", 3 * C, {10, 11, 12}),
                  SampleRecording(3, "Second", 3 * C, {20, 21, 22})};
  ASSERT_NO_FATAL_FAILURE(WriteDisk(s));
  const int64_t bad = 16 * kSectorSize;
  const int64_t firstBad = disk.geometry.dataOffset + 11 * C, secondBad = firstBad + 10 * C;
  class UntickSecond : public BatchObserver {
   public:
    bool isTicked(size_t row, bool stored) override {
      return row == 1 && ++askedForSecond > 1 ? false : stored;
    }
    void batchProgress(double percent) override { last = percent; }
    int askedForSecond = 0;
    double last = -1;
  } observer;
  for (Recording& r : disk.recordings) r.ticked = true;
  counters = {6 * C, 0};
  const BatchResult result = CopyTickedRecordings(
      disk.recordings, Job(true, FailingAt({{firstBad, bad}, {secondBad, bad}}, false)), counters,
      observer);
  ASSERT_EQ(result.outcomes.size(), 2u);
  EXPECT_EQ(result.outcomes[0].status, CopyStatus::KeptIncomplete);
  EXPECT_EQ(result.outcomes[1].status, CopyStatus::KeptIncomplete);
  EXPECT_EQ(result.outcomes[0].unreadableBytes, bad);  // retried sector by sector
  EXPECT_GE(result.outcomes[1].unreadableBytes, bad);  // as the first pass left it
  EXPECT_GT(counters.retryBytes, 0);
  EXPECT_EQ(counters.retriedBytes, counters.retryBytes);
  EXPECT_EQ(observer.last, 100.0);
}

}  // namespace
}  // namespace skelbrook::test
