// Reading the catalogue off written disk images through the real device layer: the records of
// _RECORD_LIST_ turned into the recordings of the list and the list file; the guide
// sectors; the record list found and loaded along its chain of system-area clusters, however that
// chain looks; and damaged values that must neither crash nor allocate beyond the drive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "catalogue/guide.h"
#include "catalogue/parse_catalogue.h"
#include "support/test_support.h"

namespace skelbrook {
namespace {

using mkimage::ImageDesign;
using mkimage::ImageRecording;
using test::ReadBack;
using test::TempDir;

constexpr uint32_t kJan5At1930 = 1736105400;  // 2025-01-05 19:30:00 UTC

// A listed recording without a media file.
ImageRecording Listed(int slot, const std::string& title, const std::string& channel = "SBS",
                      uint32_t start = kJan5At1930, uint32_t minutes = 1,
                      std::optional<std::string> guide = {}) {
  ImageRecording r = test::SampleRecording(slot, title, 0);
  r.channel = channel;
  r.start = start;
  r.end = start + minutes * 60;
  r.withMediaFile = false;
  r.description = std::move(guide);
  return r;
}

TEST(RecordParsing, RecordsBecomeTheRecordingsOfTheListAndTheListFile) {
  const std::string longTitle = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::string illegal = "*?/\\:|<>\";.,[]";
  for (char c = 1; c < 32; ++c) illegal += c;
  illegal += "\x7F-'(&!";
  ImageDesign design;
  design.recordings = {Listed(7, "News: Late", "ABC1", kJan5At1930, 30, "The day's stories."),
                       Listed(0, "Hidden"),
                       Listed(2, "Caf\xE9 \x80uro.\x81\x9F\xFF", "ABCDEFGHIJKLM", 0, 30),
                       Listed(3, longTitle, "SBS", kJan5At1930, 60, "Caf\xE9 society"),
                       Listed(4, "\x10Xyz", "ABC2"),
                       Listed(5, "First", "Seven", kJan5At1930, 5, "About First"),
                       Listed(5, "Second", "Nine", kJan5At1930 + 3600, 5, "About Second"),
                       Listed(6, illegal, "AB\r\nC"),
                       Listed(9, "Twice"),
                       Listed(9, "Twice", "D\tE\n"),
                       Listed(10, "Again"),
                       Listed(10, "Again")};
  design.recordings[0].size = 3149728;
  design.recordings[0].withMediaFile = true;
  design.recordings[2].titlePrefix = true;
  TempDir dir;
  const ReadBack back = test::ReadImage(test::WriteTestImage(dir, design));
  ASSERT_EQ(back.result, CatalogueResult::Listed);
  EXPECT_EQ(back.area.recordCount, 12);
  std::vector<int> slots;
  std::vector<std::string> texts;
  for (const Recording& r : back.recordings) {
    slots.push_back(r.slot);
    texts.push_back(r.rowText);
    EXPECT_EQ(r.icon, RowIcon::Default);
    EXPECT_FALSE(r.ticked);
  }
  EXPECT_EQ(slots, (std::vector<int>{7, 2, 3, 4, 5, 5, 6, 9, 9, 10, 10}));
  // The title prefix 0x10 0x69 is skipped, but 0x10 alone is not it; Windows-1252 is decoded; the
  // file name is cleaned; a repeated row key is numbered across the whole run.
  EXPECT_EQ(texts,
            (std::vector<std::string>{"007_193005Jan_News_ Late.ts",
                                      "002_000001Jan_Caf\xC3\xA9 \xE2\x82\xAC"
                                      "uro_\xC2\x81\xC5\xB8\xC3\xBF.ts",
                                      "003_193005Jan_" + longTitle + ".ts", "004_193005Jan__Xyz.ts",
                                      "005_193005Jan_First.ts", "005_203005Jan_Second.ts",
                                      "006_193005Jan_" + std::string(46, '_') + "-'(&!.ts",
                                      "009_193005Jan_Twice.ts", "009_193005Jan_Twice.ts1",
                                      "010_193005Jan_Again.ts", "010_193005Jan_Again.ts2"}));
  const std::vector<Recording>& r = back.recordings;
  EXPECT_EQ(r[0].sizeText, "3,149,728 Bytes");
  EXPECT_EQ(r[1].sizeText, " Bytes");
  EXPECT_EQ(r[0].guideText, "The day's stories.");
  EXPECT_EQ(r[1].guideText, kNoEpgText);
  EXPECT_EQ(r[2].guideText, "Caf\xC3\xA9 society");
  // A repeated slot: both rows copy the later record's recording; each shows its own times.
  for (const size_t row : {4, 5}) {
    EXPECT_EQ(r[row].fileStem, "005_203005Jan_Second");
    EXPECT_EQ(r[row].guideText, "About Second");
    EXPECT_EQ(r[row].title, "Second");
  }
  EXPECT_EQ(r[4].channelAndTimes, "Seven 19:30~19:35");
  EXPECT_EQ(r[5].channelAndTimes, "Nine 20:30~20:35");

  // One line per row, whatever line ends and tabs the disk's text holds, then the closing line.
  const std::string& list = back.listFile;
  EXPECT_TRUE(
      list.starts_with("007_193005Jan_News_ Late.ts\tABC1 19:30~20:00\t3,149,728 Bytes\r\n"))
      << list;
  EXPECT_NE(list.find("\tAB  C 19:30~19:31\t Bytes\r\n"), std::string::npos) << list;
  EXPECT_NE(list.find("\r\n009_193005Jan_Twice.ts\tD E  19:30~19:31\t Bytes\r\n"),
            std::string::npos);
  EXPECT_TRUE(list.ends_with(std::string(kListFileClosingLine) + "\r\n"));
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 12);
  EXPECT_EQ(std::count(list.begin(), list.end(), '\r'), 12);
  EXPECT_EQ(std::count(list.begin(), list.end(), '\t'), 22);
}

TEST(GuideScan, SlotBeforeTheFirstDotNamesTheGuideSectorUntilEveryRecordHasOne) {
  ImageDesign design;
  design.imageSize = int64_t{64} << 20;  // into the media data area
  for (const int slot : {7, 42, 123, 9, 0}) {
    design.recordings.push_back(Listed(slot, "T"));
  }
  // Root-directory entries from 1 on (0 is _RECORD_LIST_): five guide files for five records.
  const std::pair<const char*, uint32_t> entries[] = {
      {"7.epg", 1000},    {"300.epg", 2000},  // beyond the slots: neither taken nor counted
      {"1234.epg", 3000}, {"42.x", 4000},    {"A.", 5000},  // a letter counts as 0
      {"123.e", 6000},    {"42.y", 7000},    {"9.epg", 8000}};
  for (const auto& [name, sector] : entries) {
    design.rawEntries.push_back({false, static_cast<int>(design.rawEntries.size()) + 1,
                                 test::DirEntryBytes(name, sector, 512)});
  }
  TempDir dir;
  const ReadBack back = test::ReadImage(test::WriteTestImage(dir, design));
  GuideSectors found{};
  LocateGuideSectors(back.area, found);
  std::map<int, int64_t> sectors;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (found[static_cast<size_t>(slot)] != 0)
      sectors[slot] = found[static_cast<size_t>(slot)] / 512;
  }
  EXPECT_EQ(sectors, (std::map<int, int64_t>{{0, 5000}, {7, 1000}, {42, 7000}, {123, 6000}}));
  EXPECT_EQ(back.recordings[1].guideSectorOffset, int64_t{7000} * 512);
  EXPECT_EQ(back.recordings[3].guideText, kNoEpgText);
}

// A record list of `count` records, slots 2.., none with a media file or guide. The image still
// reaches into the media data area, as a real disk does.
ImageDesign ManyRecords(int count) {
  ImageDesign design;
  design.imageSize = int64_t{64} << 20;
  for (int i = 0; i < count; ++i) {
    design.recordings.push_back(Listed(2 + i, "Title " + std::to_string(i)));
  }
  return design;
}

void ExpectRows(const ReadBack& back, int count) {
  ASSERT_EQ(back.recordings.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    char text[48];
    std::snprintf(text, sizeof text, "%03d_193005Jan_Title %d.ts", 2 + i, i);
    EXPECT_EQ(back.recordings[static_cast<size_t>(i)].rowText, text);
  }
}

// One value changed on the written image at a time: the list's chain of clusters, its stored size,
// the system area's descriptor and sector 0. Nothing crashes, and nothing kept is larger than the
// drive.
TEST(RecordList, IsLoadedAlongItsChainWhateverTheDiskSays) {
  TempDir dir;
  ImageDesign design = ManyRecords(120);  // 36,480 bytes: three clusters
  design.recordListClusters = {9, 4, 5};
  const ReadBack good = test::ReadImage(test::WriteTestImage(dir, design));
  const int64_t fat = good.area.tableOffset, descriptor = good.area.descriptorOffset;
  const int64_t listSize = good.area.rootDirectoryOffset + kEntryLength32, C = kSystemClusterSize;
  struct Case {
    int64_t at;  // 0: nothing changed
    uint32_t value;
    int rows;  // -1: the catalogue lies beyond the end of the drive
    int64_t listBytes;
  };
  const Case cases[] = {
      {0, 0, 120, 3 * C},
      // Entry c + 1 holds the successor of cluster c. A chain ended too early goes on with the
      // following cluster; one that reaches the table's last cluster, whose successor would lie
      // outside the table, stops there.
      {fat + 4 * 5, 0xFFFFFFFFu, 120, 3 * C},
      {fat + 4 * 10, 1024, 54, 3 * C},
      {listSize, 0, 0, 0},
      {listSize, 2 * 304 - 1, 1, C},
      {listSize, 16384, 53, C},
      {listSize, 16385, 53, 2 * C},
      {listSize, 0xFFFFFFFFu, 120, -1},  // 4 GiB: bounded by the table and the drive
      // A system table of 2^32 entries is cut to one per cluster of the drive; one beyond the
      // drive is not loaded: the list ends with its first cluster.
      {descriptor + kDescLastEntry, 0xFFFFFFFFu, 120, 3 * C},
      {descriptor + kDescFatSector, 0xFFFFFFF0u, 53, C},
      {descriptor + kDescDirSector, 0xFFFFFFF0u, -1, 0},
      {472, 0xFFFFFFFFu, -1, 0},  // sector 0's pointer to the system descriptor
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.at << " " << c.value);
    const std::string image = test::WriteTestImage(
        dir, design, std::to_string(c.at) + "-" + std::to_string(c.value) + ".img");
    if (c.at != 0) test::WriteBytesAt(image, c.at, test::Little32(c.value));
    const ReadBack back = test::ReadImage(image);
    const int64_t size = back.geometry.driveSize;
    EXPECT_LE(static_cast<int64_t>(back.area.allocationTable.size()) * 4, size);
    EXPECT_LE(static_cast<int64_t>(back.area.recordList.size()), size + C);
    if (c.rows < 0) {
      EXPECT_EQ(back.result, CatalogueResult::Unreadable);
      EXPECT_NE(back.account.failure.find("read past the end of the drive"), std::string::npos)
          << back.account.failure;
      continue;
    }
    ExpectRows(back, c.rows);
    if (c.listBytes >= 0) {
      EXPECT_EQ(static_cast<int64_t>(back.area.recordList.size()), c.listBytes);
    }
    if (c.rows == 0) {
      EXPECT_EQ(back.listFile, std::string(kListFileClosingLine) + "\r\n");
    }
  }
}

}  // namespace
}  // namespace skelbrook
