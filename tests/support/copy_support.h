// The common ground of the copy tests: a recorder disk image from the image writer, made
// read-only and watched, so that every copy test also shows the disk is never written; its
// catalogue read back; a destination folder; and the bytes a copy must hold.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "support/failing_disk.h"
#include "support/test_support.h"
#include "transfer/batch.h"

namespace skelbrook::test {

inline constexpr int64_t C = kMediaClusterSize;

// What a copy told its front end: the keepGoing() calls (stopping at a chosen one) and both bars.
class ProgressLog : public BatchObserver {
 public:
  bool keepGoing() override { return ++checks != stopAtCheck; }
  void taskProgress(double p) override { task.push_back(p); }
  void batchProgress(double p) override { batch.push_back(p); }
  int checks = 0;
  int stopAtCheck = -1;
  std::vector<double> task, batch;
};

class CopyFixture : public ::testing::Test {
 protected:
  // Writes the image read-only, starts watching it for writes and lists it.
  void WriteDisk(mkimage::ImageDesign description);
  // The disk most copy tests use, one recording per row in this order: three-cluster chains
  // ending in tails of 10,000, 1,024 and 1,025 bytes, two whole clusters, a chain out of order,
  // a recording on one cluster, one whose only tail is dropped, and a chain longer than its size.
  // `copied[row]` is the length its copy must have.
  void WriteUsualDisk();
  // The image has the same bytes and mode as when written, and was never opened for writing.
  void TearDown() override;

  CopyJob Job(bool rescue = false, const DiskOpener& openDisk = {}) const;
  // Empties the job's folder, ticks every row and copies them as a batch into `counters` and `log`.
  BatchResult CopyAll(const CopyJob& job, int stopAtCheck = -1);
  // Rows are indices into disk.recordings.
  std::string Name(size_t row) const;  // the row's file name
  std::string Output(size_t row) const { return out.file(Name(row)); }
  // The first `length` bytes of the row's recording, in natural order.
  std::vector<uint8_t> Expected(size_t row, int64_t length) const;
  // The names in `folder` (the destination folder when empty).
  std::set<std::string> Left(const std::string& folder = "") const;

  TempDir dir, out;
  mkimage::ImageDesign design;
  std::string image;
  ReadBack disk;
  std::vector<int64_t> copied;
  BatchCounters counters;
  ProgressLog log;

 private:
  uint64_t checksum_ = 0;
  int watch_ = -1;  // inotify descriptor watching the image (Linux)
};

}  // namespace skelbrook::test
