// The small decoders the catalogue reader is built from: byte-order restoration, text from the
// disk, file-name cleaning, size text, the guide scan and the list rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "catalogue/byte_order.h"
#include "catalogue/guide.h"
#include "catalogue/programme_table.h"
#include "catalogue/recording_rows.h"
#include "catalogue/text.h"
#include "support/test_support.h"

namespace skelbrook {
namespace {

TEST(ByteOrder, EachFourByteGroupIsReversedAndRestoringTwiceGivesTheStoredBytes) {
  const std::vector<uint8_t> stored = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<uint8_t> restored;
  SwapThem(stored, 8, restored);
  EXPECT_EQ(restored, (std::vector<uint8_t>{4, 3, 2, 1, 8, 7, 6, 5}));
  std::vector<uint8_t> again;
  SwapThem(restored, 8, again);
  EXPECT_EQ(again, stored);

  SwapThem(stored, 4, restored);  // only the bytes asked for
  EXPECT_EQ(restored, (std::vector<uint8_t>{4, 3, 2, 1}));
  std::vector<int64_t> numbers;
  SwapThem4({0x0A, 0x0B, 0x0C, 0xFF}, 4, numbers);
  EXPECT_EQ(numbers, (std::vector<int64_t>{255, 0x0C, 0x0B, 0x0A}));
}

TEST(ByteOrder, FastRestorationMatchesThePlainOneForEveryLengthAndAlignment) {
  std::mt19937 random(9200);
  std::vector<uint8_t> in(1200);
  for (auto& b : in) b = static_cast<uint8_t>(random());
  for (size_t shift = 0; shift < 4; ++shift) {
    for (size_t count = 0; count <= 1024; count += (count < 300 ? 4 : 52)) {
      std::vector<uint8_t> fast(1200, 0xEE), plain(1200, 0xEE);
      RestoreByteOrder(in.data() + shift, fast.data() + 3 - shift, count);
      RestoreByteOrderPortable(in.data() + shift, plain.data() + 3 - shift, count);
      ASSERT_EQ(fast, plain) << RestoreByteOrderImplementation() << " count " << count
                             << " shift " << shift;
      std::vector<uint8_t> inPlace(in.begin() + static_cast<long>(shift), in.end());
      RestoreByteOrder(inPlace.data(), inPlace.data(), count);
      ASSERT_TRUE(std::equal(plain.begin() + 3 - static_cast<long>(shift),
                             plain.begin() + 3 - static_cast<long>(shift) + static_cast<long>(count),
                             inPlace.begin()))
          << "in place, count " << count;
    }
  }
}

TEST(Text, RemoveIllegalsReplacesNameBreakersAndControlCharacters) {
  EXPECT_EQ(RemoveIllegals("a:b/c.d"), "a_b_c_d");
  EXPECT_EQ(RemoveIllegals("*?/\\:|<>\";.,[]"), std::string(14, '_'));
  EXPECT_EQ(RemoveIllegals("Café - news_2 (Rpt) 'x' {y} & z!"), "Café - news_2 (Rpt) 'x' {y} & z!");
  EXPECT_EQ(RemoveIllegals(""), "");
  // Windows refuses control characters in file names: a copy would fail, so they go too.
  std::string controls;
  for (int c = 1; c < 32; ++c) controls.push_back(static_cast<char>(c));
  controls.push_back('\x7F');
  EXPECT_EQ(RemoveIllegals("a" + controls + "b"), "a" + std::string(32, '_') + "b");
}

TEST(Text, DiskTextIsWindows1252UpToTheFirstZeroByte) {
  EXPECT_EQ(DecodeCp1252("Caf\xE9"), "Caf\xC3\xA9");                  // é
  EXPECT_EQ(DecodeCp1252("\x80"), "\xE2\x82\xAC");                    // €
  EXPECT_EQ(DecodeCp1252("\x81\x9F\xFF"), "\xC2\x81\xC5\xB8\xC3\xBF");  // U+0081, Ÿ, ÿ
  const uint8_t field[] = {'x', 'A', 'B', 'C', 0, 'D', 'E'};
  EXPECT_EQ(FieldText(field, 1, 2), "AB");   // the last index is included
  EXPECT_EQ(FieldText(field, 1, 6), "ABC");  // the zero ends it
  EXPECT_EQ(FieldText(field, 4, 6), "");
}

TEST(Text, SizeTextGroupsDigitsByThrees) {
  EXPECT_EQ(SizeText(0), " Bytes");
  EXPECT_EQ(SizeText(7), "7 Bytes");
  EXPECT_EQ(SizeText(999), "999 Bytes");
  EXPECT_EQ(SizeText(1000), "1,000 Bytes");
  EXPECT_EQ(SizeText(3149728), "3,149,728 Bytes");
  EXPECT_EQ(SizeText(1099511627775), "1,099,511,627,775 Bytes");
}

TEST(GuideScan, SlotNumberBeforeTheFirstDotNamesTheGuideSector) {
  SystemArea area;
  area.RootDirBuffer.assign(kDirectoryBlockSize, 0);
  const auto put = [&area](int index, const std::string& name, uint32_t sector) {
    const auto e = test::DirEntryBytes(name, sector, 512);
    std::copy(e.begin(), e.end(), area.RootDirBuffer.begin() + index * kDirEntrySize);
  };
  put(0, "_RECORD_LIST_", 5);
  put(1, "7.epg", 1000);
  put(2, "300.epg", 2000);  // beyond the slots: neither set nor counted
  put(3, "1234.epg", 3000); // first dot too late
  put(4, "42.x", 4000);
  put(5, "A.", 5000);       // a letter counts as 0
  put(6, "123.e", 6000);
  put(7, "42.y", 7000);     // a later entry for a slot overwrites the earlier
  std::array<int64_t, kSlotCount> offsets{};
  area.RecordCount = 2;
  GetEPGPositions(area, offsets);
  EXPECT_EQ(offsets[7], 512000);
  EXPECT_EQ(offsets[42], 4000 * 512);
  EXPECT_EQ(offsets[0], 0);  // the scan stopped after the second guide entry

  offsets.fill(0);
  area.RecordCount = 10;
  GetEPGPositions(area, offsets);
  EXPECT_EQ(offsets[0], 5000 * 512);
  EXPECT_EQ(offsets[123], 6000 * 512);
  EXPECT_EQ(offsets[42], 7000 * 512);
  EXPECT_EQ(std::count_if(offsets.begin(), offsets.end(), [](int64_t v) { return v != 0; }), 4);
}

TEST(ListRows, RepeatedKeysAreNumberedAcrossTheWholeRun) {
  RecordingRows list;
  EXPECT_EQ(AddToList(list, "009_x.ts", "ABC1 19:30~20:00", "1 Bytes"), 1);
  EXPECT_EQ(AddToList(list, "009_x.ts", "ABC1 19:30~20:00", "2 Bytes"), 2);
  EXPECT_EQ(AddToList(list, "010_y.ts", "SBS 20:00~21:00", "3 Bytes"), 3);
  EXPECT_EQ(AddToList(list, "010_y.ts", "SBS 20:00~21:00", "4 Bytes"), 4);
  EXPECT_EQ(AddToList(list, "009_x.ts", "ABC1 19:30~20:00", "5 Bytes"), 5);
  std::vector<std::string> texts;
  for (const RecordingRow& r : list.rows) {
    texts.push_back(r.text);
    EXPECT_EQ(r.key, r.text);
    EXPECT_EQ(r.icon, "default");
    EXPECT_FALSE(r.ticked);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"009_x.ts", "009_x.ts1", "010_y.ts", "010_y.ts2",
                                             "009_x.ts3"}));
  EXPECT_EQ(list.DuplicateKeyCount, 3);
  EXPECT_EQ(list.rows[3].channelTime, "SBS 20:00~21:00");
  EXPECT_EQ(list.rows[3].sizeText, "4 Bytes");
}

}  // namespace
}  // namespace skelbrook
