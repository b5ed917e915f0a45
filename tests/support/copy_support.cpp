// The copy tests' fixture.
#include "support/copy_support.h"

#include <filesystem>
#include <fstream>

#include "device/file_system.h"

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace skelbrook::test {
namespace {

namespace fs = std::filesystem;
constexpr fs::perms kReadOnly =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

}  // namespace

void CopyFixture::WriteDisk(mkimage::ImageDesign description) {
  design = std::move(description);
  image = WriteTestImage(dir, design);
  fs::permissions(PathFromUtf8(image), kReadOnly);
  checksum_ = FileChecksum(image);
#ifdef __linux__
  // Written, or closed after being opened for writing: the kernel tells even when nothing changed.
  watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch_, image.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB), 0);
#endif
  disk = ReadImage(image);
  ASSERT_EQ(disk.result, CatalogueResult::Listed);
}

void CopyFixture::WriteUsualDisk() {
  mkimage::ImageDesign s;
  s.systemFatEntries = 16;  // keeps the image small
  s.recordings = {SampleRecording(2, "Tail 10000", 2 * C + 10000, {5, 6, 7}),
                  SampleRecording(3, "Tail 1024", 2 * C + 1024, {8, 9, 10}),
                  SampleRecording(4, "Tail 1025", 2 * C + 1025, {11, 12, 13}),
                  SampleRecording(5, "Whole", 2 * C, {14, 15}),
                  SampleRecording(6, "Scattered", C + 4242, {19, 16}),
                  SampleRecording(7, "Single", 5001, {3}),
                  SampleRecording(8, "Tiny", 1000, {4}),
                  SampleRecording(9, "Long chain", 5000, {20, 21})};
  copied = {2 * C + 10000, 2 * C, 2 * C + 1025, 2 * C, C + 4242, 5001, 0, 5000};
  ASSERT_NO_FATAL_FAILURE(WriteDisk(s));
  ASSERT_EQ(disk.recordings.size(), design.recordings.size());
  for (size_t i = 0; i < design.recordings.size(); ++i) {
    ASSERT_EQ(disk.recordings[i].slot, design.recordings[i].slot);
  }
}

void CopyFixture::TearDown() {
  if (image.empty()) return;
  EXPECT_EQ(FileChecksum(image), checksum_) << "the disk image was changed";
  EXPECT_EQ(fs::status(PathFromUtf8(image)).permissions() & fs::perms::all, kReadOnly);
#ifdef __linux__
  alignas(inotify_event) char events[4096];
  EXPECT_LE(read(watch_, events, sizeof events), 0)
      << "the disk image was written, or opened for writing";
  close(watch_);
#endif
}

CopyJob CopyFixture::Job(bool rescue, const DiskOpener& openDisk) const {
  CopyJob job;
  job.driveText = image;
  job.destinationFolder = out.folder();
  job.geometry = &disk.geometry;
  job.openDisk = openDisk;
  job.rescue = rescue;
  return job;
}

BatchResult CopyFixture::CopyAll(const CopyJob& job, int stopAtCheck) {
  for (const auto& entry : fs::directory_iterator(PathFromUtf8(job.destinationFolder)))
    fs::remove(entry.path());
  for (Recording& r : disk.recordings) {
    r.ticked = true;
    r.icon = RowIcon::Default;
  }
  counters = {CountTicked(disk.recordings).bytes, 0};
  log.checks = 0;
  log.stopAtCheck = stopAtCheck;
  log.task.clear();
  log.batch.clear();
  return CopyTickedRecordings(disk.recordings, job, counters, log);
}

std::string CopyFixture::Name(size_t row) const {
  return disk.recordings[row].fileStem + ".ts";
}

std::vector<uint8_t> CopyFixture::Expected(size_t row, int64_t length) const {
  const int slot = disk.recordings[row].slot;
  for (const mkimage::ImageRecording& r : design.recordings) {
    if (r.slot == slot) return mkimage::RecordingBytes(r.seed, 0, length);
  }
  ADD_FAILURE() << "no recording in slot " << slot;
  return {};
}

std::set<std::string> CopyFixture::Left(const std::string& folder) const {
  std::set<std::string> names;
  for (const auto& entry :
       fs::directory_iterator(PathFromUtf8(folder.empty() ? out.path() : folder))) {
    names.insert(Utf8FromPath(entry.path().filename()));
  }
  return names;
}

}  // namespace skelbrook::test
