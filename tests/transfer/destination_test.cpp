// Copies into a destination that is, or becomes, full: a small RAM file system mounted for the
// test (skipped where mounting is not allowed).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "device/file_system.h"
#include "support/test_support.h"
#include "transfer/batch.h"

#ifndef _WIN32
#include <sys/mount.h>
#endif

namespace skelbrook {
namespace {

constexpr int64_t C = kMediaClusterSize;

// A 4 MiB file system of its own, so that "full" is real.
class SmallDestination {
 public:
  explicit SmallDestination(const test::TempDir& under) : path_(under.file("small")) {
    std::filesystem::create_directories(PathFromUtf8(path_));
#if defined(__linux__)
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=4m") == 0;
#endif
  }
  ~SmallDestination() {
#if defined(__linux__)
    if (mounted_) umount(path_.c_str());
#endif
  }
  bool mounted() const { return mounted_; }
  std::string folder() const { return path_ + FolderSeparator(); }

 private:
  std::string path_;
  bool mounted_ = false;
};

TEST(Destination, FullDestinationRefusesOrRemovesTheRowAndTheOthersAreCorrect) {
  test::TempDir dir;
  SmallDestination small(dir);
  if (!small.mounted()) GTEST_SKIP() << "mounting a small file system is not allowed here";

  mkimage::ImageSpec spec;
  // 2.3 MB fits; then 2.3 MB more does not fit in what is left; then a small one still fits.
  spec.recordings = {test::Recording(2, "Fits", 6 * C + 5000), test::Recording(3, "Too big", 6 * C + 5000),
                     test::Recording(4, "Small", C + 3000)};
  const std::string image = test::WriteTestImage(dir, spec);
  const uint64_t before = test::FileChecksum(image);
  test::ReadBack disk = test::ReadImage(image);
  for (auto& row : disk.rows.rows) row.ticked = true;

  for (const bool checkSpace : {true, false}) {
    SCOPED_TRACE(checkSpace ? "refused before writing" : "runs out while writing");
    for (const auto& e : std::filesystem::directory_iterator(PathFromUtf8(small.folder()))) {
      std::filesystem::remove(e.path());
    }
    for (auto& row : disk.rows.rows) row.ticked = true;
    CopyJob job;
    job.driveText = image;
    job.destinationFolder = small.folder();
    job.geometry = &disk.geometry;
    job.table = &disk.table;
    job.checkSpace = checkSpace;
    BatchCounters counters;
    BatchObserver observer;
    const BatchResult result = CopyTickedRecordings(disk.rows, job, counters, observer);
    ASSERT_EQ(result.outcomes.size(), 3u);
    EXPECT_EQ(result.outcomes[0].status, CopyStatus::Downloaded);
    EXPECT_EQ(result.outcomes[1].status, CopyStatus::Failed);
    EXPECT_NE(result.outcomes[1].reason.find(checkSpace ? "not enough free space" : "full"), std::string::npos)
        << result.outcomes[1].reason;
    EXPECT_FALSE(FileExists(result.outcomes[1].path));
    EXPECT_FALSE(FileExists(result.outcomes[1].path + ".part"));
    EXPECT_EQ(result.outcomes[2].status, CopyStatus::Downloaded) << result.outcomes[2].reason;
    EXPECT_EQ(test::ReadWholeFile(result.outcomes[0].path), mkimage::RecordingBytes(15, 0, 6 * C + 5000));
    EXPECT_EQ(test::ReadWholeFile(result.outcomes[2].path), mkimage::RecordingBytes(29, 0, C + 3000));
  }
  EXPECT_EQ(test::FileChecksum(image), before);
}

}  // namespace
}  // namespace skelbrook
