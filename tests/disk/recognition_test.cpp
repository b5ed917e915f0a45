// Recognising a 9200T disk by its media descriptor and loading the media allocation table, on
// disks written byte by byte, for descriptors the image writer would never produce: a descriptor
// that puts the table, the media directory or the data area beyond the end of the drive makes the
// disk "not recognised" instead of a huge allocation or a wild read.
#include <gtest/gtest.h>

#include "device/drive.h"
#include "disk/media_geometry.h"
#include "settings/ini.h"
#include "support/test_support.h"

namespace skelbrook {
namespace {

// An image `sectors` long holding a media descriptor with these fields; its last sector is 0x01s.
std::string DescriptorImage(const test::TempDir& dir, uint32_t lastEntry, uint8_t marker,
                            uint32_t fatSector, uint32_t dataSector, int64_t sectors) {
  static int images = 0;
  const std::string image = dir.file(std::to_string(images++) + ".img");
  test::WriteBytesAt(image, 8192 + 232, test::Little32(lastEntry));
  test::WriteBytesAt(image, 8192 + 252, {marker});
  test::WriteBytesAt(image, 8192 + 260, test::Little32(fatSector));
  test::WriteBytesAt(image, 8192 + 268, test::Little32(dataSector));
  test::WriteBytesAt(image, (sectors - 1) * 512, std::vector<uint8_t>(512, 0x01));
  return image;
}

TEST(Recognition, WorkedExampleLoadsTheWholeTableAndNothingBeyondIt) {
  test::TempDir dir;
  const std::string image = DescriptorImage(dir, 0x420F, 0x76, 0x100, 0x200, 513);
  test::WriteBytesAt(image, 8192 + 253, {0xAA, 0xBB, 0xCC});  // only the field's low byte counts
  const std::pair<int, uint32_t> entries[] = {
      {1, 0xFFFFFFFFu}, {2, 0xFFFFFFFEu}, {3, 261u}, {16911, 0x12345678u}, {16912, 0x11111111u}};
  for (const auto& [entry, value] : entries) {
    test::WriteBytesAt(image, 131072 + 4 * entry, test::Little32(value));
  }
  Drive drive;
  ASSERT_TRUE(drive.OpenDrive(image).ok());
  MediaGeometry g;
  ASSERT_TRUE(GetFileOffset(drive, g, nullptr).ok());
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
  EXPECT_EQ(g.MediaFat[16912], 0);  // read with the last sector, but not an entry
  EXPECT_EQ(MediaClusterOffset(g, 10), 4112384);
}

TEST(Recognition, OnlyTheMarkerAndADescriptorThatFitsTheDriveAreRecognised) {
  test::TempDir dir;
  struct Case {
    uint32_t lastEntry;
    uint8_t marker;
    uint32_t fatSector, dataSector;
    int64_t sectors;
    const char* reason;  // empty: recognised
  };
  // Mostly a drive of 257 sectors whose last one holds the table.
  const Case cases[] = {
      {127, 118, 256, 200, 257, ""},  // 128 entries: one sector, read as two
      {0, 117, 256, 200, 257, "marker"},
      {127, 118, 256, 256, 257, ""},  // the data area starts on the last sector
      {0, 119, 256, 200, 257, "marker"},
      {128, 118, 256, 200, 257, "allocation table"},  // one entry too long
      {0xFFFFFFFFu, 118, 256, 200, 257, "allocation table"},
      {0, 118, 0xFFFFFFF0u, 200, 257, "allocation table"},
      {0, 118, 256, 257, 257, "data area"},
      {0, 118, 256, 0xFFFFFFFFu, 257, "data area"},
      {0, 118, 20, 30, 41, "media directory"},  // the drive ends before sector 118
  };
  Drive drive;
  MediaGeometry g;  // kept from case to case: an earlier success must not linger
  // The settings are saved each time, whether the drive is recognised or not.
  SettingsToSave settings{dir.file("9200T_sk.ini"), "/home/me/TV [old]/", ""};
  for (const Case& c : cases) {
    settings.physicalDrive =
        DescriptorImage(dir, c.lastEntry, c.marker, c.fatSector, c.dataSector, c.sectors);
    SCOPED_TRACE(settings.physicalDrive);
    ASSERT_TRUE(drive.OpenDrive(settings.physicalDrive).ok());
    ASSERT_TRUE(GetFileOffset(drive, g, &settings).ok());
    EXPECT_EQ(INIread(settings.settingsPath, "9200T", "Physical drive"), settings.physicalDrive);
    EXPECT_EQ(g.KnownDrive, *c.reason == '\0');
    EXPECT_NE(g.RejectReason.find(c.reason), std::string::npos) << g.RejectReason;
    if (!g.KnownDrive) continue;
    EXPECT_EQ(g.DriveSize, c.sectors * 512);
    EXPECT_EQ(drive.BlockBuffer.size(), 1024u);
    ASSERT_EQ(g.MediaFat.size(), 129u);
    EXPECT_EQ(g.MediaFat[127], 0x01010101);
    EXPECT_EQ(g.MediaFat[128], 0);
  }
  EXPECT_EQ(INIread(settings.settingsPath, "9200T", "Save to"), "/home/me/TV [old]/");
}

}  // namespace
}  // namespace skelbrook
