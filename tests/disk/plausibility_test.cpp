// Damaged descriptors: a media descriptor that puts the directory or the data area beyond the end
// of the drive makes the disk "not recognised", with the reason; a recognised disk remembers its
// size, which the copy checks recordings against.
#include <gtest/gtest.h>

#include <filesystem>

#include "device/drive.h"
#include "device/file_system.h"
#include "disk/media_geometry.h"
#include "support/test_support.h"

namespace skelbrook {
namespace {

std::vector<uint8_t> Little32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

MediaGeometry Recognise(const std::string& image) {
  Drive drive;
  EXPECT_TRUE(drive.OpenDrive(image).ok());
  MediaGeometry geometry;
  EXPECT_TRUE(GetFileOffset(drive, geometry, nullptr).ok());
  return geometry;
}

TEST(Plausibility, DescriptorPointingBeyondTheDriveIsNotRecognised) {
  test::TempDir dir;
  mkimage::ImageSpec spec;
  spec.recordings = {test::Recording(2, "News", 3000)};
  const std::string image = test::WriteTestImage(dir, spec);
  const MediaGeometry good = Recognise(image);
  ASSERT_TRUE(good.KnownDrive) << good.RejectReason;
  const int64_t size = FileLength(image).value();
  EXPECT_EQ(good.DriveSize, size);

  struct Case {
    const char* what;
    int field;
    uint32_t sector;
    const char* reason;
  };
  const uint32_t end = static_cast<uint32_t>(size / kSector);
  for (const Case c : {Case{"data area at the very end", kDescDataSector, end, "data area"},
                       Case{"data area far beyond", kDescDataSector, 0xFFFFFFFFu, "data area"}}) {
    SCOPED_TRACE(c.what);
    const std::string bad = dir.file(std::string(c.what) + ".img");
    std::filesystem::copy_file(PathFromUtf8(image), PathFromUtf8(bad));
    test::WriteBytesAt(bad, kMediaDescriptorOffset + c.field, Little32(c.sector));
    const MediaGeometry g = Recognise(bad);
    EXPECT_FALSE(g.KnownDrive);
    EXPECT_NE(g.RejectReason.find(c.reason), std::string::npos) << g.RejectReason;
    EXPECT_TRUE(g.MediaFat.empty());
  }
  // The last sector of the drive still holds the data area's start.
  const std::string edge = dir.file("edge.img");
  std::filesystem::copy_file(PathFromUtf8(image), PathFromUtf8(edge));
  test::WriteBytesAt(edge, kMediaDescriptorOffset + kDescDataSector, Little32(end - 1));
  EXPECT_TRUE(Recognise(edge).KnownDrive);
}

TEST(Plausibility, DriveTooSmallToHoldTheMediaDirectoryIsNotRecognised) {
  test::TempDir dir;
  // A plausible descriptor and a one-sector table, on a drive that ends before sector 118.
  const std::string image = dir.file("small.img");
  std::vector<uint8_t> descriptor(kSector, 0);
  descriptor[kDescDirSector] = kRecognitionMarker;
  const std::vector<uint8_t> fat = Little32(20), data = Little32(30);
  std::copy(fat.begin(), fat.end(), descriptor.begin() + kDescFatSector);
  std::copy(data.begin(), data.end(), descriptor.begin() + kDescDataSector);
  test::WriteBytesAt(image, kMediaDescriptorOffset, descriptor);
  test::WriteBytesAt(image, 40 * kSector, std::vector<uint8_t>(kSector, 0));
  const MediaGeometry g = Recognise(image);
  EXPECT_FALSE(g.KnownDrive);
  EXPECT_NE(g.RejectReason.find("media directory"), std::string::npos) << g.RejectReason;
}

}  // namespace
}  // namespace skelbrook
