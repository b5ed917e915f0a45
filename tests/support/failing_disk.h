// A recorder disk that fails where a dying one would, and a destination that fills up: the real
// image read and the real file written through the real device layer, with chosen bytes that
// will not read and a chosen point where writing stops.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/disk_reader.h"
#include "device/output_file.h"

namespace skelbrook::test {

inline constexpr const char* kIoErrorText = "Input/output error";

// Byte ranges [first, first + count) of the disk that will not read.
using BadBytes = std::vector<std::pair<int64_t, int64_t>>;

class FailingDisk : public DiskReader {
 public:
  // With `shortReads` a read delivers the sectors before the first bad one, as a disk does;
  // otherwise a read that meets a bad byte delivers nothing.
  FailingDisk(std::unique_ptr<DiskReader> real, BadBytes bad, bool shortReads)
      : real_(std::move(real)), bad_(std::move(bad)), shortReads_(shortReads) {}

  int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    int64_t firstBad = offset + count;
    for (const auto& [first, length] : bad_) {
      if (first < offset + count && offset < first + length)
        firstBad = std::min(firstBad, std::max(first, offset));
    }
    if (firstBad == offset + count) return real_->ReadAt(offset, into, count, error);
    const int64_t good = shortReads_ ? (firstBad - offset) / kSectorSize * kSectorSize : 0;
    const int64_t got = good > 0 ? real_->ReadAt(offset, into, good, error) : 0;
    error = kIoErrorText;
    return got;
  }
  int64_t SizeBytes() const override { return real_->SizeBytes(); }

 private:
  std::unique_ptr<DiskReader> real_;
  BadBytes bad_;
  bool shortReads_;
};

inline DiskOpener FailingAt(BadBytes bad, bool shortReads = true) {
  return [bad, shortReads](const std::string& path, std::unique_ptr<DiskReader>& disk) {
    std::unique_ptr<DiskReader> real;
    Status s = OpenRawDisk(path, real);
    if (s.ok()) disk = std::make_unique<FailingDisk>(std::move(real), bad, shortReads);
    return s;
  };
}

// A disk that takes `delay` over every read at or past `from` (until `until`), as a failing disk
// does over a bad sector: the read blocks, however long the user waits.
class SlowDisk : public DiskReader {
 public:
  SlowDisk(std::unique_ptr<DiskReader> real, std::chrono::milliseconds delay, int64_t from,
           int64_t until)
      : real_(std::move(real)), delay_(delay), from_(from), until_(until) {}
  int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    if (offset >= from_ && offset < until_) std::this_thread::sleep_for(delay_);
    return real_->ReadAt(offset, into, count, error);
  }
  int64_t SizeBytes() const override { return real_->SizeBytes(); }

 private:
  std::unique_ptr<DiskReader> real_;
  std::chrono::milliseconds delay_;
  int64_t from_, until_;
};

inline DiskOpener Slow(std::chrono::milliseconds delay, int64_t from = 0,
                       int64_t until = INT64_MAX) {
  return [=](const std::string& path, std::unique_ptr<DiskReader>& disk) {
    std::unique_ptr<DiskReader> real;
    Status s = OpenRawDisk(path, real);
    if (s.ok()) disk = std::make_unique<SlowDisk>(std::move(real), delay, from, until);
    return s;
  };
}

// One read the copy asked of the disk, and how many bytes came in.
struct DiskRead {
  int64_t offset = 0, count = 0, delivered = 0;
};

// The disk as it is, with every read it serves written down in `log`.
class WatchedDisk : public DiskReader {
 public:
  WatchedDisk(std::unique_ptr<DiskReader> real, std::shared_ptr<std::vector<DiskRead>> log)
      : real_(std::move(real)), log_(std::move(log)) {}
  int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    return Logged(offset, count, real_->ReadAt(offset, into, count, error));
  }
  int64_t ReadUncached(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    return Logged(offset, count, real_->ReadUncached(offset, into, count, error));
  }
  int64_t SizeBytes() const override { return real_->SizeBytes(); }

 private:
  int64_t Logged(int64_t offset, int64_t count, int64_t delivered) {
    log_->push_back({offset, count, delivered});
    return delivered;
  }
  std::unique_ptr<DiskReader> real_;
  std::shared_ptr<std::vector<DiskRead>> log_;
};

// Opens through `inner` (the raw image when empty) and watches every read into `log`.
inline DiskOpener Watched(std::shared_ptr<std::vector<DiskRead>> log, DiskOpener inner = {}) {
  return [log, inner](const std::string& path, std::unique_ptr<DiskReader>& disk) {
    std::unique_ptr<DiskReader> real;
    Status s = inner ? inner(path, real) : OpenRawDisk(path, real);
    if (s.ok()) disk = std::make_unique<WatchedDisk>(std::move(real), log);
    return s;
  };
}

// A destination file that takes `limit` bytes and then refuses, as full or with an I/O error.
class RefusingFile : public OutputFile {
 public:
  RefusingFile(int64_t limit, bool full) : limit_(limit), full_(full) {}
  Status Write(const uint8_t* data, int64_t count) override {
    const int64_t allowed = std::clamp<int64_t>(limit_ - BytesWritten(), 0, count);
    if (Status s = OutputFile::Write(data, allowed); !s.ok()) return s;
    if (allowed == count) return Status::Ok();
    return Status::Error(full_ ? kDestinationFullText : "writing failed: Input/output error");
  }

 private:
  int64_t limit_;
  bool full_;
};

inline std::function<std::unique_ptr<OutputFile>()> RefusingAfter(int64_t limit, bool full = true) {
  return [limit, full] { return std::make_unique<RefusingFile>(limit, full); };
}

}  // namespace skelbrook::test
