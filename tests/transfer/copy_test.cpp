// Copying recordings off disk images: what lands in the destination folder, byte for byte, what
// the bars and counters say, and the rows that are refused, stopped or do not fit.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "device/file_system.h"
#include "support/copy_support.h"

#ifdef __linux__
#include <sys/mount.h>
#endif

namespace skelbrook::test {
namespace {

using CopyTest = CopyFixture;

TEST_F(CopyTest, EachRecordingIsCopiedExactlyAndItsBarReaches100OnlyWhenWhole) {
  ASSERT_NO_FATAL_FAILURE(WriteUsualDisk());
  for (size_t row = 0; row < copied.size(); ++row) {
    SCOPED_TRACE(Name(row));
    const int64_t size = disk.recordings[row].media.size;
    const int64_t length = copied[row];
    BatchCounters one{size, 0};
    ProgressLog bars;
    const CopyOutcome o = CopyRecording(Job(), disk.recordings[row], one, bars);
    ASSERT_EQ(o.status, CopyStatus::Downloaded) << o.reason;
    EXPECT_EQ(ReadWholeFile(Output(row)), Expected(row, length));
    EXPECT_EQ(o.bytesWritten, length);
    EXPECT_EQ(one.copiedBytes, length);
    // A chain that goes on past the size is not followed there, and the copy says so.
    EXPECT_EQ(o.note.empty(), row + 1 != copied.size()) << o.note;
    // A dropped tail leaves the bar short of 100; a chain longer than the size does not pass it.
    EXPECT_EQ(bars.task.back() == 100.0, length >= size);
    for (const double p : bars.task) EXPECT_LE(p, 100.0);
    for (const double p : bars.batch) EXPECT_LE(p, 100.0);
  }
  // The byte order is restored: a transport stream has its sync byte every 188 bytes.
  const std::vector<uint8_t> first = ReadWholeFile(Output(0));
  EXPECT_EQ(first[0], 0x47);
  EXPECT_EQ(first[188 * 2000], 0x47);
  EXPECT_EQ(Left().size(), copied.size()) << "nothing but the copies";
}

TEST_F(CopyTest, BatchRefusesAnExistingFileUntouchedReplacesAStalePartAndGoesOn) {
  ASSERT_NO_FATAL_FAILURE(WriteUsualDisk());
  std::ofstream(PathFromUtf8(Output(0)), std::ios::binary) << "precious";
  std::ofstream(PathFromUtf8(Output(1) + ".part"), std::ios::binary) << std::string(5000, 'x');
  std::vector<Recording>& rows = disk.recordings;
  for (Recording& r : rows) r.ticked = true;
  rows.back().ticked = false;
  Selection selection = CountTicked(rows);
  EXPECT_EQ(selection.count, 7);
  counters.totalBytes = selection.bytes;
  const BatchResult result = CopyTickedRecordings(rows, Job(), counters, log);

  EXPECT_EQ(result.rows, (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(result.outcomes[0].alreadyExists);
  EXPECT_EQ(result.outcomes[0].reason,
            "Errors! Make sure the file name(s) you are copying do not exist.");
  const std::vector<uint8_t> kept = ReadWholeFile(Output(0));
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "precious");
  EXPECT_EQ(ReadWholeFile(Output(1)), Expected(1, copied[1]));
  EXPECT_EQ(rows[0].icon, RowIcon::Failed);
  EXPECT_TRUE(rows[0].ticked);
  for (size_t i = 1; i + 1 < rows.size(); ++i) {
    EXPECT_EQ(rows[i].icon, RowIcon::Downloaded);
    EXPECT_FALSE(rows[i].ticked);
  }
  EXPECT_EQ(rows.back().icon, RowIcon::Default);
  selection = CountTicked(rows);
  EXPECT_EQ(selection.count, 1);
  EXPECT_EQ(selection.bytes, 2 * C + 10000);
  // The refused row adds nothing: the counter holds the others and the batch bar stays short.
  int64_t others = 0;
  for (size_t i = 1; i + 1 < copied.size(); ++i) others += copied[i];
  EXPECT_EQ(counters.copiedBytes, others);
  EXPECT_LT(log.batch.back(), 100.0);
  EXPECT_EQ(Left().size(), 7u) << "no .part is left";
}

TEST_F(CopyTest, DamagedRowsAreRefusedWithAReasonAndTheBatchGoesOn) {
  mkimage::ImageDesign s;
  s.systemFatEntries = 16;
  s.mediaFatEntries = 1024;
  s.recordings = {SampleRecording(2, "No file", C),
                  SampleRecording(3, "Loop", 10 * C, {20, 21}),
                  SampleRecording(4, "Outside", 3 * C, {30, 31}),
                  SampleRecording(8, "Short chain", 5 * C, {40, 41}),
                  SampleRecording(9, "Empty", 0, {9}),
                  SampleRecording(10, "Good", C + 3000)};
  s.recordings[0].withMediaFile = false;
  s.recordings[1].chainEnd = 20;      // the last cluster points back to the first
  s.recordings[2].chainEnd = 999999;  // beyond the table
  // Media-directory entries that cannot be right stand in for the media files of slots 5 to 7.
  for (const int slot : {5, 6, 7}) {
    s.recordings.push_back(SampleRecording(slot, "Damaged", 0));
    s.recordings.back().withMediaFile = false;
  }
  s.rawEntries = {{true, 10, DirEntryBytes("5.a", 200, 4000)},
                  {true, 11, DirEntryBytes("6.a", 0x7FFFFFFFu, 4000)},
                  {true, 12, DirEntryBytes("7.a", 20000, uint64_t{1} << 39)}};
  ASSERT_NO_FATAL_FAILURE(WriteDisk(s));
  ASSERT_GT(disk.geometry.dataOffset, 200 * kSectorSize);
  ASSERT_LT(20000 * kSectorSize, disk.geometry.driveSize);
  const std::map<int, std::string> reasons = {{2, "no media file"},
                                              {3, "runs in a loop"},
                                              {4, "leaves the allocation table"},
                                              {5, "before the data area"},
                                              {6, "beyond the end of the disk"},
                                              {7, "larger than the whole disk"},
                                              {8, "longer than its chain"},
                                              {9, "size is 0"}};

  const BatchResult result = CopyAll(Job());
  ASSERT_EQ(result.outcomes.size(), 9u);
  for (size_t i = 0; i < result.outcomes.size(); ++i) {
    const size_t row = result.rows[i];
    const int slot = disk.recordings[row].slot;
    const CopyOutcome& o = result.outcomes[i];
    SCOPED_TRACE(slot);
    if (slot == 10) {
      ASSERT_EQ(o.status, CopyStatus::Downloaded) << o.reason;
      EXPECT_EQ(ReadWholeFile(o.path), Expected(row, C + 3000));
      EXPECT_EQ(Left(), std::set<std::string>{Name(row)});
    } else {
      EXPECT_EQ(o.status, CopyStatus::Failed);
      EXPECT_FALSE(o.readFailure);
      EXPECT_NE(o.reason.find(reasons.at(slot)), std::string::npos) << o.reason;
    }
  }
}

// A 4 MiB file system of its own, so that "full" is real: 2.3 MB fit, 2.3 MB more do not, and a
// small recording still does.
TEST_F(CopyTest, FullDestinationRefusesOrRemovesTheRowAndCopiesTheOthers) {
#ifdef __linux__
  const std::string small = dir.file("small");
  std::filesystem::create_directories(PathFromUtf8(small));
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4m") != 0)
    GTEST_SKIP() << "mounting is not allowed here";
  struct Unmount {
    std::string path;
    ~Unmount() { umount(path.c_str()); }
  } unmount{small};
  mkimage::ImageDesign s;
  s.recordings = {SampleRecording(2, "Fits", 6 * C + 5000),
                  SampleRecording(3, "Too big", 6 * C + 5000),
                  SampleRecording(4, "Small", C + 3000)};
  ASSERT_NO_FATAL_FAILURE(WriteDisk(s));
  for (const bool checkSpace : {true, false}) {
    SCOPED_TRACE(checkSpace ? "refused before writing" : "runs out while writing");
    CopyJob job = Job();
    job.destinationFolder = small + FolderSeparator();
    job.checkSpace = checkSpace;
    const BatchResult result = CopyAll(job);
    ASSERT_EQ(result.outcomes.size(), 3u);
    EXPECT_EQ(result.outcomes[1].status, CopyStatus::Failed);
    EXPECT_NE(result.outcomes[1].reason.find(checkSpace ? "not enough free space" : "full"),
              std::string::npos)
        << result.outcomes[1].reason;
    EXPECT_EQ(ReadWholeFile(result.outcomes[0].path), Expected(0, 6 * C + 5000));
    EXPECT_EQ(ReadWholeFile(result.outcomes[2].path), Expected(2, C + 3000));
    EXPECT_EQ(Left(small), (std::set<std::string>{Name(0), Name(2)}));
  }
#else
  GTEST_SKIP() << "needs a small file system of its own";
#endif
}

}  // namespace
}  // namespace skelbrook::test
