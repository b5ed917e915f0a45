// Finding each recording's media file in the media directory of a written image: the name rule,
// 40-bit lengths, repeated names, and the early stop once every record has had its file.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"

namespace skelbrook {
namespace {

TEST(FileLocation, MediaFilesAreFoundByTheirNamesUntilEveryRecordHasOne) {
  struct Entry {
    const char* name;
    uint32_t sector;
    uint64_t length;
    int listedSlot;  // the slot of the record it is for; 0: none
    const char* sizeText;
  };
  // A media file is "<slot>.a...": one to three characters up to the first dot (a non-digit counts
  // as 0), slot 2..255. Only the low 40 bits of the stored length count.
  const Entry entries[] = {
      {"7.a", 10, 7, 7, "7 Bytes"},
      {"08.a", 20, 999, 8, "999 Bytes"},
      {"009.abc", 30, 1000, 9, "1,000 Bytes"},
      {"x5.ab", 40, 0xFFFFFFFFFFull, 5, "1,099,511,627,775 Bytes"},
      {"255.a", 0xFFFFFFFFu, 0xFFFFFF0100000005ull, 255, "4,294,967,301 Bytes"},
      {"12.a", 50, 1, 0, ""},  // counted, then replaced by the later entry of the same name
      {"12.a", 60, 3149728, 12, "3,149,728 Bytes"},
      {"16.a", 0, 1, 16, " Bytes"},  // seven files found for seven records: never looked at
  };
  mkimage::ImageDesign design;
  design.imageSize = int64_t{64} << 20;  // into the media data area, as a real disk does
  // Names that make no media file: slot 256, 1 or 0, no "a" after the dot, a dot too late or none.
  for (const char* name : {"256.a", "1.a", "0.a", "13.A", "1..a", "1234.a", "14a", "15.b"}) {
    design.rawEntries.push_back(
        {true, static_cast<int>(design.rawEntries.size()), test::DirEntryBytes(name, 1, 1)});
  }
  for (const Entry& e : entries) {
    design.rawEntries.push_back({true, static_cast<int>(design.rawEntries.size()),
                                 test::DirEntryBytes(e.name, e.sector, e.length)});
    if (e.listedSlot == 0) continue;
    design.recordings.push_back(test::SampleRecording(e.listedSlot, "T", 0));
    design.recordings.back().withMediaFile = false;
  }
  test::TempDir dir;
  const test::ReadBack back = test::ReadImage(test::WriteTestImage(dir, design));
  ASSERT_EQ(back.recordings.size(), 7u);
  size_t row = 0;
  for (const Entry& e : entries) {
    if (e.listedSlot == 0) continue;
    EXPECT_EQ(back.recordings[row].sizeText, e.sizeText) << e.name;
    EXPECT_EQ(back.recordings[row++].media.offset, int64_t{e.sector} * 512) << e.name;
  }
  const MediaFiles& files = back.mediaFiles;
  EXPECT_EQ(
      std::count_if(files.begin(), files.end(), [](const MediaFile& f) { return f.offset != 0; }),
      6);
}

}  // namespace
}  // namespace skelbrook
