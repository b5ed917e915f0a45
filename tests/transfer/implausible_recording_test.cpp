// Recordings whose media-directory entry cannot be right: a start before the data area or beyond
// the end of the disk, a size larger than the whole disk. Each row is refused with its reason
// before anything is created, and the batch goes on to copy the good row after them.
#include <gtest/gtest.h>

#include <filesystem>

#include "device/file_system.h"
#include "support/test_support.h"
#include "transfer/batch.h"

namespace skelbrook {
namespace {

TEST(ImplausibleRecording, RefusedWithAReasonAndTheBatchGoesOn) {
  test::TempDir dir, out;
  mkimage::ImageSpec spec;
  spec.systemFatEntries = 16;
  spec.imageSize = int64_t{64} << 20;  // a drive larger than what is written on it
  for (const int slot : {5, 6, 7}) {
    mkimage::ImageRecording r = test::Recording(slot, "Damaged " + std::to_string(slot), 0);
    r.withMediaFile = false;  // the entries below stand in for the media files
    spec.recordings.push_back(r);
  }
  spec.recordings.push_back(test::Recording(8, "Good", kMediaClusterSize + 3000));
  const uint32_t beyond = 0x7FFFFFFFu;
  spec.rawEntries = {{true, 10, test::DirEntryBytes("5.a", 200, 4000)},
                     {true, 11, test::DirEntryBytes("6.a", beyond, 4000)},
                     {true, 12, test::DirEntryBytes("7.a", 100000, uint64_t{1} << 39)}};
  const std::string image = test::WriteTestImage(dir, spec);
  test::ReadBack disk = test::ReadImage(image);
  ASSERT_TRUE(disk.geometry.KnownDrive);
  ASSERT_EQ(disk.rows.rows.size(), 4u);
  ASSERT_GT(disk.geometry.MediaDataOffset, 200 * kSector);
  ASSERT_LT(100000 * kSector, disk.geometry.DriveSize);

  for (auto& row : disk.rows.rows) row.ticked = true;
  CopyJob job;
  job.driveText = image;
  job.destinationFolder = out.folder();
  job.geometry = &disk.geometry;
  job.table = &disk.table;
  BatchCounters counters;
  BatchObserver observer;
  const BatchResult result = CopyTickedRecordings(disk.rows, job, counters, observer);
  ASSERT_EQ(result.outcomes.size(), 4u);
  const char* reasons[] = {"before the data area", "beyond the end of the disk",
                           "larger than the whole disk"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(result.outcomes[i].status, CopyStatus::Failed);
    EXPECT_NE(result.outcomes[i].reason.find(reasons[i]), std::string::npos)
        << result.outcomes[i].reason;
  }
  EXPECT_EQ(result.outcomes[3].status, CopyStatus::Downloaded) << result.outcomes[3].reason;
  // Only the good recording's file is in the folder.
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(PathFromUtf8(out.path()))) {
    left.push_back(Utf8FromPath(e.path().filename()));
  }
  EXPECT_EQ(left, std::vector<std::string>{disk.table.ProgFileName[8] + ".ts"});
}

}  // namespace
}  // namespace skelbrook
