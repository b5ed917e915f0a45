// Recognising a 9200T disk by its media descriptor and loading the media allocation table, on
// disks written byte by byte, for descriptors the image writer would never produce: a descriptor
// that puts the table, the media directory or the data area beyond the end of the drive makes the
// disk "not recognised", and a table longer than the drive has clusters is cut to them, instead
// of a huge allocation or a wild read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#ifdef __linux__
#include <unistd.h>
#endif

#include "device/drive.h"
#include "disk/disk_finder.h"
#include "disk/media_geometry.h"
#include "support/failing_disk.h"
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

// Sectors for a drive whose data area at sector 200 has room for `clusters` clusters.
int64_t WithRoomFor(int64_t clusters) {
  return 200 + clusters * 752;
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
  // Mostly a drive with room for 200 clusters whose last sector holds the table.
  const int64_t S = WithRoomFor(200);
  const auto last = static_cast<uint32_t>(S - 1);
  const Case cases[] = {
      {127, 118, last, 200, S, ""},  // 128 entries: one sector, read as two
      {0, 117, last, 200, S, "marker"},
      {0, 118, last, static_cast<uint32_t>(S - 1), S,
       ""},  // the data area starts on the last sector
      {0, 119, last, 200, S, "marker"},
      {128, 118, last, 200, S, "allocation table"},  // one entry too long
      {0, 118, 0xFFFFFFF0u, 200, S, "allocation table"},
      {0, 118, last, static_cast<uint32_t>(S), S, "data area"},
      {0, 118, last, 0xFFFFFFFFu, S, "data area"},
      {0, 118, 20, 30, 41, "media directory"},  // the drive ends before sector 118
  };
  Drive drive;
  MediaGeometry g;  // kept from case to case: an earlier success must not linger
  for (const Case& c : cases) {
    const std::string image =
        DescriptorImage(dir, c.lastEntry, c.marker, c.fatSector, c.dataSector, c.sectors);
    SCOPED_TRACE(image);
    ASSERT_TRUE(drive.Open(image).ok());
    CatalogueAccount account;
    RecogniseDisk(drive, g, account);
    EXPECT_EQ(g.recognised, *c.reason == '\0');
    EXPECT_NE(g.rejectReason.find(c.reason), std::string::npos) << g.rejectReason;
    if (!g.recognised) continue;
    EXPECT_EQ(g.driveSize, c.sectors * 512);
    ASSERT_EQ(g.allocationTable.size(), c.lastEntry + 2u);
    if (c.lastEntry == 0) continue;
    EXPECT_EQ(drive.Buffer().size(), 1024u);
    EXPECT_EQ(g.allocationTable[127], 0x01010101);
    EXPECT_EQ(g.allocationTable[128], 0);
  }
}

TEST(Recognition, HostileOrUnreadableDescriptorsCostNothingAndSayWhy) {
  test::TempDir dir;
  // A table of 2^32 entries on a drive with room for 200 clusters: cut to 201 and a margin of
  // 65,536 for a dump that ends early.
  const std::string huge = DescriptorImage(dir, 0xFFFFFFFFu, 118, 300, 200, WithRoomFor(200));
  Drive drive;
  ASSERT_TRUE(drive.Open(huge).ok());
  MediaGeometry g;
  CatalogueAccount account;
  RecogniseDisk(drive, g, account);
  ASSERT_TRUE(g.recognised) << g.rejectReason;
  EXPECT_EQ(g.entryCount, 201 + 65536);
  EXPECT_TRUE(account.problems.empty());

  // The descriptor sector will not read: not recognised, and the reason says where and why.
  const std::string image = DescriptorImage(dir, 511, 118, 300, 200, WithRoomFor(1000));
  ASSERT_TRUE(drive.Open(image, test::FailingAt({{8192 + 252, 1}})).ok());
  account = {};
  RecogniseDisk(drive, g, account);
  EXPECT_FALSE(g.recognised);
  EXPECT_EQ(g.rejectReason,
            "the media descriptor could not be read at byte 8192 (0x2000): Input/output error");
  ASSERT_EQ(account.unreadable.size(), 1u);
  EXPECT_EQ(account.unreadable[0].area, kAreaMediaDescriptor);

  // Table entries that will not read are unknown, not 0: only their bytes are lost.
  ASSERT_TRUE(drive.Open(image, test::FailingAt({{300 * 512 + 1024, 512}})).ok());
  account = {};
  RecogniseDisk(drive, g, account);
  ASSERT_TRUE(g.recognised) << g.rejectReason;
  ASSERT_EQ(account.unreadable.size(), 1u);
  EXPECT_EQ(Describe(account.unreadable[0]),
            "media allocation table: 512 bytes at byte 154624 (0x25C00) could not be read "
            "(Input/output error)");
  for (const int64_t c : {254, 255, 382, 383})
    EXPECT_EQ(SuccessorUnknown(g, c), c == 255 || c == 382);
  EXPECT_NE(UnknownEntryText(g, 300).find("bytes 154624-155135"), std::string::npos)
      << UnknownEntryText(g, 300);
}

#ifdef __linux__
// The disk finder looks at sector 16 of each disk only: a block-device folder of its own here
// (a recorder disk, a blank one, an empty loop device), and a real loop device where the machine
// can attach one.
TEST(Recognition, TheDiskFinderMarksTheDisksThatReadLikeARecorderDisk) {
  test::TempDir dir;
  namespace fs = std::filesystem;
  const DiskPlaces places{dir.file("block"), dir.folder() + "dev"};
  const auto attach = [&](const std::string& name, const std::string& size, uint8_t marker) {
    fs::create_directories(fs::path(places.sysBlock) / name / "loop");
    std::ofstream(fs::path(places.sysBlock) / name / "size") << size << "\n";
    std::ofstream(fs::path(places.sysBlock) / name / "loop" / "backing_file") << name << ".img\n";
    fs::create_directories(places.dev);
    std::vector<uint8_t> descriptor(512, 0);
    descriptor[252] = marker;
    test::WriteBytesAt(places.dev + "/" + name, 8192, descriptor);
  };
  attach("loop1", "400000", 118);
  attach("loop2", "64", 0);
  attach("loop3", "0", 118);  // nothing attached
  const std::vector<DiskCandidate> found = FindDisks(places);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].path, places.dev + "/loop1");
  EXPECT_EQ(found[0].model, "loop1.img");
  EXPECT_EQ(found[0].sizeBytes, 400000 * 512);
  EXPECT_TRUE(found[0].recorderDisk);
  EXPECT_FALSE(found[1].recorderDisk);
  // Under a gigabyte the size is in MB ("0.2 GB" would say little).
  EXPECT_EQ(DescribeCandidate(found[0]),
            "9200T disk \u2014 " + places.dev + "/loop1  loop1.img  204.8 MB");

  if (geteuid() != 0) GTEST_SKIP() << "attaching a loop device needs root";
  const std::string image = DescriptorImage(dir, 10, kRecognitionMarker, 32, 64, 4096);
  const std::string command = "losetup -f --show -r " + image + " > " + dir.file("dev.txt");
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "no loop device can be attached";
  std::string device;
  std::ifstream(dir.file("dev.txt")) >> device;
  bool marked = false;
  for (const DiskCandidate& c : FindDisks())
    marked = marked || (c.path == device && c.recorderDisk);
  (void)std::system(("losetup -d " + device).c_str());
  EXPECT_TRUE(marked) << device << " is not listed as a recorder disk";
}
#endif

#ifdef _WIN32
// The disks Windows lists (through its disk interface, or by number where that lists none), each
// under the name the drive box takes and looked at read-only; where the system offers no disk at
// all (Wine, usually), there is nothing to look at.
TEST(Recognition, TheDiskFinderListsTheSystemsDisksByTheirDriveNumbers) {
  const std::vector<DiskCandidate> found = FindDisks();
  if (found.empty()) GTEST_SKIP() << "this system offers no physical disk to look at";
  int systemDisks = 0;
  for (const DiskCandidate& disk : found) {
    EXPECT_EQ(disk.path.rfind("\\\\.\\PhysicalDrive", 0), 0u) << disk.path;
    EXPECT_NE(DescribeCandidate(disk).find(disk.path), std::string::npos);
    systemDisks += disk.systemDisk;
  }
  EXPECT_LE(systemDisks, 1);
}
#endif

}  // namespace
}  // namespace skelbrook
