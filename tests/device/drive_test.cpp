// The device layer on real files: reads that fill exactly the bytes asked for, zeros where the
// disk delivered nothing, a drive that is only ever opened for reading, and destination files
// that never replace anything.
#include "device/drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#ifdef __linux__
#include <sys/stat.h>
#endif

#include "device/file_system.h"
#include "device/output_file.h"
#include "support/failing_disk.h"
#include "support/test_support.h"

namespace skelbrook {
namespace {

// Bytes whose value follows from their position, so any misplaced byte shows.
std::vector<uint8_t> Pattern(size_t n, size_t from = 0) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>((from + i) * 7 + 3);
  return bytes;
}

TEST(Drive, ReadsExactlyTheBytesAskedForFromAReadOnlyImageAndZerosForTheRest) {
  test::TempDir dir;
  const std::string image = dir.file("small.img");
  test::WriteBytesAt(image, 0, Pattern(1000));
  std::filesystem::permissions(PathFromUtf8(image), std::filesystem::perms(0444));
  const uint64_t before = test::FileChecksum(image);
  EXPECT_EQ(ResolveDrivePath("  " + image + "\t "), image);
#if defined(__linux__)
  EXPECT_EQ(ResolveDrivePath(" 0 "), "/dev/sda");
  EXPECT_EQ(ResolveDrivePath("25"), "/dev/sdz");
  EXPECT_EQ(ResolveDrivePath("26"), "/dev/sdaa");
#endif

  Drive drive;
  ASSERT_TRUE(drive.Open(" " + image + "\t").ok());
  EXPECT_EQ(drive.SizeBytes(), 1000);
  // Not a whole number of sectors, and the rounded-up read runs past the end: all 700 are there.
  EXPECT_EQ(drive.Read(0, 700), 700);
  EXPECT_EQ(drive.Buffer(), Pattern(700));
  EXPECT_TRUE(drive.LastReadError().empty());
  EXPECT_EQ(drive.Read(600, 1), 0);  // counts of 1 and 0 leave the buffer as it is
  EXPECT_EQ(drive.Read(600, 0), 0);
  EXPECT_EQ(drive.Buffer(), Pattern(700));
  // Past the end: 488 bytes delivered, the rest of the 1,024 zeros.
  std::vector<uint8_t> expected = Pattern(488, 512);
  expected.resize(1024, 0);
  EXPECT_EQ(drive.Read(512, 1024), 488);
  EXPECT_EQ(drive.Buffer(), expected);
  EXPECT_FALSE(drive.LastReadError().empty());

  // A failing disk: a read that meets bad sectors is read again sector by sector, and only the
  // sectors that fail are lost, merged into runs and cut to the bytes asked for.
  ASSERT_TRUE(drive.Open(image, test::FailingAt({{100, 1}, {600, 1}})).ok());
  std::vector<ReadGap> gaps = drive.ReadSalvaging(0, 1000);
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_TRUE(gaps[0].first == 0 && gaps[0].bytes == 1000 && gaps[0].error == test::kIoErrorText);
  ASSERT_TRUE(drive.Open(image, test::FailingAt({{600, 1}})).ok());
  gaps = drive.ReadSalvaging(0, 1000);
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_TRUE(gaps[0].first == 512 && gaps[0].bytes == 488);
  EXPECT_EQ(std::vector<uint8_t>(drive.Buffer().begin(), drive.Buffer().begin() + 512),
            Pattern(512));
  EXPECT_EQ(std::vector<uint8_t>(drive.Buffer().begin() + 512, drive.Buffer().end()),
            std::vector<uint8_t>(488, 0));

  // Closed (twice), or failed to open: every read delivers nothing and zeros.
  drive.Close();
  drive.Close();
  EXPECT_EQ(drive.Read(0, 512), 0);
  EXPECT_EQ(drive.Buffer(), std::vector<uint8_t>(512, 0));
  Drive missing;
  EXPECT_FALSE(missing.Open(dir.file("no-such.img")).ok());
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(test::FileChecksum(image), before);
}

// The size of bulk reads follows the disk: a read that takes seconds makes the next ones small
// enough to take about half a second (never under 64 KiB), quick full-size reads let them grow
// back, and nothing grows past 4 MiB.
TEST(Drive, BulkReadsShrinkOnASlowDiskAndGrowBackWhenItIsQuick) {
  using std::chrono::milliseconds;
  ReadPace pace;
  EXPECT_EQ(pace.Limit(), 1 << 20);
  pace.Took(1 << 20, milliseconds(4000));  // 256 KiB a second: 128 KiB in half a second
  EXPECT_EQ(pace.Limit(), 128 << 10);
  pace.Took(64 << 10, milliseconds(10));  // quick, but smaller than the limit: proves nothing
  EXPECT_EQ(pace.Limit(), 128 << 10);
  pace.Took(128 << 10, milliseconds(2000));  // one request in two seconds: the smallest read
  EXPECT_EQ(pace.Limit(), ReadPace::kSmallest);
  pace.Took(0, milliseconds(30000));  // a read that failed after half a minute
  EXPECT_EQ(pace.Limit(), ReadPace::kSmallest);
  pace.Took(ReadPace::kSmallest, milliseconds(600));  // neither slow nor quick
  EXPECT_EQ(pace.Limit(), ReadPace::kSmallest);
  for (int i = 0; i < 10; ++i) pace.Took(pace.Limit(), milliseconds(5));
  EXPECT_EQ(pace.Limit(), ReadPace::kLargest);

  // A disk that takes two seconds over every request of up to 512 KiB: a smaller read is no
  // quicker, so the reads grow again to the largest that takes one request's time, and stay.
  ReadPace perRequest;
  const auto request = [](int64_t bytes) {
    return milliseconds(2000 * ((bytes + (512 << 10) - 1) / (512 << 10)));
  };
  for (int i = 0; i < 12; ++i) perRequest.Took(perRequest.Limit(), request(perRequest.Limit()));
  EXPECT_EQ(perRequest.Limit(), 512 << 10);
}

// A stop asked for while a long read is made lands between its pieces: what came in before is
// the disk's, the rest zeros, and neither the read nor a sector-by-sector retry calls the rest
// unreadable; once stopped, no further read reaches the disk.
TEST(Drive, AStopLandsBetweenThePiecesOfALongRead) {
  test::TempDir dir;
  const std::string image = dir.file("disk.img");
  const int64_t size = 4 << 20;
  test::WriteBytesAt(image, 0, Pattern(static_cast<size_t>(size)));
  auto log = std::make_shared<std::vector<test::DiskRead>>();
  Drive drive;
  ASSERT_TRUE(drive.Open(image, test::Watched(log)).ok());
  auto pace = std::make_shared<ReadPace>();
  pace->Took(1 << 20, std::chrono::seconds(8));  // a slow disk: 64 KiB reads
  drive.SharePace(pace);
  int answers = 0;
  drive.SetKeepGoing([&answers] { return ++answers <= 3; });
  int64_t heard = 0;  // what the progress was told between the pieces
  drive.SetOnPiece([&heard](int64_t delivered) { heard = delivered; });
  const int64_t got = drive.ReadUncached(0, size);
  EXPECT_TRUE(drive.Stopped());
  EXPECT_EQ(heard, got);
  ASSERT_EQ(log->size(), 3u);
  EXPECT_EQ(log->front().count, ReadPace::kSmallest);
  EXPECT_EQ(got, (*log)[0].count + (*log)[1].count + (*log)[2].count);
  EXPECT_EQ(std::vector<uint8_t>(drive.Buffer().begin(), drive.Buffer().begin() + got),
            Pattern(static_cast<size_t>(got)));
  EXPECT_TRUE(std::all_of(drive.Buffer().begin() + got, drive.Buffer().end(),
                          [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(drive.ReadSalvaging(got, 4096, false).empty());
  EXPECT_TRUE(drive.Stopped());
  EXPECT_EQ(log->size(), 3u);
  // Without a stop the whole read comes in, whatever the size of its pieces.
  drive.SetKeepGoing({});
  EXPECT_EQ(drive.ReadUncached(0, size), size);
  EXPECT_FALSE(drive.Stopped());
  EXPECT_EQ(drive.Buffer(), Pattern(static_cast<size_t>(size)));
}

TEST(Drive, DestinationFilesNeverReplaceAnExistingFile) {
  test::TempDir dir;
  const std::string part = dir.file("007_x.ts.part"), final = dir.file("007_x.ts");
  test::WriteBytesAt(final, 0, Pattern(10));
  OutputFile refused;
  EXPECT_FALSE(refused.CreateExclusive(final).ok());
  EXPECT_FALSE(refused.IsOpen());

  OutputFile out;
  ASSERT_TRUE(out.CreateExclusive(part).ok());
  // Room reserved for more than is written is given back when the file is flushed.
  ASSERT_TRUE(out.Reserve(4 << 20).ok());
  const auto bytes = Pattern(300);
  ASSERT_TRUE(out.Write(bytes.data(), 200).ok());
  ASSERT_TRUE(out.Write(bytes.data() + 200, 100).ok());
  EXPECT_EQ(out.BytesWritten(), 300);
  EXPECT_TRUE(out.Flush().ok());
  EXPECT_TRUE(out.Close().ok());
  EXPECT_TRUE(out.Close().ok());
  EXPECT_FALSE(out.Write(bytes.data(), 1).ok());
  EXPECT_EQ(FileLength(part), 300);
#ifdef __linux__
  struct stat st {};
  ASSERT_EQ(stat(part.c_str(), &st), 0);
  EXPECT_LT(st.st_blocks * 512, 1 << 20);
#endif

  EXPECT_FALSE(RenameNoReplace(part, final).ok());
  EXPECT_EQ(test::ReadWholeFile(final), Pattern(10));
  EXPECT_EQ(test::ReadWholeFile(part), bytes);
  ASSERT_TRUE(RemoveFile(final).ok());
  EXPECT_TRUE(RenameNoReplace(part, final).ok());
  EXPECT_FALSE(FileExists(part));
  EXPECT_EQ(test::ReadWholeFile(final), bytes);
}

#ifdef __linux__
// The mount that holds a folder: the nearest mount point above it of the folder's own device,
// with mountinfo's escapes undone.
TEST(Drive, TheDestinationsMountIsTheNearestOneOfItsDevice) {
  const std::string info =
      "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "40 22 0:39 / /media/tv\\040stick rw,nosuid - fuse.fusefat fusefat rw\n"
      "41 22 0:39 / /mnt/other rw - fuse.fusefat fusefat rw\n"
      "45 22 7:0 / /media/ex rw shared:5 - fuseblk /dev/loop0 rw,blksize=4096\n";
  EXPECT_EQ(FindMount(info, "0:39", "/media/tv stick/films").type, "fuse.fusefat");
  EXPECT_EQ(FindMount(info, "7:0", "/media/ex").source, "/dev/loop0");
  EXPECT_EQ(FindMount(info, "8:1", "/home/me").type, "ext4");
  EXPECT_EQ(FindMount(info, "9:9", "/home/me").type, "");
}
#endif

// A disk the user may not open is opened through the system's disk service instead, and only
// then; when both fail, the reason gives both.
TEST(Drive, TheDiskServiceIsAskedOnlyWhenTheRightsToTheDiskAreLacking) {
  test::TempDir dir;
  const std::string image = dir.file("service.img");
  test::WriteBytesAt(image, 0, Pattern(4096));
  std::vector<std::string> calls;
  const auto opener = [&](const char* name, bool opens) {
    return [&calls, name, opens](const std::string& path, std::unique_ptr<DiskReader>& disk) {
      calls.push_back(name);
      return opens ? OpenRawDisk(path, disk) : Status::Error(std::string(name) + " refused");
    };
  };
  bool lacking = true;
  const auto lacksRights = [&lacking](const std::string&) { return lacking; };
  struct Case {
    bool raw, service, lacking;
    std::vector<std::string> calls;
    std::string error;
  };
  for (const Case& c : std::vector<Case>{
           {true, true, true, {"raw"}, ""},
           {false, true, true, {"raw", "service"}, ""},
           {false, true, false, {"raw"}, "raw refused"},
           {false,
            false,
            true,
            {"raw", "service"},
            "raw refused; the system's disk service did not open it either: service refused"}}) {
    calls.clear();
    lacking = c.lacking;
    Drive drive;
    const Status s = drive.Open(
        image, WithRightsFallback(opener("raw", c.raw), opener("service", c.service), lacksRights));
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(s.message(), c.error);
    EXPECT_EQ(drive.IsOpen(), c.error.empty());
  }
}

}  // namespace
}  // namespace skelbrook
