// Failures injected across the whole copy of a batch: in turn, every read the copy makes of the
// recorder disk fails (outright, or short), and the destination refuses writes after various
// amounts. Whatever fails, only the row it hits is "failed", with a reason; no final name ever
// holds anything but a complete, correct copy; every other row is copied exactly; nothing else is
// left in the folder; and the disk image is not changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "device/file_system.h"
#include "support/test_support.h"
#include "transfer/batch.h"

namespace skelbrook {
namespace {

constexpr int64_t C = kMediaClusterSize;

// One read the copy makes: where on the disk, how long, and where its bytes go in the file.
struct PlannedRead {
  int row;
  int64_t position;
  int64_t count;
  int64_t fileOffset;
};

class FaultSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    mkimage::ImageSpec spec;
    spec.systemFatEntries = 16;  // keeps the image small
    spec.recordings = {
        test::Recording(2, "Three clusters", 2 * C + 10000, {5, 6, 7}),
        test::Recording(3, "Scattered", C + 4242, {16, 12}),
        test::Recording(4, "Single", 5001, {3}),
        test::Recording(5, "Whole clusters", 2 * C, {14, 15}),
        test::Recording(6, "Tail dropped", C + 1024, {8, 9}),
        test::Recording(7, "Odd tail", C + 1027, {10, 11}),
    };
    image = test::WriteTestImage(dir, spec);
    checksum = test::FileChecksum(image);
    disk = test::ReadImage(image);
    ASSERT_TRUE(disk.geometry.KnownDrive);
    ASSERT_EQ(disk.rows.rows.size(), spec.recordings.size());
    for (size_t i = 0; i < spec.recordings.size(); ++i) {
      const mkimage::ImageRecording& r = spec.recordings[i];
      const int row = static_cast<int>(i) + 1;
      ASSERT_EQ(disk.table.RowSlot[static_cast<size_t>(row)], r.slot);
      Plan(row, r);
    }
  }

  // The reads a copy of the recording makes, and the file it should produce: six blocks per
  // cluster, then what is left of the last one (only when that is more than 1,024 bytes), read as
  // whole 4-byte groups.
  void Plan(int row, const mkimage::ImageRecording& r) {
    int64_t done = 0;
    for (size_t k = 0; k < r.clusters.size(); ++k) {
      const int64_t at = disk.geometry.MediaDataOffset + r.clusters[k] * C;
      if (k + 1 < r.clusters.size()) {
        for (int64_t block = 0; block < 6; ++block) {
          reads.push_back(
              {row, at + block * 65536, block < 5 ? 65536 : 57344, done + block * 65536});
        }
        done += C;
      } else if (r.size - done > 1024) {
        reads.push_back({row, at, (r.size - done + 3) / 4 * 4, done});
        done = r.size;
      } else {
        unread.push_back(at);  // the dropped tail's cluster is never read
      }
    }
    expected[row] = mkimage::RecordingBytes(r.seed, 0, done);
  }

  // Ticks every row and copies the batch.
  BatchResult CopyAll(DeviceFaults faults, bool rescue = false) {
    for (const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(out.path()))) {
      std::filesystem::remove(entry.path());
    }
    for (auto& row : disk.rows.rows) {
      row.ticked = true;
      row.icon = kIconDefault;
    }
    CopyJob job;
    job.driveText = image;
    job.destinationFolder = out.folder();
    job.geometry = &disk.geometry;
    job.table = &disk.table;
    job.faults = faults;
    job.rescue = rescue;
    BatchCounters counters;
    BatchObserver observer;
    return CopyTickedRecordings(disk.rows, job, counters, observer);
  }

  std::string Name(int row) const {
    return disk.table.ProgFileName[disk.table.RowSlot[static_cast<size_t>(row)]] + ".ts";
  }

  static std::vector<uint8_t> Contents(const std::string& path) {
    std::vector<uint8_t> bytes(static_cast<size_t>(FileLength(path).value_or(0)));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return {};
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    bytes.resize(got);
    return bytes;
  }

  std::set<std::string> Left() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(out.path()))) {
      names.insert(Utf8FromPath(entry.path().filename()));
    }
    return names;
  }

  // Every row not in `failing` was copied exactly; the rows in it failed, with a reason that
  // contains the text given, and left no file. Nothing else is in the folder.
  void ExpectOnly(const BatchResult& result, const std::map<int, std::string>& failing) {
    ASSERT_EQ(result.outcomes.size(), disk.rows.rows.size());
    std::set<std::string> wanted;
    for (size_t i = 0; i < result.outcomes.size(); ++i) {
      const int row = result.rowsCopied[i];
      const CopyOutcome& o = result.outcomes[i];
      SCOPED_TRACE("row " + std::to_string(row));
      const auto fails = failing.find(row);
      if (fails == failing.end()) {
        ASSERT_EQ(o.status, CopyStatus::Downloaded) << o.reason;
        EXPECT_EQ(disk.rows.rows[i].icon, kIconDownloaded);
        EXPECT_TRUE(Contents(o.path) == expected[row]) << "the copy differs from the recording";
        wanted.insert(Name(row));
      } else {
        EXPECT_EQ(o.status, CopyStatus::Failed);
        EXPECT_EQ(disk.rows.rows[i].icon, kIconFailed);
        EXPECT_TRUE(disk.rows.rows[i].ticked);
        EXPECT_NE(o.reason.find(fails->second), std::string::npos) << o.reason;
      }
    }
    EXPECT_EQ(Left(), wanted);
  }

  test::TempDir dir;
  test::TempDir out;
  std::string image;
  uint64_t checksum = 0;
  test::ReadBack disk;
  std::vector<PlannedRead> reads;
  std::vector<int64_t> unread;
  std::map<int, std::vector<uint8_t>> expected;
};

TEST_F(FaultSweep, EachFailingReadFailsOnlyItsOwnRow) {
  ASSERT_EQ(reads.size(), 41u);
  for (const PlannedRead& r : reads) {
    // Outright failure of the whole read; a read that stops short before its last sector.
    const int64_t lastSector = r.position + (r.count - 1) / kSector * kSector;
    for (const auto& [shortRead, failAt] :
         {std::pair{false, r.position}, std::pair{true, lastSector}}) {
      SCOPED_TRACE((shortRead ? "short read at " : "failed read at ") + std::to_string(failAt));
      const BatchResult result = CopyAll({failAt, shortRead, -1, true});
      ExpectOnly(result,
                 {{r.row, "cannot read the recorder disk at byte " + std::to_string(failAt)}});
    }
  }
  for (const int64_t at : unread) {
    SCOPED_TRACE("unread cluster at " + std::to_string(at));
    ExpectOnly(CopyAll({at + 1000, false, -1, true}), {});
  }
  EXPECT_EQ(test::FileChecksum(image), checksum) << "the disk image was changed";
}

TEST_F(FaultSweep, RescueZeroesExactlyTheFailingSectorWhereverItLies) {
  for (const PlannedRead& r : reads) {
    const int64_t within = r.count / 2 / kSector * kSector;
    const int64_t missing = std::min<int64_t>(kSector, r.count - within);
    const int64_t first = r.fileOffset + within;
    SCOPED_TRACE("row " + std::to_string(r.row) + ", file byte " + std::to_string(first));
    const BatchResult result = CopyAll({r.position + within, false, -1, true}, true);
    ASSERT_EQ(result.outcomes.size(), disk.rows.rows.size());
    for (size_t i = 0; i < result.outcomes.size(); ++i) {
      const int row = result.rowsCopied[i];
      const CopyOutcome& o = result.outcomes[i];
      std::vector<uint8_t> want = expected[row];
      if (row == r.row) {
        EXPECT_EQ(o.status, CopyStatus::Failed);
        EXPECT_EQ(o.unreadableBytes, missing);
        EXPECT_NE(o.reason.find(std::to_string(missing) + " bytes could not be read"),
                  std::string::npos)
            << o.reason;
        std::fill_n(want.begin() + first, missing, uint8_t{0});
        const std::vector<uint8_t> list = Contents(o.path + ".unreadable.txt");
        const std::string range = std::to_string(first) + "-" + std::to_string(first + missing - 1);
        EXPECT_NE(std::string(list.begin(), list.end()).find(range), std::string::npos) << range;
      } else {
        EXPECT_EQ(o.status, CopyStatus::Downloaded) << o.reason;
      }
      EXPECT_TRUE(Contents(o.path) == want) << "row " << row;
    }
    EXPECT_EQ(Left().size(), disk.rows.rows.size() + 1);
  }
  EXPECT_EQ(test::FileChecksum(image), checksum) << "the disk image was changed";
}

TEST_F(FaultSweep, DestinationRefusingWritesFailsEveryRowItCannotHold) {
  const int64_t limits[] = {0,     1, 4096,  65535,    65536,    65537, 5000,        5001,
                            C - 1, C, C + 1, C + 1027, C + 4241, 2 * C, 2 * C + 9999};
  for (const bool full : {true, false}) {
    for (const int64_t limit : limits) {
      SCOPED_TRACE((full ? "full after " : "write error after ") + std::to_string(limit));
      const BatchResult result = CopyAll({-1, false, limit, full});
      std::map<int, std::string> failing;
      for (const auto& [row, bytes] : expected) {
        if (static_cast<int64_t>(bytes.size()) > limit)
          failing[row] = full ? "full" : "writing failed";
      }
      ExpectOnly(result, failing);
    }
  }
  EXPECT_EQ(test::FileChecksum(image), checksum) << "the disk image was changed";
}

}  // namespace
}  // namespace skelbrook
