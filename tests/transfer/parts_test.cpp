// A recording larger than the destination's file system holds in one file (FAT32: 4 GiB), copied
// in parts that a media library plays as one: cut at whole clusters, joined back byte for byte,
// dated and with one guide file; refused whole where a part exists or splitting is not wanted;
// nothing kept of a plain copy that fails; a rescue keeps each part with its map and takes them up
// again part by part. The destination's limit is told through the job, so the parts stay small.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "support/copy_support.h"
#include "transfer/stream_check.h"

namespace skelbrook::test {
namespace {

namespace fs = std::filesystem;

// Seven clusters and a tail on a chain out of order, and a recording that fits in one file.
constexpr int64_t kLong = 7 * C + 5000;

class PartsTest : public CopyFixture {
 protected:
  void SetUp() override {
    mkimage::ImageDesign d;
    d.systemFatEntries = 16;
    d.recordings = {SampleRecording(2, "Long", kLong, {12, 13, 10, 11, 14, 15, 16, 17}),
                    SampleRecording(3, "Short", 2 * C, {30, 31})};
    ASSERT_NO_FATAL_FAILURE(WriteDisk(d));
  }
  // A destination whose largest file holds three clusters and a little.
  CopyJob SmallFiles(bool rescue = false, const DiskOpener& openDisk = {}) const {
    CopyJob job = Job(rescue, openDisk);
    job.queryVolume = [](const std::string&) { return VolumeInfo{"vfat", -1, 3 * C + 100, -1}; };
    return job;
  }
  std::string Part(size_t k, const std::string& kind = ".ts") const {
    return disk.recordings[0].fileStem + " - part" + std::to_string(k) + kind;
  }
  // The parts' files joined.
  std::vector<uint8_t> Joined(const std::string& kind = ".ts") const {
    std::vector<uint8_t> all;
    for (size_t k = 1; k <= 3; ++k) {
      const std::vector<uint8_t> part = ReadWholeFile(out.file(Part(k, kind)));
      all.insert(all.end(), part.begin(), part.end());
    }
    return all;
  }
};

TEST_F(PartsTest, ARecordingTooLargeForOneFileIsCopiedInPartsCutAtClustersOrRefusedWhole) {
  CopyJob job = SmallFiles();
  job.writeNfo = true;
  BatchResult r = CopyAll(job);
  ASSERT_EQ(r.outcomes.size(), 2u);
  const CopyOutcome& o = r.outcomes[0];
  ASSERT_EQ(o.status, CopyStatus::Downloaded) << o.reason;
  ASSERT_EQ(o.parts.size(), 3u);
  const int64_t sizes[] = {3 * C, 3 * C, C + 5000};
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(o.parts[k].path, out.file(Part(k + 1)));
    EXPECT_EQ(o.parts[k].bytes, sizes[k]);
    struct stat st {};
    ASSERT_EQ(stat(o.parts[k].path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, disk.recordings[0].startTime) << "each part is dated as the recording";
  }
  EXPECT_TRUE(Joined() == Expected(0, kLong));
  EXPECT_EQ(o.bytesWritten, kLong);
  // Checked as one stream, the parts' counters run on across the cuts.
  StreamReport report;
  ASSERT_TRUE(CheckStreamFiles({o.parts[0].path, o.parts[1].path, o.parts[2].path}, report).ok());
  EXPECT_TRUE(report.clean());
  EXPECT_EQ(report.packets, kLong / kTsPacketSize);
  EXPECT_NE(o.note.find("split into 3 parts"), std::string::npos) << o.note;
  EXPECT_TRUE(r.outcomes[1].parts.empty());
  const std::string nfo = disk.recordings[0].fileStem + ".nfo";
  const std::string shortNfo = disk.recordings[1].fileStem + ".nfo";
  EXPECT_EQ(Left(), (std::set<std::string>{Part(1), Part(2), Part(3), nfo, Name(1), shortNfo}));

  // A part already there refuses the recording before anything is read, and stays as it was.
  for (const std::string& f : {Part(1), Part(3), nfo, Name(1), shortNfo}) fs::remove(out.file(f));
  const std::vector<uint8_t> second = ReadWholeFile(out.file(Part(2)));
  disk.recordings[0].ticked = true;
  counters = {kLong, 0};
  r = CopyTickedRecordings(disk.recordings, SmallFiles(), counters, log);
  EXPECT_TRUE(r.outcomes[0].alreadyExists);
  EXPECT_EQ(r.outcomes[0].path, out.file(Part(2)));
  EXPECT_EQ(Left(), std::set<std::string>{Part(2)});
  EXPECT_TRUE(ReadWholeFile(out.file(Part(2))) == second);

  // Not split when the user says so: refused before anything is read.
  job.splitLarge = false;
  r = CopyAll(job);
  EXPECT_EQ(r.outcomes[0].reason,
            "the recording (" + std::to_string(kLong) +
                " bytes) is too large for the destination's file system (vfat): it holds no file "
                "larger than " +
                std::to_string(3 * C + 100) + " bytes");
  // A plain copy that cannot read a sector of its second part keeps none of its parts.
  const int64_t bad = disk.geometry.dataOffset + 15 * C + 512;  // part 2's last cluster
  r = CopyAll(SmallFiles(false, FailingAt({{bad, kSectorSize}}, false)));
  EXPECT_EQ(r.outcomes[0].status, CopyStatus::Failed);
  EXPECT_TRUE(r.outcomes[0].readFailure);
  EXPECT_EQ(Left(), std::set<std::string>{Name(1)});
}

TEST_F(PartsTest, ARescueKeepsEachPartWithItsMapAndIsTakenUpPartByPart) {
  const int64_t bad = disk.geometry.dataOffset + 14 * C + 4096;  // in part 2's second cluster
  const BatchResult first = CopyAll(SmallFiles(true, FailingAt({{bad, kSectorSize}}, false)));
  const CopyOutcome& kept = first.outcomes[0];
  ASSERT_EQ(kept.status, CopyStatus::KeptIncomplete);
  EXPECT_EQ(kept.unreadableBytes, kSectorSize);
  ASSERT_EQ(kept.parts.size(), 3u);
  EXPECT_EQ(kept.path, out.file(Part(1, ".incomplete.ts")));
  std::set<std::string> left{Name(1)};
  for (size_t k = 1; k <= 3; ++k) {
    left.insert(Part(k, ".incomplete.ts"));
    left.insert(Part(k, ".incomplete.ts.map"));
  }
  EXPECT_EQ(left, Left()) << "no part takes its name while one has a hole";
  std::vector<uint8_t> expected = Expected(0, kLong);
  std::fill_n(expected.begin() + 4 * C + 4096, kSectorSize, uint8_t{0});
  EXPECT_TRUE(Joined(".incomplete.ts") == expected);

  // The disk reads again, and the destination no longer tells of a limit (the stick mounted
  // another way): the rescue goes on with the parts it left, reading only the missing sector's
  // block, and names every part.
  auto reads = std::make_shared<std::vector<DiskRead>>();
  disk.recordings[0].ticked = true;
  counters = {kLong, 0};
  const BatchResult again =
      CopyTickedRecordings(disk.recordings, Job(true, Watched(reads)), counters, log);
  ASSERT_EQ(again.outcomes[0].status, CopyStatus::Downloaded) << again.outcomes[0].reason;
  EXPECT_TRUE(Joined() == Expected(0, kLong));
  EXPECT_EQ(Left(), (std::set<std::string>{Part(1), Part(2), Part(3), Name(1)}));
  ASSERT_FALSE(reads->empty());
  for (const DiskRead& read : *reads) {
    EXPECT_TRUE(read.offset >= bad - 65536 && read.offset + read.count <= bad + 65536)
        << "read at " << read.offset;
  }
}

}  // namespace
}  // namespace skelbrook::test
