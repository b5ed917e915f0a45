// A disk with every one of its 254 slots recorded and 300 lost recordings found by a search of the
// whole disk: how long the session takes to list it (against the core reading the same catalogue
// alone), to put the list in a column's order, and to show what a search keeps at each key the
// user types. Each should be well under the 50 ms a person notices.
// Run: build/release/bench/skelbrook_bench_list
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>

#include "mkimage/image_writer.h"
#include "session/session.h"

namespace {

namespace mk = skelbrook::mkimage;
namespace session = skelbrook::session;

constexpr int kSlots = 254;     // 2 to 255
constexpr int kLostOnes = 300;  // one cluster each, found by their content
constexpr int64_t kCluster = 385024;

// A window that shows nothing and runs the calls handed to it when asked.
class QuietView : public session::View {
 public:
  void Post(std::function<void()> call) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
  }
  void ShowScreen(const session::Screen&) override {}
  void ShowRows(const std::vector<session::RowView>& rows) override { shown = rows.size(); }
  void ShowRow(const session::RowView&) override {}
  void ShowDisks(const std::vector<session::DiskChoice>&) override {}
  void FocusList() override {}
  bool AskYesNo(const std::string&) override { return false; }
  void ShowFatalMessage(const std::string&) override {}
  std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
  void EndProgram(int) override {}
  void WorkEnded(session::Work work) override { ended = work == session::Work::ReadList; }
  // Runs the calls handed to the window until a list read has ended.
  void RunUntilListed() {
    ended = false;
    while (!ended) {
      std::function<void()> call;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!calls_.empty()) {
          call = std::move(calls_.front());
          calls_.pop_front();
        }
      }
      if (call) {
        call();
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    }
  }
  size_t shown = 0;
  bool ended = false;

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
};

const char* const kTitles[] = {"News", "Film: ", "Gardening ", "Café Society ", "Late Show "};
const char* const kChannels[] = {"ABC1", "SBS", "Seven", "Nine", "Ten"};

std::string Disk() {
  static const std::string path = [] {
    mk::ImageDesign design;
    design.mediaFatEntries = kSlots + kLostOnes + 64;
    for (int slot = 2; slot < 2 + kSlots; ++slot) {
      mk::ImageRecording r;
      r.slot = slot;
      r.title = std::string(kTitles[slot % 5]) + std::to_string(slot);
      r.channel = kChannels[slot % 5];
      r.start = 1600000000u + 3600u * static_cast<uint32_t>((slot * 7919) % 5000);
      r.end = r.start + 1800;
      r.description = "Episode " + std::to_string(slot) + " of the series, repeated.";
      r.size = kCluster - 1000 - slot;
      r.seed = static_cast<uint32_t>(slot);
      design.recordings.push_back(r);
    }
    for (int k = 0; k < kLostOnes; ++k) {
      mk::ImageRecording lost;
      lost.stream = mk::StreamDesign{};
      lost.stream->firstPcr = int64_t{90000} * 100000 * (k + 1);  // clocks far apart: separate
      lost.stream->time = 1700000000 + 7200 * k;
      lost.stream->eventName = "Lost " + std::to_string(k);
      lost.size = 1000 * 188;
      lost.clusters = {kSlots + 8 + k};
      lost.withMediaFile = lost.withRecord = lost.inTable = false;
      lost.seed = static_cast<uint32_t>(1000 + k);
      design.recordings.push_back(lost);
    }
    // Written afresh each run: one left by another version of this design would mislead.
    const std::string image =
        (std::filesystem::temp_directory_path() / "skelbrook-bench-list.img").string();
    std::filesystem::remove(image);
    const auto written = mk::WriteImage(design, image);
    if (!written.ok()) {
      std::fprintf(stderr, "cannot write %s: %s\n", image.c_str(), written.message().c_str());
      std::exit(1);
    }
    return image;
  }();
  return path;
}

// A session on the disk, its list read (with the search of the whole disk when `deep`).
struct Listed {
  explicit Listed(bool deep)
      : home(std::filesystem::temp_directory_path() / "skelbrook-bench-home"),
        s(view, {Prepare(home), ""}) {
    if (deep) s.SetOption(session::OptionBox::Deep, true);
    s.SetDriveText(Disk());
    s.ReadList();
    view.RunUntilListed();
  }
  static std::string Prepare(const std::filesystem::path& home) {
    std::filesystem::create_directories(home);
    return home.string();
  }
  std::filesystem::path home;
  QuietView view;
  session::Session s;
};

// The baseline: the same catalogue read by the core alone, with no window or session around it.
void BM_ReadTheCatalogueAlone(benchmark::State& state) {
  const std::string disk = Disk();
  for (auto _ : state) {
    skelbrook::Catalogue catalogue;
    skelbrook::CatalogueObserver quiet;
    const auto result = skelbrook::ReadCatalogue(disk, {}, catalogue, nullptr, quiet);
    if (result != skelbrook::CatalogueResult::Listed || catalogue.recordings.size() != kSlots)
      state.SkipWithError("the catalogue did not read");
  }
}

// Reading the catalogue of 254 records and showing them, from the press of the button on.
void BM_ListIntoTheSession(benchmark::State& state) {
  Disk();
  for (auto _ : state) {
    Listed listed(false);
    if (listed.view.shown != kSlots) state.SkipWithError("the list is not all there");
  }
}

// Putting the whole list (254 rows and 300 found) in a column's order, and back.
void BM_SortTheList(benchmark::State& state) {
  static Listed listed(true);
  const auto key = static_cast<skelbrook::SortKey>(state.range(0));
  for (auto _ : state) listed.s.SortBy(key);
  state.counters["rows"] = static_cast<double>(listed.view.shown);
}

// A word typed into the search box, one key at a time, and cleared again: each key shows what
// the search keeps.
void BM_SearchAtEachKey(benchmark::State& state) {
  static Listed listed(true);
  const std::string word = "gardening episode";
  for (auto _ : state) {
    for (size_t n = 1; n <= word.size(); ++n) listed.s.SetSearch(word.substr(0, n));
    listed.s.SetSearch("");
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(word.size() + 1));
}

}  // namespace

BENCHMARK(BM_ReadTheCatalogueAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListIntoTheSession)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortTheList)
    ->Arg(static_cast<int>(skelbrook::SortKey::Name))
    ->Arg(static_cast<int>(skelbrook::SortKey::Size))
    ->Arg(static_cast<int>(skelbrook::SortKey::Start))
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchAtEachKey)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
