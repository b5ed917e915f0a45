// The device layer on real files: reads that fill exactly the bytes asked for, zeros where the
// disk delivered nothing, a drive that is only ever opened for reading, and destination files
// that never replace anything.
#include "device/drive.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>

#include "device/file_system.h"
#include "device/output_file.h"
#include "support/test_support.h"

#ifdef __linux__
#include <fcntl.h>
#endif

namespace skelbrook {
namespace {

using test::TempDir;

// Bytes whose value follows from their position, so any misplaced byte shows.
std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  return bytes;
}

class DriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = dir_.file("small.img");
    test::WriteBytesAt(image_, 0, Pattern(1000));
  }
  TempDir dir_;
  std::string image_;
};

TEST_F(DriveTest, ReadPastTheEndKeepsCountBytesZeroFilledAndReportsWhatCame) {
  Drive drive;
  ASSERT_TRUE(drive.OpenDrive(image_).ok());
  EXPECT_EQ(drive.SizeBytes(), 1000);
  EXPECT_EQ(drive.ReadDrive(512, 1024), 488);
  ASSERT_EQ(drive.BlockBuffer.size(), 1024u);
  const auto pattern = Pattern(1000);
  EXPECT_TRUE(std::equal(pattern.begin() + 512, pattern.end(), drive.BlockBuffer.begin()));
  EXPECT_TRUE(std::all_of(drive.BlockBuffer.begin() + 488, drive.BlockBuffer.end(),
                          [](uint8_t b) { return b == 0; }));
  EXPECT_FALSE(drive.LastReadError().empty());

  // Entirely beyond the end: nothing delivered, all zeros, still exactly count bytes.
  EXPECT_EQ(drive.ReadDrive(4096, 512), 0);
  EXPECT_EQ(drive.BlockBuffer, std::vector<uint8_t>(512, 0));
}

TEST_F(DriveTest, PartialSectorReadKeepsExactlyCountBytes) {
  Drive drive;
  ASSERT_TRUE(drive.OpenDrive(image_).ok());
  EXPECT_EQ(drive.ReadDrive(0, 700), 700);
  const auto pattern = Pattern(1000);
  EXPECT_EQ(drive.BlockBuffer, std::vector<uint8_t>(pattern.begin(), pattern.begin() + 700));
  EXPECT_TRUE(drive.LastReadError().empty());
  // The second sector is cut by the end of the image: 488 of the 600 bytes exist.
  EXPECT_EQ(drive.ReadDrive(512, 600), 488);
  EXPECT_EQ(drive.BlockBuffer.size(), 600u);
}

TEST_F(DriveTest, CountOfZeroOrOneLeavesBlockBufferAsItWas) {
  Drive drive;
  ASSERT_TRUE(drive.OpenDrive(image_).ok());
  drive.ReadDrive(0, 512);
  const std::vector<uint8_t> before = drive.BlockBuffer;
  EXPECT_EQ(drive.ReadDrive(600, 1), 0);
  EXPECT_EQ(drive.ReadDrive(600, 0), 0);
  EXPECT_EQ(drive.BlockBuffer, before);
}

TEST_F(DriveTest, UnopenedFailedOrClosedDriveDeliversZeros) {
  Drive never;
  EXPECT_EQ(never.ReadDrive(0, 512), 0);
  EXPECT_EQ(never.BlockBuffer, std::vector<uint8_t>(512, 0));

  Drive missing;
  EXPECT_FALSE(missing.OpenDrive(dir_.file("no-such.img")).ok());
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(missing.ReadDrive(0, 1024), 0);
  EXPECT_EQ(missing.BlockBuffer, std::vector<uint8_t>(1024, 0));

  Drive closed;
  ASSERT_TRUE(closed.OpenDrive(image_).ok());
  closed.ReadDrive(0, 512);
  closed.CloseDrive();
  closed.CloseDrive();
  EXPECT_EQ(closed.ReadDrive(0, 512), 0);
  EXPECT_EQ(closed.BlockBuffer, std::vector<uint8_t>(512, 0));
}

TEST_F(DriveTest, DriveTextWithBlanksOpensTheSameDrive) {
  EXPECT_EQ(ResolveDrivePath("  " + image_ + "\t "), image_);
  EXPECT_EQ(ResolveDrivePath(" 1 "), ResolveDrivePath("1"));
#if defined(__linux__)
  EXPECT_EQ(ResolveDrivePath("0"), "/dev/sda");
  EXPECT_EQ(ResolveDrivePath("25"), "/dev/sdz");
  EXPECT_EQ(ResolveDrivePath("26"), "/dev/sdaa");
#endif
  Drive plain, padded;
  ASSERT_TRUE(plain.OpenDrive(image_).ok());
  ASSERT_TRUE(padded.OpenDrive("  " + image_ + "  ").ok());
  plain.ReadDrive(0, 1000);
  padded.ReadDrive(0, 1000);
  EXPECT_EQ(plain.BlockBuffer, padded.BlockBuffer);
}

TEST_F(DriveTest, ReadOnlyImageOpensReadsAndIsOpenedForReadingOnly) {
  std::filesystem::permissions(PathFromUtf8(image_), std::filesystem::perms(0444));
  const uint64_t before = test::FileChecksum(image_);
  Drive drive;
  ASSERT_TRUE(drive.OpenDrive(image_).ok());
  EXPECT_EQ(drive.ReadDrive(0, 1000), 1000);
  EXPECT_EQ(drive.BlockBuffer, Pattern(1000));
#ifdef __linux__
  // Root may open a 0444 file for writing, so look at how the handle was really opened.
  int readOnlyHandles = 0;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(fd.path(), ec) != std::filesystem::path(image_)) continue;
    std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
    std::string field, flags;
    while (info >> field && field != "flags:") {
    }
    info >> flags;
    EXPECT_EQ(std::stoi(flags, nullptr, 8) & O_ACCMODE, O_RDONLY);
    ++readOnlyHandles;
  }
  EXPECT_EQ(readOnlyHandles, 1);
#endif
  drive.CloseDrive();
  EXPECT_EQ(test::FileChecksum(image_), before);
}

TEST_F(DriveTest, OutputFileIsCreatedExclusivelyAndClosesOnce) {
  // An existing file is refused and left exactly as it was.
  const std::string existing = dir_.file("existing.ts");
  test::WriteBytesAt(existing, 0, Pattern(100));
  OutputFile refused;
  EXPECT_FALSE(refused.CreateExclusive(existing).ok());
  EXPECT_FALSE(refused.IsOpen());
  EXPECT_EQ(test::ReadWholeFile(existing), Pattern(100));

  const std::string fresh = dir_.file("fresh.ts");
  OutputFile out;
  ASSERT_TRUE(out.CreateExclusive(fresh).ok());
  const auto bytes = Pattern(300);
  ASSERT_TRUE(out.WriteOutput(bytes.data(), 200).ok());
  ASSERT_TRUE(out.WriteOutput(bytes.data() + 200, 100).ok());
  EXPECT_EQ(out.BytesWritten(), 300);
  EXPECT_TRUE(out.FlushOutput().ok());
  EXPECT_TRUE(out.CloseOutput().ok());
  EXPECT_TRUE(out.CloseOutput().ok());
  EXPECT_FALSE(out.WriteOutput(bytes.data(), 1).ok());
  EXPECT_EQ(test::ReadWholeFile(fresh), bytes);
}

TEST_F(DriveTest, RenameNeverReplacesAnExistingFile) {
  const std::string part = dir_.file("007_x.ts.part");
  const std::string final = dir_.file("007_x.ts");
  test::WriteBytesAt(part, 0, Pattern(50));
  test::WriteBytesAt(final, 0, Pattern(10));
  EXPECT_FALSE(RenameNoReplace(part, final).ok());
  EXPECT_EQ(test::ReadWholeFile(final), Pattern(10));
  EXPECT_EQ(test::ReadWholeFile(part), Pattern(50));

  ASSERT_TRUE(RemoveFile(final).ok());
  EXPECT_TRUE(RenameNoReplace(part, final).ok());
  EXPECT_FALSE(FileExists(part));
  EXPECT_EQ(test::ReadWholeFile(final), Pattern(50));
}

}  // namespace
}  // namespace skelbrook
