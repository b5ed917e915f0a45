// Reading the catalogue off written disk images through the real device layer: the records of
// _RECORD_LIST_ turned into the programme table, the list rows and the list file, and the record
// list found and loaded along its chain of system-area clusters, however that chain looks.
#include <gtest/gtest.h>

#include <cstdio>

#include "catalogue/programme_table.h"
#include "support/test_support.h"

namespace skelbrook {
namespace {

using mkimage::ImageRecording;
using mkimage::ImageSpec;
using test::ReadBack;
using test::TempDir;

constexpr uint32_t kJan5At1930 = 1736105400;  // 2025-01-05 19:30:00 UTC

ImageRecording Listed(int slot, const std::string& title, const std::string& channel,
                      uint32_t start, uint32_t minutes) {
  ImageRecording r = test::Recording(slot, title, 0);
  r.channel = channel;
  r.start = start;
  r.end = start + minutes * 60;
  r.withMediaFile = false;
  r.description.reset();
  return r;
}

class RecordParsing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    ImageSpec spec;
    ImageRecording news = Listed(7, "News: Late", "ABC1", kJan5At1930, 30);
    news.size = 3149728;
    news.withMediaFile = true;
    news.description = "The day's stories.";
    ImageRecording cafe = Listed(2, "Caf\xE9 \x80uro.", "ABCDEFGHIJKLM", 0, 30);
    cafe.titlePrefix = true;
    ImageRecording longTitle = Listed(3, std::string(kLongTitle), "SBS", kJan5At1930, 60);
    longTitle.description = "Caf\xE9 society";
    ImageRecording first = Listed(5, "First", "Seven", kJan5At1930, 5);
    first.description = "About First";
    ImageRecording second = Listed(5, "Second", "Nine", kJan5At1930 + 3600, 5);
    second.description = "About Second";
    spec.recordings = {news,
                       Listed(0, "Hidden", "ABC1", 0, 1),
                       cafe,
                       longTitle,
                       Listed(4, "\x10Xyz", "ABC2", kJan5At1930, 1),
                       first,
                       second,
                       Listed(9, "Twice", "SBS", kJan5At1930, 1),
                       Listed(9, "Twice", "SBS", kJan5At1930, 1)};
    back_ = new ReadBack(test::ReadImage(test::WriteTestImage(*dir_, spec)));
  }
  static void TearDownTestSuite() {
    delete back_;
    delete dir_;
  }
  static constexpr const char* kLongTitle = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  static TempDir* dir_;
  static ReadBack* back_;
};
TempDir* RecordParsing::dir_ = nullptr;
ReadBack* RecordParsing::back_ = nullptr;

TEST_F(RecordParsing, RowsFollowRecordOrderAndMapToTheirSlots) {
  ASSERT_EQ(back_->result, CatalogueResult::Listed);
  EXPECT_EQ(back_->area.RecordCount, 9);
  EXPECT_EQ(back_->table.RowSlot, (std::vector<int>{0, 7, 2, 3, 4, 5, 5, 9, 9}));
  ASSERT_EQ(back_->rows.rows.size(), 8u);
  // A repeated slot: the later record's values win, and both rows show that slot.
  EXPECT_EQ(back_->table.ProgFileName[5], "005_203005Jan_Second");
  EXPECT_EQ(back_->table.ProgEPGText[5], "About Second");
  EXPECT_EQ(back_->rows.rows[4].text, "005_193005Jan_First.ts");
  EXPECT_EQ(back_->rows.rows[5].text, "005_203005Jan_Second.ts");
  // The same name twice: the row is numbered, the file name is not.
  EXPECT_EQ(back_->rows.rows[6].text, "009_193005Jan_Twice.ts");
  EXPECT_EQ(back_->rows.rows[7].text, "009_193005Jan_Twice.ts1");
  EXPECT_EQ(back_->rows.DuplicateKeyCount, 1);
  EXPECT_EQ(back_->table.ProgFileName[9], "009_193005Jan_Twice");
  EXPECT_TRUE(back_->table.ProgFileName[0].empty());
}

TEST_F(RecordParsing, FieldsAreDecodedAndTheFileNameCleaned) {
  const ProgrammeTable& t = back_->table;
  EXPECT_EQ(t.ProgFileName[7], "007_193005Jan_News_ Late");
  EXPECT_EQ(t.ProgChannelTime[7], "ABC1 19:30~20:00");
  EXPECT_EQ(t.ProgEPGText[7], "The day's stories.");
  EXPECT_EQ(back_->rows.rows[0].sizeText, "3,149,728 Bytes");
  // Title prefix 0x10 0x69 skipped, cp1252 decoded, start at second 0, a 13-byte channel.
  EXPECT_EQ(t.ProgFileName[2], "002_000001Jan_Caf\xC3\xA9 \xE2\x82\xAC" "uro_");
  EXPECT_EQ(t.ProgChannelTime[2], "ABCDEFGHIJKLM 00:00~00:30");
  EXPECT_EQ(t.ProgEPGText[2], kNoEpgText);
  EXPECT_EQ(back_->rows.rows[1].sizeText, " Bytes");
  // A 52-byte title fills its field; the channel right after it is not run into.
  EXPECT_EQ(t.ProgFileName[3], std::string("003_193005Jan_") + kLongTitle);
  EXPECT_EQ(t.ProgChannelTime[3], "SBS 19:30~20:30");
  EXPECT_EQ(t.ProgEPGText[3], "Caf\xC3\xA9 society");
  // 0x10 without 0x69 after it is not the prefix; as a control character it is cleaned.
  EXPECT_EQ(t.ProgFileName[4], "004_193005Jan__Xyz");
}

TEST_F(RecordParsing, ListFileHasOneLinePerRowAndTheClosingLine) {
  const std::string& list = back_->listFile;
  EXPECT_EQ(list.rfind("007_193005Jan_News_ Late.ts\tABC1 19:30~20:00\t3,149,728 Bytes\r\n", 0), 0u);
  const std::string closing = std::string(kListFileClosingLine) + "\r\n";
  ASSERT_GE(list.size(), closing.size());
  EXPECT_EQ(list.substr(list.size() - closing.size()), closing);
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 9);
  EXPECT_EQ(std::count(list.begin(), list.end(), '\r'), 9);
  EXPECT_NE(list.find("009_193005Jan_Twice.ts\tSBS 19:30~19:31\t Bytes\r\n"), std::string::npos);
}

// A record list of `count` records, slots 2.., none with a media file or guide. The image still
// reaches into the media data area, as a real disk does.
ImageSpec ManyRecords(int count) {
  ImageSpec spec;
  spec.imageSize = int64_t{64} << 20;
  for (int i = 0; i < count; ++i) {
    spec.recordings.push_back(Listed(2 + i, "Title " + std::to_string(i), "ABC1", kJan5At1930, 1));
  }
  return spec;
}

void ExpectAllRows(const ReadBack& back, int count) {
  ASSERT_EQ(back.result, CatalogueResult::Listed);
  ASSERT_EQ(back.rows.rows.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(back.table.RowSlot[static_cast<size_t>(i) + 1], 2 + i);
    EXPECT_EQ(back.table.ProgChannelTime[static_cast<size_t>(2 + i)], "ABC1 19:30~19:31");
    char name[48];
    std::snprintf(name, sizeof name, "%03d_193005Jan_Title %d", 2 + i, i);
    EXPECT_EQ(back.table.ProgFileName[static_cast<size_t>(2 + i)], name);
  }
}

TEST(RecordList, IsFoundAmongTheFirstHundredRootEntriesOnly) {
  TempDir dir;
  ImageSpec spec = ManyRecords(2);
  spec.recordListEntry = 99;
  ExpectAllRows(test::ReadImage(test::WriteTestImage(dir, spec, "99.img")), 2);
  spec.recordListEntry = 100;
  EXPECT_EQ(test::ReadImage(test::WriteTestImage(dir, spec, "100.img")).result,
            CatalogueResult::RecordListNotFound);
  spec.withRecordList = false;
  EXPECT_EQ(test::ReadImage(test::WriteTestImage(dir, spec, "none.img")).result,
            CatalogueResult::RecordListNotFound);
}

TEST(RecordList, SizeDecidesHowManyWholeRecordsAreRead) {
  TempDir dir;
  const std::string closingOnly = std::string(kListFileClosingLine) + "\r\n";
  struct Case {
    int64_t size;
    size_t rows;
    size_t bufferBytes;
  };
  for (const Case c : {Case{0, 0, 0}, Case{303, 0, 16384}, Case{2 * 304 - 1, 1, 16384},
                       Case{16384, 2, 16384}, Case{16385, 2, 32768}}) {
    ImageSpec spec = ManyRecords(2);
    spec.recordListSize = c.size;
    const ReadBack back =
        test::ReadImage(test::WriteTestImage(dir, spec, std::to_string(c.size) + ".img"));
    ASSERT_EQ(back.result, CatalogueResult::Listed) << c.size;
    EXPECT_EQ(back.rows.rows.size(), c.rows) << c.size;
    EXPECT_EQ(back.area.RecordListBuffer.size(), c.bufferBytes) << c.size;
    if (c.rows == 0) {
      EXPECT_EQ(back.listFile, closingOnly);
    }
  }
}

TEST(RecordList, IsAssembledAlongANonContiguousChain) {
  TempDir dir;
  ImageSpec spec = ManyRecords(120);  // 36,480 bytes: three clusters
  spec.recordListClusters = {9, 4, 12};
  const ReadBack back = test::ReadImage(test::WriteTestImage(dir, spec));
  ExpectAllRows(back, 120);
  EXPECT_EQ(back.area.RecordListBuffer.size(), 3u * 16384);
}

// Writes the image, then sets the system-area table entry `index` to `value` on it.
ReadBack ReadWithSystemEntry(const TempDir& dir, const ImageSpec& spec, int64_t index,
                             uint32_t value) {
  const std::string image = test::WriteTestImage(dir, spec);
  const int64_t fatOffset = test::ReadImage(image).area.FatOffset;
  test::WriteBytesAt(image, fatOffset + 4 * index,
                     {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                      static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
  ReadBack back = test::ReadImage(image);
  EXPECT_EQ(back.area.FatTable[static_cast<size_t>(index)], value);
  return back;
}

TEST(RecordList, ChainEndedTooEarlyContinuesWithTheFollowingCluster) {
  TempDir dir;
  ImageSpec spec = ManyRecords(120);
  spec.recordListClusters = {5, 6, 7};
  // Entry 6 holds the successor of cluster 5: mark the chain as ending there.
  ExpectAllRows(ReadWithSystemEntry(dir, spec, 6, 0xFFFFFFFFu), 120);
}

TEST(RecordList, ChainLeavingTheTableStopsWithoutReadingOutsideIt) {
  TempDir dir;
  ImageSpec spec = ManyRecords(120);
  spec.recordListClusters = {5, 6, 7};
  // Cluster 5 is followed by the table's last cluster, whose successor entry lies outside it.
  const ReadBack back = ReadWithSystemEntry(dir, spec, 6, 1024);
  ASSERT_EQ(back.area.FatTable.size(), 1025u);
  // The first cluster holds records 0..53 whole; the rest of the list reads as empty records.
  ExpectAllRows(back, 54);
}

}  // namespace
}  // namespace skelbrook
