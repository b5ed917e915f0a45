// A reader in front of the recorder disk that notes when each read starts and ends.
#include "session/read_watch.h"

namespace skelbrook::session {
namespace {

class WatchedReader : public DiskReader {
 public:
  WatchedReader(std::unique_ptr<DiskReader> real, std::shared_ptr<ReadWatch> watch)
      : real_(std::move(real)), watch_(std::move(watch)) {}

  int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    Timed timed(*watch_);
    return real_->ReadAt(offset, into, count, error);
  }
  int64_t ReadUncached(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    Timed timed(*watch_);
    return real_->ReadUncached(offset, into, count, error);
  }
  int64_t SizeBytes() const override { return real_->SizeBytes(); }
  int64_t SectorSize() const override { return real_->SectorSize(); }

 private:
  struct Timed {
    explicit Timed(ReadWatch& w) : watch(w) { watch.Started(ReadWatch::Clock::now()); }
    ~Timed() { watch.Ended(); }
    ReadWatch& watch;
  };
  std::unique_ptr<DiskReader> real_;
  std::shared_ptr<ReadWatch> watch_;
};

}  // namespace

ReadWatch::Clock::duration ReadWatch::Waiting(Clock::time_point now) const {
  const Clock::rep since = since_;
  if (since == 0) return {};
  return now - Clock::time_point(Clock::duration(since));
}

DiskOpener WatchReads(DiskOpener inner, std::shared_ptr<ReadWatch> watch) {
  return [inner = std::move(inner), watch = std::move(watch)](const std::string& path,
                                                              std::unique_ptr<DiskReader>& disk) {
    std::unique_ptr<DiskReader> real;
    Status s = inner ? inner(path, real) : OpenRawDisk(path, real);
    if (s.ok()) disk = std::make_unique<WatchedReader>(std::move(real), watch);
    return s;
  };
}

}  // namespace skelbrook::session
