// A disk written byte by byte in this test, not by the image writer, so that the reader is held to
// the recorder's format and not to constants it shares with the writer: sector 0's pointer, both
// descriptors, an allocation-table run ended by 0xFFFFFFFE and one by 0xFFFFFFFF, directory
// entries, one record with the title prefix, a guide sector, and a recording that lies beyond
// 4 GiB on the disk.
#include <gtest/gtest.h>

#include "support/copy_support.h"

namespace skelbrook {
namespace {

constexpr int64_t kC = 385024;
constexpr int64_t kSystem = 0x00010203;  // sector of the system descriptor
constexpr int64_t kSystemData = kSystem * 512 + 446464;
constexpr int64_t kMediaData = 300 * 512;
constexpr int64_t kFar = 11200;  // a cluster beyond 4 GiB

void Put(std::vector<uint8_t>& at, size_t offset, const std::string& text) {
  std::copy(text.begin(), text.end(), at.begin() + static_cast<std::ptrdiff_t>(offset));
}
void PutBig(std::vector<uint8_t>& at, size_t offset, uint64_t value, int width) {
  for (int i = 0; i < width; ++i)
    at[offset + i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
}
// The recorder's order: every 4-byte group reversed.
std::vector<uint8_t> OnDisk(std::vector<uint8_t> bytes) {
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
    std::reverse(bytes.begin() + i, bytes.begin() + i + 4);
  return bytes;
}
std::vector<uint8_t> Entry(const std::string& name, int64_t sector, uint64_t length) {
  std::vector<uint8_t> e(128, 0);
  PutBig(e, 12, static_cast<uint64_t>(sector), 4);
  PutBig(e, 32, length, 8);
  Put(e, 64, name);
  return e;
}
// Natural-order recording bytes that show any misplaced byte.
std::vector<uint8_t> Content(int64_t length, uint8_t seed) {
  std::vector<uint8_t> b(static_cast<size_t>(length));
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 31 + seed + i / 977);
  return b;
}

class GoldenDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    image = dir.file("golden.img");
    using test::WriteBytesAt;
    // Sector 0: bytes 473, 472, 479, 478 name the system descriptor's sector, most significant
    // first.
    WriteBytesAt(image, 472, {0x01, 0x00});
    WriteBytesAt(image, 478, {0x03, 0x02});
    // The media descriptor (sector 16): last entry, marker, table sector, data sector.
    WriteBytesAt(image, 8192 + 232, test::Little32(kFar + 1));
    WriteBytesAt(image, 8192 + 252, {118});
    WriteBytesAt(image, 8192 + 260, test::Little32(200));
    WriteBytesAt(image, 8192 + 268, test::Little32(300));
    // The media table: 1 -> 2 -> end (0xFFFFFFFE); kFar -> end (0xFFFFFFFF); entry c + 1 is the
    // successor of cluster c.
    WriteBytesAt(image, 102400 + 8, {0x02, 0x00, 0x00, 0x00, 0xFE, 0xFF, 0xFF, 0xFF});
    WriteBytesAt(image, 102400 + 4 * (kFar + 1), {0xFF, 0xFF, 0xFF, 0xFF});
    // The media directory (sector 118): start sector at 12, 40-bit length at 35..39, name at 64.
    std::vector<uint8_t> media;
    for (const auto& e :
         {Entry("5.abc", 300 + 752, kC + 2000), Entry("6.a", 300 + 752 * kFar, 4000)}) {
      media.insert(media.end(), e.begin(), e.end());
    }
    WriteBytesAt(image, 118 * 512, OnDisk(media));
    // The system descriptor: last entry 7, root directory sector, table sector.
    WriteBytesAt(image, kSystem * 512 + 232, test::Little32(7));
    WriteBytesAt(image, kSystem * 512 + 252, test::Little32(kSystem + 2));
    WriteBytesAt(image, kSystem * 512 + 260, test::Little32(kSystem + 1));
    WriteBytesAt(image, kSystem * 512 + 512 + 8, {0xFF, 0xFF, 0xFF, 0xFF});  // cluster 1 ends
    // The root directory: _RECORD_LIST_ (system cluster 1, 2 records) and slot 5's guide file.
    std::vector<uint8_t> root = Entry("_RECORD_LIST_", (kSystemData + 16384) / 512, 2 * 304);
    const std::vector<uint8_t> guideEntry = Entry("5.epg", (kSystemData + 2 * 16384) / 512, 512);
    root.insert(root.end(), guideEntry.begin(), guideEntry.end());
    WriteBytesAt(image, (kSystem + 2) * 512, OnDisk(root));
    // Records: slot at 6, start and end at 17 and 21 (most significant first), the prefix 0x10
    // 0x69 moving the title from 25 to 28, the channel at 77.
    std::vector<uint8_t> records(2 * 304, 0);
    for (int r = 0; r < 2; ++r) {
      const size_t at = static_cast<size_t>(r) * 304;
      records[at + 6] = static_cast<uint8_t>(5 + r);
      PutBig(records, at + 17, 1736105400, 4);  // 2025-01-05 19:30 UTC
      PutBig(records, at + 21, 1736105400 + 1800, 4);
      Put(records, at + 77, "ABC1");
    }
    records[25] = 0x10;
    records[26] = 0x69;
    Put(records, 28, "Golden");
    Put(records, 304 + 25, "Far");
    WriteBytesAt(image, kSystemData + 16384, OnDisk(records));
    // The guide sector: its text at 74..319.
    std::vector<uint8_t> guide(512, 0);
    Put(guide, 74, "About golden");
    WriteBytesAt(image, kSystemData + 2 * 16384, OnDisk(guide));
    // The recordings, in the recorder's order.
    WriteBytesAt(image, kMediaData + kC, OnDisk(Content(2 * kC, 1)));
    WriteBytesAt(image, kMediaData + kFar * kC, OnDisk(Content(kC, 2)));
  }

  test::TempDir dir, out;
  std::string image;
};

TEST_F(GoldenDisk, IsReadAndCopiedAsTheFormatSays) {
  ASSERT_GT(kMediaData + kFar * kC, int64_t{1} << 32);
  const test::ReadBack back = test::ReadImage(image);
  ASSERT_EQ(back.result, CatalogueResult::Listed) << back.rejection << back.account.failure;
  EXPECT_FALSE(ReadInPart(back.account));
  ASSERT_EQ(back.recordings.size(), 2u);
  EXPECT_EQ(back.recordings[0].rowText, "005_193005Jan_Golden.ts");
  EXPECT_EQ(back.recordings[0].channelAndTimes, "ABC1 19:30~20:00");
  EXPECT_EQ(back.recordings[0].sizeText, "387,024 Bytes");
  EXPECT_EQ(back.recordings[0].guideText, "About golden");
  EXPECT_EQ(back.recordings[1].media.offset, kMediaData + kFar * kC);

  CopyJob job;
  job.driveText = image;
  job.destinationFolder = out.folder();
  job.geometry = &back.geometry;
  job.checkSpace = false;
  BatchCounters counters;
  WorkObserver quiet;
  for (const auto& [row, length, seed] :
       {std::tuple{size_t{0}, kC + 2000, 1}, std::tuple{size_t{1}, int64_t{4000}, 2}}) {
    const CopyOutcome o = CopyRecording(job, back.recordings[row], counters, quiet);
    ASSERT_EQ(o.status, CopyStatus::Downloaded) << o.reason;
    EXPECT_TRUE(test::ReadWholeFile(o.path) == Content(length, static_cast<uint8_t>(seed)))
        << o.path;
  }
}

}  // namespace
}  // namespace skelbrook
