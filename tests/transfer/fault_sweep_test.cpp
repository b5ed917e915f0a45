// Failures injected across the whole copy of a batch: in turn, every read the copy makes of the
// recorder disk fails (outright, short, or in one sector with rescue on). Whatever fails, only
// the row it hits is "failed", with a reason; no final name ever holds anything but a complete,
// correct copy; every other row is copied exactly and counted; nothing else is left in the folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/copy_support.h"
#include "transfer/rescue_map.h"

namespace skelbrook::test {
namespace {

// One read the copy makes: where on the disk, how long, and where its bytes go in the file.
struct PlannedRead {
  size_t row;
  int64_t position, count, fileOffset;
};

class FaultSweep : public CopyFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(WriteUsualDisk());
    for (size_t i = 0; i < copied.size(); ++i) {
      Plan(i, design.recordings[i]);
      want.push_back(Expected(i, copied[i]));
    }
  }

  // Six blocks per cluster, then what is left in the cluster that holds the end (only when that
  // is more than 1,024 bytes), read as whole 4-byte groups; clusters past the size are not read.
  void Plan(size_t row, const mkimage::ImageRecording& r) {
    int64_t done = 0;
    for (size_t k = 0; k < r.clusters.size(); ++k, done += C) {
      const int64_t at = disk.geometry.dataOffset + r.clusters[k] * C;
      if (done >= r.size) {
        unread.push_back(at);
      } else if (k + 1 < r.clusters.size() && r.size - done > C) {
        for (int64_t block = 0; block < 6; ++block) {
          reads.push_back(
              {row, at + block * 65536, block < 5 ? 65536 : 57344, done + block * 65536});
        }
      } else if (r.size - done > 1024) {
        reads.push_back({row, at, (r.size - done + 3) / 4 * 4, done});
      } else {
        unread.push_back(at);  // the dropped tail's cluster is never read
      }
    }
  }

  // Every row not in `failing` was copied exactly and counted; the rows in it failed with a
  // reason containing the text given, stay ticked and left no file.
  void ExpectOnly(const BatchResult& result, const std::map<size_t, std::string>& failing) {
    ASSERT_EQ(result.outcomes.size(), want.size());
    std::set<std::string> wanted;
    int64_t counted = 0;
    for (size_t i = 0; i < result.outcomes.size(); ++i) {
      const CopyOutcome& o = result.outcomes[i];
      const auto fails = failing.find(result.rows[i]);
      SCOPED_TRACE("row " + std::to_string(result.rows[i]));
      if (fails == failing.end()) {
        ASSERT_EQ(o.status, CopyStatus::Downloaded) << o.reason;
        EXPECT_EQ(disk.recordings[i].icon, RowIcon::Downloaded);
        EXPECT_TRUE(ReadWholeFile(o.path) == want[i]) << "the copy differs from the recording";
        wanted.insert(Name(result.rows[i]));
        counted += copied[i];
      } else {
        EXPECT_EQ(o.status, CopyStatus::Failed);
        EXPECT_TRUE(o.readFailure);  // the disk's fault, which a rescue works around
        EXPECT_EQ(disk.recordings[i].icon, RowIcon::Failed);
        EXPECT_TRUE(disk.recordings[i].ticked);
        EXPECT_NE(o.reason.find(fails->second), std::string::npos) << o.reason;
      }
    }
    EXPECT_EQ(counters.copiedBytes, counted) << "a failed copy is not counted";
    EXPECT_EQ(Left(), wanted);
  }

  std::vector<PlannedRead> reads;
  std::vector<int64_t> unread;
  std::vector<std::vector<uint8_t>> want;
};

TEST_F(FaultSweep, EachFailingReadFailsOnlyItsOwnRow) {
  ASSERT_EQ(reads.size(), 54u);
  for (const PlannedRead& r : reads) {
    // Outright failure of the whole read; a read that stops short before its last sector.
    const int64_t lastSector = r.position + (r.count - 1) / kSectorSize * kSectorSize;
    for (const auto& [shortRead, failAt] :
         {std::pair{false, r.position}, std::pair{true, lastSector}}) {
      SCOPED_TRACE((shortRead ? "short read at " : "failed read at ") + std::to_string(failAt));
      ExpectOnly(CopyAll(Job(false, FailingAt({{failAt, 1}}, shortRead))),
                 {{r.row, "cannot read the recorder disk at byte " + std::to_string(failAt)}});
    }
  }
  for (const int64_t at : unread) {
    SCOPED_TRACE("unread cluster at " + std::to_string(at));
    ExpectOnly(CopyAll(Job(false, FailingAt({{at + 1000, 1}}))), {});
  }
}

TEST_F(FaultSweep, RescueZeroesExactlyTheFailingSectorWhereverItLies) {
  for (const PlannedRead& r : reads) {
    const int64_t within = r.count / 2 / kSectorSize * kSectorSize;
    const int64_t first = r.fileOffset + within;
    const int64_t missing =
        std::min<int64_t>(kSectorSize, static_cast<int64_t>(want[r.row].size()) - first);
    SCOPED_TRACE("row " + std::to_string(r.row) + ", file byte " + std::to_string(first));
    const BatchResult result = CopyAll(Job(true, FailingAt({{r.position + within, 1}}, false)));
    ASSERT_EQ(result.outcomes.size(), want.size());
    for (size_t i = 0; i < result.outcomes.size(); ++i) {
      const CopyOutcome& o = result.outcomes[i];
      std::vector<uint8_t> expected = want[i];
      if (result.rows[i] == r.row) {
        EXPECT_EQ(o.status, CopyStatus::KeptIncomplete);
        EXPECT_EQ(o.unreadableBytes, missing);
        EXPECT_NE(o.reason.find(std::to_string(missing) + " bytes could not be read"),
                  std::string::npos)
            << o.reason;
        std::fill_n(expected.begin() + first, missing, uint8_t{0});
        // The copy keeps its working name, and its map has exactly the lost sector as bad.
        EXPECT_TRUE(o.path.ends_with(".incomplete.ts")) << o.path;
        const std::vector<uint8_t> text = ReadWholeFile(o.path + ".map");
        const std::optional<RescueMap> map = RescueMap::Parse(
            std::string(text.begin(), text.end()), static_cast<int64_t>(expected.size()));
        ASSERT_TRUE(map.has_value());
        std::vector<std::pair<int64_t, int64_t>> bad;
        for (const MapArea& a : map->Areas()) {
          if (a.status != kFinished) bad.emplace_back(a.pos, a.size);
        }
        EXPECT_EQ(bad, (std::vector<std::pair<int64_t, int64_t>>{{first, missing}}));
      } else {
        EXPECT_EQ(o.status, CopyStatus::Downloaded) << o.reason;
      }
      EXPECT_TRUE(ReadWholeFile(o.path) == expected) << "row " << result.rows[i];
    }
    EXPECT_EQ(Left().size(), want.size() + 1);
  }
}

}  // namespace
}  // namespace skelbrook::test
