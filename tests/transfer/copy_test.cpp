// Copying recordings off disk images: what lands in the destination folder, byte for byte, and
// what happens when the disk, the chain or the destination lets the copy down.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "device/file_system.h"
#include "support/test_support.h"
#include "transfer/batch.h"

namespace skelbrook {
namespace {

using test::ReadBack;
using test::Recording;
using test::TempDir;

constexpr int64_t C = kMediaClusterSize;

// Remembers what the copy reported to its front end.
class Recorder : public BatchObserver {
 public:
  bool pump() override { return ++pumps != stopAtPump; }
  void taskProgress(double p) override { task.push_back(p); }
  void batchProgress(double p) override { batch.push_back(p); }
  int pumps = 0;
  int stopAtPump = -1;
  std::vector<double> task, batch;
};

struct Copied {
  CopyOutcome outcome;
  BatchCounters counters;
  Recorder observer;
};

class CopyTest : public ::testing::Test {
 protected:
  // Writes an image holding `recordings` and reads its catalogue.
  void Disk(std::vector<mkimage::ImageRecording> recordings, int64_t fatEntries = 4096) {
    mkimage::ImageSpec spec;
    spec.recordings = std::move(recordings);
    spec.mediaFatEntries = fatEntries;
    image = test::WriteTestImage(dir, spec);
    disk = test::ReadImage(image);
    ASSERT_TRUE(disk.geometry.KnownDrive);
  }

  CopyJob Job(DeviceFaults faults = {}, bool rescue = false) {
    CopyJob job;
    job.driveText = image;
    job.destinationFolder = out.folder();
    job.geometry = &disk.geometry;
    job.table = &disk.table;
    job.faults = faults;
    job.rescue = rescue;
    return job;
  }

  Copied Copy(int row, DeviceFaults faults = {}, bool rescue = false) {
    Copied c;
    c.counters.BatchBytesTotal = disk.table.ProgFileSize[disk.table.RowSlot[row]];
    c.outcome = Trace_and_Record(Job(faults, rescue), row, c.counters, c.observer);
    return c;
  }

  std::string Output(int row) { return out.file(disk.table.ProgFileName[disk.table.RowSlot[row]] + ".ts"); }

  // Files left in the destination folder.
  std::vector<std::string> Left() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(PathFromUtf8(out.path()))) {
      names.push_back(Utf8FromPath(e.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir, out;
  std::string image;
  ReadBack disk;
};

std::vector<uint8_t> Expected(uint32_t seed, int64_t length) { return mkimage::RecordingBytes(seed, 0, length); }

TEST_F(CopyTest, TailOfTheLastClusterIsCopiedOnlyWhenLargerThan1024Bytes) {
  // Three-cluster chains whose last cluster holds 10,000, 1,024, 1,025 bytes, and a whole one.
  Disk({Recording(2, "Ten thousand", 2 * C + 10000, {5, 6, 7}), Recording(3, "Dropped", 2 * C + 1024, {8, 9, 10}),
        Recording(4, "Kept", 2 * C + 1025, {11, 12, 13}), Recording(5, "Whole", 3 * C, {14, 15, 16})});
  const int64_t expectedLength[] = {2 * C + 10000, 2 * C, 2 * C + 1025, 3 * C};
  for (int row = 1; row <= 4; ++row) {
    SCOPED_TRACE(row);
    const int slot = disk.table.RowSlot[row];
    const Copied c = Copy(row);
    ASSERT_EQ(c.outcome.status, CopyStatus::Downloaded) << c.outcome.reason;
    const int64_t length = expectedLength[row - 1];
    EXPECT_EQ(test::ReadWholeFile(Output(row)), Expected(static_cast<uint32_t>(slot * 7 + 1), length));
    EXPECT_EQ(c.outcome.bytesWritten, length);
    EXPECT_EQ(c.counters.BatchBytesCopied, length);
    // The bar reaches 100 only when every byte of the recording was written.
    EXPECT_EQ(c.observer.task.back() == 100.0, length == disk.table.ProgFileSize[slot]);
  }
}

TEST_F(CopyTest, NonContiguousChainIsFollowedAndByteOrderRestored) {
  Disk({Recording(2, "First", C + 5000), Recording(9, "Scattered", 3 * C + 4242, {40, 12, 77, 3})});
  const Copied c = Copy(2);
  ASSERT_EQ(c.outcome.status, CopyStatus::Downloaded) << c.outcome.reason;
  const std::vector<uint8_t> file = test::ReadWholeFile(Output(2));
  EXPECT_EQ(file, Expected(9 * 7 + 1, 3 * C + 4242));
  ASSERT_GT(file.size(), 188u * 3);
  EXPECT_EQ(file[0], 0x47);
  EXPECT_EQ(file[188], 0x47);
  // Exactly the two files' names remain: nothing half-written beside them.
  EXPECT_EQ(Left(), std::vector<std::string>{disk.table.ProgFileName[9] + ".ts"});
}

TEST_F(CopyTest, ExistingFileIsRefusedAndLeftUntouched) {
  Disk({Recording(2, "Taken", C + 2000)});
  {
    std::ofstream keep(PathFromUtf8(Output(1)), std::ios::binary);
    keep << "precious";
  }
  const Copied c = Copy(1);
  EXPECT_EQ(c.outcome.status, CopyStatus::Failed);
  EXPECT_TRUE(c.outcome.alreadyExists);
  EXPECT_EQ(c.outcome.reason, "Errors! Make sure the file name(s) you are copying do not exist.");
  EXPECT_EQ(c.counters.BatchBytesCopied, 0);
  EXPECT_TRUE(c.observer.task.empty());
  const std::vector<uint8_t> kept = test::ReadWholeFile(Output(1));
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "precious");
}

TEST_F(CopyTest, StalePartFileFromAnInterruptedCopyIsReplaced) {
  Disk({Recording(2, "Again", C + 3000)});
  {
    std::ofstream stale(PathFromUtf8(Output(1) + ".part"), std::ios::binary);
    stale << std::string(5000, 'x');
  }
  const Copied c = Copy(1);
  ASSERT_EQ(c.outcome.status, CopyStatus::Downloaded) << c.outcome.reason;
  EXPECT_EQ(test::ReadWholeFile(Output(1)), Expected(15, C + 3000));
  EXPECT_EQ(Left().size(), 1u);
}

TEST_F(CopyTest, UnreadableDiskOrFullDestinationFailsTheRowAndLeavesNoFile) {
  Disk({Recording(2, "Fragile", 3 * C + 7000, {10, 11, 12, 13})});
  const int64_t secondCluster = disk.geometry.MediaDataOffset + 11 * C;
  struct Fault {
    const char* what;
    DeviceFaults faults;
    const char* reasonHas;
  };
  const Fault faults[] = {
      {"read error", {secondCluster + 70000, false, -1, true}, "cannot read the recorder disk"},
      {"short read", {secondCluster + 70000 + 512, true, -1, true}, "cannot read the recorder disk"},
      {"tail read", {disk.geometry.MediaDataOffset + 13 * C + 100, false, -1, true}, "cannot read"},
      {"disk full", {-1, false, C + 100, true}, "full"},
      {"write error", {-1, false, 2 * C, false}, "writing failed"},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.what);
    const Copied c = Copy(1, f.faults);
    EXPECT_EQ(c.outcome.status, CopyStatus::Failed);
    EXPECT_NE(c.outcome.reason.find(f.reasonHas), std::string::npos) << c.outcome.reason;
    EXPECT_EQ(c.counters.BatchBytesCopied, 0) << "a failed copy is not counted";
    EXPECT_TRUE(Left().empty()) << "neither the final name nor the .part may remain";
  }
}

TEST_F(CopyTest, BrokenChainsStopWithAReasonInsteadOfRunningWild) {
  mkimage::ImageRecording loop = Recording(3, "Loop", 10 * C, {20, 21});
  loop.chainEnd = 20;  // the last cluster points back to the first
  mkimage::ImageRecording outside = Recording(4, "Outside", 3 * C, {30, 31});
  outside.chainEnd = 999999;  // beyond the table
  mkimage::ImageRecording short_ = Recording(5, "Short", 5 * C, {40, 41});  // size needs 5 clusters
  Disk({loop, outside, short_}, 1024);
  const char* reasons[] = {"loop", "leaves the allocation table", "longer than its chain"};
  for (int row = 1; row <= 3; ++row) {
    SCOPED_TRACE(row);
    const Copied c = Copy(row);
    EXPECT_EQ(c.outcome.status, CopyStatus::Failed);
    EXPECT_NE(c.outcome.reason.find(reasons[row - 1]), std::string::npos) << c.outcome.reason;
  }
  EXPECT_TRUE(Left().empty());
}

TEST_F(CopyTest, ChainLongerThanTheSizeIsCopiedWholeWithBarsClamped) {
  Disk({Recording(2, "Long chain", C + 10, {7, 8, 9})});
  const Copied c = Copy(1);
  ASSERT_EQ(c.outcome.status, CopyStatus::Downloaded) << c.outcome.reason;
  EXPECT_EQ(test::ReadWholeFile(Output(1)), Expected(15, 2 * C));
  for (double p : c.observer.task) EXPECT_LE(p, 100.0);
  for (double p : c.observer.batch) EXPECT_LE(p, 100.0);
}

TEST_F(CopyTest, SingleClusterRecordingsAndOddTails) {
  // A first cluster that is also the last is trimmed by the same tail rule; a tail that is not a
  // whole number of 4-byte groups is written to the byte.
  Disk({Recording(2, "One", 5001, {3}), Recording(3, "Tiny", 1000, {4}), Recording(4, "Odd", C + 1027, {5, 6})});
  const Copied one = Copy(1);
  ASSERT_EQ(one.outcome.status, CopyStatus::Downloaded) << one.outcome.reason;
  EXPECT_EQ(test::ReadWholeFile(Output(1)), Expected(15, 5001));
  EXPECT_EQ(one.observer.task.back(), 100.0);
  const Copied tiny = Copy(2);
  ASSERT_EQ(tiny.outcome.status, CopyStatus::Downloaded);
  EXPECT_TRUE(test::ReadWholeFile(Output(2)).empty());
  const Copied odd = Copy(3);
  ASSERT_EQ(odd.outcome.status, CopyStatus::Downloaded);
  EXPECT_EQ(test::ReadWholeFile(Output(3)), Expected(29, C + 1027));
}

TEST_F(CopyTest, RowsWithoutAMediaFileOrSizeAreRefusedBeforeAnythingIsCreated) {
  mkimage::ImageRecording noFile = Recording(2, "No file", C);
  noFile.withMediaFile = false;
  Disk({noFile, Recording(3, "Empty", 0, {9})});
  for (int row = 1; row <= 2; ++row) {
    const Copied c = Copy(row);
    EXPECT_EQ(c.outcome.status, CopyStatus::Failed);
    EXPECT_FALSE(c.outcome.reason.empty());
    EXPECT_TRUE(c.observer.task.empty());
  }
  EXPECT_TRUE(Left().empty());
}

TEST_F(CopyTest, RescueModeZeroesOnlyTheUnreadableSectorsAndListsThem) {
  Disk({Recording(2, "Worn", 2 * C + 9000, {4, 5, 6})});
  const int64_t bad = disk.geometry.MediaDataOffset + 5 * C + 3 * 65536 + 1024;  // in cluster 5
  const Copied c = Copy(1, {bad, false, -1, true}, true);
  EXPECT_EQ(c.outcome.status, CopyStatus::Failed);
  EXPECT_EQ(c.outcome.unreadableBytes, 512);
  EXPECT_NE(c.outcome.reason.find("512 bytes"), std::string::npos) << c.outcome.reason;
  std::vector<uint8_t> expected = Expected(15, 2 * C + 9000);
  const int64_t at = C + 3 * 65536 + 1024;
  std::fill(expected.begin() + at, expected.begin() + at + 512, uint8_t{0});
  EXPECT_EQ(test::ReadWholeFile(Output(1)), expected);
  const std::vector<uint8_t> list = test::ReadWholeFile(Output(1) + ".unreadable.txt");
  const std::string text(list.begin(), list.end());
  EXPECT_NE(text.find(std::to_string(at) + "-" + std::to_string(at + 511)), std::string::npos) << text;
}

TEST_F(CopyTest, BatchCopiesTickedRowsInOrderAndGoesOnAfterAFailure) {
  Disk({Recording(2, "A", C + 2000), Recording(3, "B", C + 3000), Recording(4, "C", 2 * C + 5000)});
  {
    std::ofstream taken(PathFromUtf8(Output(2)), std::ios::binary);
    taken << "x";
  }
  for (auto& row : disk.rows.rows) row.ticked = true;
  disk.rows.rows[0].ticked = false;
  BatchCounters counters;
  Selection before;
  RecountSelection(disk.rows, disk.table, before);
  EXPECT_EQ(before.SelectedCount, 2);
  counters.BatchBytesTotal = before.SelectedBytes;
  Recorder observer;
  const BatchResult result = CopyTickedRecordings(disk.rows, Job(), counters, observer);
  EXPECT_EQ(result.rowsCopied, (std::vector<int>{2, 3}));
  EXPECT_EQ(disk.rows.rows[0].icon, "default");
  EXPECT_EQ(disk.rows.rows[1].icon, "failed");
  EXPECT_TRUE(disk.rows.rows[1].ticked);
  EXPECT_EQ(disk.rows.rows[2].icon, "downloaded");
  EXPECT_FALSE(disk.rows.rows[2].ticked);
  Selection after;
  RecountSelection(disk.rows, disk.table, after);
  EXPECT_EQ(after.SelectedCount, 1);
  EXPECT_EQ(after.SelectedBytes, C + 3000);
  EXPECT_EQ(counters.BatchBytesCopied, 2 * C + 5000);
  EXPECT_LT(observer.batch.back(), 100.0);
}

TEST_F(CopyTest, StoppingMidCopyRemovesThePartialFile) {
  Disk({Recording(2, "Interrupted", 4 * C)});
  for (auto& row : disk.rows.rows) row.ticked = true;
  BatchCounters counters;
  counters.BatchBytesTotal = 4 * C;
  Recorder observer;
  observer.stopAtPump = 4;  // row start, copy start, first cluster, then stop
  const BatchResult result = CopyTickedRecordings(disk.rows, Job(), counters, observer);
  EXPECT_TRUE(result.stopped);
  EXPECT_TRUE(Left().empty());
  EXPECT_TRUE(disk.rows.rows[0].ticked);
}

TEST(CopyPercent, ClampedAndNeverDividesByZero) {
  EXPECT_EQ(Percent(5, 0), 0.0);
  EXPECT_EQ(Percent(300, 200), 100.0);
  EXPECT_EQ(Percent(-1, 200), 0.0);
  EXPECT_DOUBLE_EQ(Percent(1, 3), 100.0 / 3.0);
}

}  // namespace
}  // namespace skelbrook
