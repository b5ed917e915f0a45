// Damaged catalogues: sector 0, the system descriptor or the record list's directory entry with
// values that cannot be right, read without a wild allocation (nothing kept is larger than the
// drive); and text with line ends and tabs, which must not break the list file's lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "device/file_system.h"
#include "support/test_support.h"

namespace skelbrook {
namespace {

std::vector<uint8_t> Little32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

TEST(DamagedCatalogue, ValuesBeyondTheDriveNeitherCrashNorAllocateBeyondIt) {
  test::TempDir dir;
  mkimage::ImageSpec spec;
  spec.recordings = {test::Recording(2, "News", 3000), test::Recording(3, "Film", 5000)};
  const std::string image = test::WriteTestImage(dir, spec);
  const test::ReadBack good = test::ReadImage(image);
  ASSERT_EQ(good.result, CatalogueResult::Listed);
  const int64_t size = FileLength(image).value();
  const int64_t descriptor = good.area.DescriptorOffset;

  struct Case {
    const char* what;
    int64_t at;
    std::vector<uint8_t> bytes;
    CatalogueResult result;
  };
  // Sector 0's descriptor field is the big-endian value of bytes 473, 472, 479, 478; the record
  // list's size is the stored little-endian word at +36 of its directory entry.
  const Case cases[] = {
      {"descriptor beyond the drive", 472, std::vector<uint8_t>(8, 0xFF),
       CatalogueResult::RecordListNotFound},
      {"directory beyond the drive", descriptor + kDescDirSector, Little32(0xFFFFFFF0u),
       CatalogueResult::RecordListNotFound},
      {"table of 2^32 entries", descriptor + kDescLastEntry, Little32(0xFFFFFFFFu),
       CatalogueResult::Listed},
      {"table beyond the drive", descriptor + kDescFatSector, Little32(0xFFFFFFF0u),
       CatalogueResult::Listed},
      {"record list of 4 GiB", good.area.DirOffset + kEntryLength32, Little32(0xFFFFFFFFu),
       CatalogueResult::Listed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string bad = dir.file(std::string(c.what) + ".img");
    std::filesystem::copy_file(PathFromUtf8(image), PathFromUtf8(bad));
    test::WriteBytesAt(bad, c.at, c.bytes);
    const test::ReadBack back = test::ReadImage(bad);
    EXPECT_EQ(back.result, c.result);
    EXPECT_LE(static_cast<int64_t>(back.area.FatTable.size()) * 4, size);
    EXPECT_LE(static_cast<int64_t>(back.area.RecordListBuffer.size()), size + kSystemClusterSize);
    if (c.result == CatalogueResult::Listed) {
      // The two recordings are still there, whatever else the damage makes of the list.
      ASSERT_GE(back.rows.rows.size(), 2u);
      EXPECT_EQ(back.rows.rows[0].key, good.rows.rows[0].key);
      EXPECT_EQ(back.rows.rows[1].key, good.rows.rows[1].key);
    }
  }
}

TEST(DamagedCatalogue, LineEndsAndTabsInTheDiskTextKeepOneListFileLinePerRecording) {
  test::TempDir dir;
  mkimage::ImageSpec spec;
  spec.recordings = {test::Recording(2, "Two\nlines", 3000), test::Recording(3, "Tab", 3000)};
  spec.recordings[0].channel = "AB\r\nC";
  spec.recordings[1].channel = "D\tE\n";
  const test::ReadBack back = test::ReadImage(test::WriteTestImage(dir, spec));
  ASSERT_EQ(back.rows.rows.size(), 2u);
  EXPECT_EQ(back.rows.rows[1].channelTime.substr(0, 4), "D\tE\n")
      << "the list shows the text as it is";
  const std::string& list = back.listFile;
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 3) << list;
  EXPECT_EQ(std::count(list.begin(), list.end(), '\t'), 4) << list;
  EXPECT_NE(list.find("\tAB  C "), std::string::npos) << list;
}

}  // namespace
}  // namespace skelbrook
