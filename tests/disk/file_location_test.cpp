// Finding each recording's media file in the media directory: the name rule, 40-bit lengths, the
// early stop after as many files as the record list has records, and repeated names.
#include "disk/file_location.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"

namespace skelbrook {
namespace {

using Slots = std::array<int64_t, kSlotCount>;

// A media directory block in restored order.
struct Block {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(kDirectoryBlockSize, 0);
  void Put(int index, const std::string& name, uint32_t sector, uint64_t length) {
    const auto entry = test::DirEntryBytes(name, sector, length);
    std::copy(entry.begin(), entry.end(), bytes.begin() + index * kDirEntrySize);
  }
  void Scan(int32_t recordCount, Slots& offset, Slots& size) const {
    offset.fill(0);
    size.fill(0);
    GetFILEPositions(bytes.data(), recordCount, offset, size);
  }
};

int SlotsSet(const Slots& s) {
  return static_cast<int>(std::count_if(s.begin(), s.end(), [](int64_t v) { return v != 0; }));
}

TEST(FileLocation, NameRuleDecidesTheSlotByTheFirstDot) {
  const std::pair<const char*, int> cases[] = {
      {"7.a", 7},    {"07.a", 7},   {"007.a", 7},   {"255.a", 255}, {"x5.a", 5},
      {"7.abc", 7},  {"7.ab", 7},   {"12.a", 12},   {"256.a", 0},   {"1.a", 0},
      {"0.a", 0},    {"7.A", 0},    {"1..a", 0},    {"1234.a", 0},  {"7a", 0},
      {"7.b", 0},    {"", 0}};
  for (const auto& [name, slot] : cases) {
    Block block;
    block.Put(0, name, 1000, 1048576);
    Slots offset, size;
    block.Scan(5, offset, size);
    if (slot == 0) {
      EXPECT_EQ(SlotsSet(offset) + SlotsSet(size), 0) << name;
      continue;
    }
    EXPECT_EQ(offset[static_cast<size_t>(slot)], 512000) << name;
    EXPECT_EQ(size[static_cast<size_t>(slot)], 1048576) << name;
    EXPECT_EQ(SlotsSet(offset), 1) << name;
  }
}

TEST(FileLocation, LengthIsTheLowFortyBitsOfTheField) {
  Block block;
  block.Put(0, "9.a", 1000, 0xFFFFFF0000100000ull);  // bytes 32..34 are not part of it
  block.Put(1, "10.a", 0xFFFFFFFFu, 0x0100000005ull);
  Slots offset, size;
  block.Scan(2, offset, size);
  EXPECT_EQ(size[9], 1048576);
  EXPECT_EQ(size[10], 4294967301);
  EXPECT_EQ(offset[10], int64_t{0xFFFFFFFF} * 512);
}

TEST(FileLocation, ScanStopsOnceRecordCountFilesWereFound) {
  Block block;
  block.Put(0, "2.a", 10, 1);
  block.Put(5, "3.a", 20, 2);
  block.Put(9, "4.a", 30, 3);
  block.Put(40, "5.a", 40, 4);
  Slots offset, size;
  block.Scan(3, offset, size);
  EXPECT_EQ(size[4], 3);
  EXPECT_EQ(size[5], 0);
  block.Scan(4, offset, size);
  EXPECT_EQ(size[5], 4);

  // With no records the scan ends after a first entry that is not a media file...
  Block late;
  late.Put(0, "readme", 1, 1);
  late.Put(1, "6.a", 50, 5);
  late.Scan(0, offset, size);
  EXPECT_EQ(SlotsSet(size), 0);
  // ...but a media file first makes the count pass zero, and the whole block is read.
  late.Put(0, "8.a", 60, 6);
  late.Put(2047, "9.a", 70, 7);
  late.Scan(0, offset, size);
  EXPECT_EQ(size[8], 6);
  EXPECT_EQ(size[6], 5);
  EXPECT_EQ(size[9], 7);
}

TEST(FileLocation, RepeatedNameCountsTwiceAndTheLaterEntryWins) {
  Block block;
  block.Put(0, "12.a", 100, 111);
  block.Put(3, "12.a", 200, 222);
  block.Put(7, "13.a", 300, 333);
  Slots offset, size;
  block.Scan(2, offset, size);
  EXPECT_EQ(offset[12], 200 * 512);
  EXPECT_EQ(size[12], 222);
  EXPECT_EQ(size[13], 0);
}

TEST(FileLocation, MediaFilesAreFoundInTheStoredByteOrderOfAnImage) {
  test::TempDir dir;
  mkimage::ImageSpec spec;
  spec.recordings = {test::Recording(2, "Plain", 5000), test::Recording(3, "Upper", 6000),
                     test::Recording(77, "Huge", 0)};
  spec.recordings[1].mediaName = "3.A";
  spec.recordings[2].withMediaFile = false;
  mkimage::RawDirEntry huge;
  huge.index = 2;
  huge.bytes = test::DirEntryBytes("077.abc", 123456, 0x0100000005ull);
  spec.rawEntries = {huge};
  const auto back = test::ReadImage(test::WriteTestImage(dir, spec));
  ASSERT_EQ(back.result, CatalogueResult::Listed);

  EXPECT_EQ(back.table.ProgFileSize[2], 5000);
  EXPECT_EQ(back.table.ProgFileOffset[2], back.geometry.MediaDataOffset + kMediaClusterSize);
  EXPECT_EQ(back.table.ProgFileOffset[3], 0);
  EXPECT_EQ(back.table.ProgFileSize[3], 0);
  EXPECT_EQ(back.table.ProgFileOffset[77], int64_t{123456} * 512);
  EXPECT_EQ(back.table.ProgFileSize[77], 4294967301);
  ASSERT_EQ(back.rows.rows.size(), 3u);
  EXPECT_EQ(back.rows.rows[1].sizeText, " Bytes");
  EXPECT_EQ(back.rows.rows[2].sizeText, "4,294,967,301 Bytes");
}

}  // namespace
}  // namespace skelbrook
