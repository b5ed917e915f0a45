#include "session/session_fixture.h"

#include <algorithm>
#include <filesystem>

namespace skelbrook::test {
namespace {

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

}  // namespace

mk::ImageDesign FourRecordings() {
  std::string error;
  const std::optional<mk::ImageDesign> design = mk::DesignFromJson(R"({"recordings": [
      {"slot": 3, "title": "Morning Show", "channel": "ONE", "start": 1709623800,
       "end": 1709626500, "size": 780048, "description": "Breakfast and the news.", "seed": 31},
      {"slot": 11, "title": "Film: Night Train", "channel": "Seven", "start": 1732223100,
       "end": 1732228800, "size": 390024, "description": "A thriller on rails.", "seed": 32},
      {"slot": 7, "title": "Late News", "channel": "ABC1", "start": 1709681400,
       "end": 1709682300, "size": 389024, "seed": 33},
      {"slot": 15, "title": "Long Film", "channel": "ONE", "start": 1709700000,
       "end": 1709736000, "size": 5000000001, "clusters": [100], "description": "All night.",
       "seed": 34}]})",
                                                                   error);
  EXPECT_TRUE(design.has_value()) << error;
  return design.value_or(mk::ImageDesign{});
}

DiskOpener Slow(std::chrono::milliseconds delay, int64_t from, int64_t until) {
  return [=](const std::string& path, std::unique_ptr<DiskReader>& disk) {
    std::unique_ptr<DiskReader> real;
    Status s = OpenRawDisk(path, real);
    if (s.ok()) disk = std::make_unique<SlowDisk>(std::move(real), delay, from, until);
    return s;
  };
}

std::string SessionTest::Marks() const {
  std::string marks;
  for (const session::RowView& r : view.rows) {
    if (!marks.empty()) marks += ", ";
    marks += std::string(r.ticked ? "x " : "- ") + IconKey(r.icon);
  }
  return marks;
}

std::vector<std::string> SessionTest::DestFiles() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(PathFromUtf8(dest.path())))
    names.push_back(Utf8FromPath(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace skelbrook::test
