// Recognising a 9200T disk by its media descriptor and loading the media allocation table, on
// disks written byte by byte (for descriptors the image writer would never produce) and by the
// image writer.
#include <gtest/gtest.h>

#include "device/drive.h"
#include "disk/media_geometry.h"
#include "settings/ini.h"
#include "support/test_support.h"

namespace skelbrook {
namespace {

using test::TempDir;

std::vector<uint8_t> Little32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

// A media descriptor sector with the four fields recognition reads.
std::vector<uint8_t> Descriptor(uint32_t lastEntry, uint8_t marker, uint32_t fatSector,
                                uint32_t dataSector) {
  std::vector<uint8_t> d(512, 0);
  const auto put = [&d](size_t at, uint32_t v) {
    const std::vector<uint8_t> bytes = Little32(v);
    std::copy(bytes.begin(), bytes.end(), d.begin() + static_cast<long>(at));
  };
  put(232, lastEntry);
  d[252] = marker;
  put(260, fatSector);
  put(268, dataSector);
  return d;
}

MediaGeometry Recognise(const std::string& image, Drive& drive) {
  MediaGeometry geometry;
  EXPECT_TRUE(drive.OpenDrive(image).ok());
  EXPECT_TRUE(GetFileOffset(drive, geometry, nullptr).ok());
  return geometry;
}

TEST(Recognition, WorkedExampleLoadsTheWholeTableAndNothingBeyondIt) {
  TempDir dir;
  const std::string image = dir.file("worked.img");
  std::vector<uint8_t> descriptor(512, 0);
  const auto put = [&descriptor](size_t at, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), descriptor.begin() + static_cast<long>(at));
  };
  put(232, {0x0F, 0x42, 0x00, 0x00});
  put(252, {0x76, 0xAA, 0xBB, 0xCC});  // only the low byte of the field is the marker
  put(260, {0x00, 0x01, 0x00, 0x00});
  put(268, {0x00, 0x02, 0x00, 0x00});
  test::WriteBytesAt(image, 8192, descriptor);
  const int64_t table = 131072;
  test::WriteBytesAt(image, table + 4 * 1, {0xFF, 0xFF, 0xFF, 0xFF});
  test::WriteBytesAt(image, table + 4 * 2, {0xFE, 0xFF, 0xFF, 0xFF});
  test::WriteBytesAt(image, table + 4 * 3, {0x05, 0x01, 0x00, 0x00});
  test::WriteBytesAt(image, table + 4 * 16911, {0x78, 0x56, 0x34, 0x12});
  test::WriteBytesAt(image, table + 4 * 16912, {0x11, 0x11, 0x11, 0x11});  // past the last entry
  test::WriteBytesAt(image, 262144, std::vector<uint8_t>(512, 0));

  Drive drive;
  const MediaGeometry g = Recognise(image, drive);
  ASSERT_TRUE(g.KnownDrive) << g.RejectReason;
  EXPECT_EQ(g.MediaFatCount, 16912);
  EXPECT_EQ(g.MediaFatOffset, 131072);
  EXPECT_EQ(g.MediaDirOffset, 60416);
  EXPECT_EQ(g.MediaDataOffset, 262144);
  EXPECT_EQ(drive.BlockBuffer.size(), 68096u);  // the table read: whole sectors
  ASSERT_EQ(g.MediaFat.size(), 16913u);
  EXPECT_EQ(g.MediaFat[1], 4294967295);  // not -1
  EXPECT_EQ(g.MediaFat[2], 4294967294);
  EXPECT_EQ(g.MediaFat[3], 261);
  EXPECT_EQ(g.MediaFat[16911], 0x12345678);
  EXPECT_EQ(g.MediaFat[16912], 0);
  EXPECT_EQ(MediaClusterOffset(g, 10), 4112384);
}

TEST(Recognition, WrongMarkerIsRejectedEvenAfterAnEarlierSuccess) {
  TempDir dir;
  mkimage::ImageSpec spec;
  spec.recordings = {test::Recording(2, "News", 1000)};
  const std::string good = test::WriteTestImage(dir, spec, "good.img");
  spec.recognitionMarker = 117;
  const std::string low = test::WriteTestImage(dir, spec, "117.img");
  spec.recognitionMarker = 119;
  const std::string high = test::WriteTestImage(dir, spec, "119.img");

  MediaGeometry geometry;
  Drive drive;
  ASSERT_TRUE(drive.OpenDrive(good).ok());
  ASSERT_TRUE(GetFileOffset(drive, geometry, nullptr).ok());
  ASSERT_TRUE(geometry.KnownDrive);
  EXPECT_EQ(geometry.MediaFatCount, 4096);

  for (const auto& [image, dirOffset] : {std::pair{low, 59904}, std::pair{high, 60928}}) {
    ASSERT_TRUE(drive.OpenDrive(image).ok());
    ASSERT_TRUE(GetFileOffset(drive, geometry, nullptr).ok());
    EXPECT_FALSE(geometry.KnownDrive) << image;
    EXPECT_EQ(geometry.MediaDirOffset, dirOffset);
  }
}

TEST(Recognition, SmallestTablesAreReadInWholeSectorsWithOneToSpare) {
  TempDir dir;
  // The table is at sector 256 and the image ends right after its 512 bytes.
  for (const auto& [lastEntry, entries, readSize] :
       {std::tuple{0u, 1, 512u}, std::tuple{127u, 128, 1024u}}) {
    const std::string image = dir.file("count" + std::to_string(lastEntry) + ".img");
    test::WriteBytesAt(image, 8192, Descriptor(lastEntry, 118, 256, 200));
    test::WriteBytesAt(image, 256 * 512, std::vector<uint8_t>(512, 0x01));
    Drive drive;
    const MediaGeometry g = Recognise(image, drive);
    ASSERT_TRUE(g.KnownDrive) << g.RejectReason;
    EXPECT_EQ(g.MediaFatCount, entries);
    EXPECT_EQ(drive.BlockBuffer.size(), readSize);
    ASSERT_EQ(g.MediaFat.size(), static_cast<size_t>(entries) + 1);
    EXPECT_EQ(g.MediaFat[static_cast<size_t>(entries) - 1], 0x01010101);
    EXPECT_EQ(g.MediaFat.back(), 0);
  }
}

TEST(Recognition, TableBeyondTheEndOfTheDriveIsNotRecognised) {
  TempDir dir;
  struct Case {
    uint32_t lastEntry, fatSector;
  };
  // A table one entry too long for the image; a count of 2^32 entries; a table past the end.
  for (const Case c : {Case{128, 256}, Case{0xFFFFFFFFu, 256}, Case{0, 0xFFFFFFF0u}}) {
    const std::string image = dir.file("beyond" + std::to_string(c.lastEntry) + "-" +
                                       std::to_string(c.fatSector) + ".img");
    test::WriteBytesAt(image, 8192, Descriptor(c.lastEntry, 118, c.fatSector, 200));
    test::WriteBytesAt(image, 256 * 512, std::vector<uint8_t>(512, 0));
    Drive drive;
    const MediaGeometry g = Recognise(image, drive);
    EXPECT_FALSE(g.KnownDrive) << image;
    EXPECT_FALSE(g.RejectReason.empty());
    EXPECT_TRUE(g.MediaFat.empty());
  }
}

TEST(Recognition, ForeignOrUnreadableDriveIsRejectedButSettingsAreStillSaved) {
  TempDir dir;
  const std::string zeros = dir.file("zeros.img");
  test::WriteBytesAt(zeros, 0, std::vector<uint8_t>(1 << 20, 0));
  const SettingsToSave settings{dir.file("9200T_sk.ini"), "/home/me/TV [old]/", "3"};

  Drive drive;
  ASSERT_TRUE(drive.OpenDrive(zeros).ok());
  MediaGeometry geometry;
  EXPECT_TRUE(GetFileOffset(drive, geometry, &settings).ok());
  EXPECT_FALSE(geometry.KnownDrive);
  EXPECT_EQ(INIread(settings.settingsPath, "9200T", "Save to"), "/home/me/TV [old]/");
  EXPECT_EQ(INIread(settings.settingsPath, "9200T", "Physical drive"), "3");

  Drive unopened;
  const SettingsToSave other{settings.settingsPath, "/media/usb/", "7"};
  EXPECT_TRUE(GetFileOffset(unopened, geometry, &other).ok());
  EXPECT_FALSE(geometry.KnownDrive);
  EXPECT_EQ(geometry.MediaDirOffset, 0);
  EXPECT_EQ(INIread(settings.settingsPath, "9200T", "Save to"), "/media/usb/");
  EXPECT_EQ(INIread(settings.settingsPath, "9200T", "Physical drive"), "7");
}

}  // namespace
}  // namespace skelbrook
