// The recorder disk is only ever read. A read-only (0444) image is listed and every recording on
// it copied through the batch; its bytes are the same afterwards, and (on Linux, where the kernel
// can tell) nothing even opened it for writing.
#include <gtest/gtest.h>

#include <filesystem>

#include "device/file_system.h"
#include "support/test_support.h"
#include "transfer/batch.h"

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace skelbrook {
namespace {

constexpr int64_t C = kMediaClusterSize;

#ifdef __linux__
// Watches a file for being written, or closed after being opened for writing.
class WriteWatch {
 public:
  explicit WriteWatch(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0)
      watch_ = inotify_add_watch(fd_, path.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB);
  }
  ~WriteWatch() {
    if (fd_ >= 0) close(fd_);
  }
  bool watching() const { return watch_ >= 0; }
  // The events seen so far.
  uint32_t Events() {
    uint32_t seen = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        seen |= event->mask;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return seen;
  }

 private:
  int fd_;
  int watch_ = -1;
};
#endif

TEST(SourceUntouched, ReadOnlyImageIsListedAndCopiedAndNeverOpenedForWriting) {
  test::TempDir dir, out;
  mkimage::ImageSpec spec;
  spec.recordings = {test::Recording(2, "News", 2 * C + 7000),
                     test::Recording(3, "Film", C + 100, {9, 4}),
                     test::Recording(4, "Short", 3000)};
  const std::string image = test::WriteTestImage(dir, spec);
  std::filesystem::permissions(PathFromUtf8(image), std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::others_read);
  const uint64_t before = test::FileChecksum(image);
#ifdef __linux__
  WriteWatch watch(image);
  ASSERT_TRUE(watch.watching());
#endif

  test::ReadBack disk = test::ReadImage(image);
  ASSERT_EQ(disk.result, CatalogueResult::Listed);
  for (auto& row : disk.rows.rows) row.ticked = true;
  CopyJob job;
  job.driveText = image;
  job.destinationFolder = out.folder();
  job.geometry = &disk.geometry;
  job.table = &disk.table;
  BatchCounters counters;
  BatchObserver observer;
  const BatchResult result = CopyTickedRecordings(disk.rows, job, counters, observer);
  ASSERT_EQ(result.outcomes.size(), 3u);
  for (const CopyOutcome& o : result.outcomes)
    EXPECT_EQ(o.status, CopyStatus::Downloaded) << o.reason;

  EXPECT_EQ(test::FileChecksum(image), before);
#ifdef __linux__
  EXPECT_EQ(watch.Events(), 0u) << "the image was written, or opened for writing";
#endif
  const auto mode = std::filesystem::status(PathFromUtf8(image)).permissions();
  EXPECT_EQ(mode & std::filesystem::perms::all, std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::group_read |
                                                    std::filesystem::perms::others_read);
}

}  // namespace
}  // namespace skelbrook
