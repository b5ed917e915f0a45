// skelbrook-cli copy: ticks the chosen rows and runs the same batch the window runs, drawing a
// progress line on stderr when it is a terminal.
#include "cli/copy_command.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "cli/list_command.h"
#include "cli/verify_command.h"
#include "device/file_system.h"
#include "transfer/batch.h"

#ifdef _WIN32
#include <io.h>
#define SKELBROOK_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define SKELBROOK_ISATTY(fd) isatty(fd)
#endif

namespace skelbrook::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Ctrl-C asks the batch to stop at its next block; the .part is removed as for any stopped copy.
volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) {
  interrupted = 1;
}

// The throughput is measured over this much of the recent past, so that a disk that slows down
// shows at once in the rate and the time left.
constexpr std::chrono::seconds kRateWindow{10};

// This recording and the batch: percent, recent throughput and time left, redrawn in place.
class ProgressLine : public BatchObserver {
 public:
  ProgressLine(const RecordingRows& rows, const BatchCounters& counters, bool enabled)
      : rows_(rows), counters_(counters), enabled_(enabled) {}

  bool pump() override { return interrupted == 0; }
  void rowStarted(int row, int pass) override {
    // A rescue's retry pass says so: it goes over only what would not read, sector by sector.
    name_ = (pass == 2 ? "retrying " : "") + rows_.rows[static_cast<size_t>(row) - 1].text;
    task_ = 0;
    Draw(true);
  }
  void taskProgress(double percent) override {
    task_ = percent;
    Draw(false);
  }
  void batchProgress(double percent) override {
    batch_ = percent;
    Draw(false);
  }
  void rowFinished(int, const CopyOutcome&) override { Clear(); }

 private:
  // Bytes per second over the last kRateWindow; 0 until there are two samples.
  double RecentRate(Clock::time_point now) {
    samples_.push_back({now, counters_.BatchBytesCopied});
    while (samples_.size() > 2 && now - samples_[1].first >= kRateWindow) samples_.pop_front();
    const double seconds = std::chrono::duration<double>(now - samples_.front().first).count();
    const int64_t bytes = counters_.BatchBytesCopied - samples_.front().second;
    return seconds > 0 && bytes > 0 ? static_cast<double>(bytes) / seconds : 0;
  }

  void Draw(bool force) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    const double rate = RecentRate(now);
    const double left =
        rate > 0
            ? static_cast<double>(counters_.BatchBytesTotal - counters_.BatchBytesCopied) / rate
            : 0;
    const long leftSeconds = left > 0 ? static_cast<long>(left) : 0;
    std::string name = name_.size() > 40 ? name_.substr(0, 37) + "..." : name_;
    std::fprintf(stderr, "\r%-40s %3.0f%% | batch %3.0f%% | %6.1f MB/s | %ld:%02ld left ",
                 name.c_str(), task_, batch_, rate / 1e6, leftSeconds / 60, leftSeconds % 60);
    std::fflush(stderr);
    drawn_ = true;
  }
  void Clear() {
    if (!enabled_ || !drawn_) return;
    std::fprintf(stderr, "\r%100s\r", "");
    std::fflush(stderr);
    drawn_ = false;
  }

  const RecordingRows& rows_;
  const BatchCounters& counters_;
  bool enabled_;
  std::deque<std::pair<Clock::time_point, int64_t>> samples_;
  Clock::time_point lastDraw_{};
  std::string name_;
  double task_ = 0, batch_ = 0;
  bool drawn_ = false;
};

// A stream clock that disagrees with the catalogue's times by more than this is a problem.
constexpr double kLargestDurationGap = 60;

// The stream check of a finished copy, and what it finds wrong.
struct Verified {
  StreamReport report;
  std::vector<std::string> problems;
};
Verified VerifyCopy(const std::string& path, const ProgrammeTable& table, int slot) {
  Verified v;
  if (Status s = CheckStreamFile(path, v.report); !s.ok()) {
    v.problems.push_back(s.message());
    return v;
  }
  if (!v.report.clean()) {
    v.problems.push_back("the copy is not a sound transport stream: " + StreamText(v.report));
  }
  const double catalogue = static_cast<double>(table.ProgEnd[slot] - table.ProgStart[slot]);
  if (v.report.durationSeconds && !table.ProgUnlisted[slot] &&
      std::abs(*v.report.durationSeconds - catalogue) > kLargestDurationGap) {
    v.problems.push_back(
        "the stream's clock spans " + std::to_string(std::lround(*v.report.durationSeconds)) +
        " s but the catalogue's times " + std::to_string(std::lround(catalogue)) + " s");
  }
  return v;
}

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != FolderSeparator() && folder.back() != '/') {
    folder.push_back(FolderSeparator());
  }
  return folder;
}

}  // namespace

int RunCopy(const CopyOptions& options) {
  std::error_code ec;
  if (!std::filesystem::is_directory(PathFromUtf8(options.toDir), ec)) {
    std::cerr << "The destination folder " << options.toDir << " does not exist.\n";
    return kExitUsage;
  }
  Catalogue c;
  const int readStatus = ReadDisk(options.driveText, c, options.unlisted);
  if (!ListsRows(readStatus, options.unlisted)) return readStatus;

  const int rowCount = static_cast<int>(c.rows.rows.size());
  std::set<int> chosen;
  for (const int row : options.rows) {
    if (row < 1 || row > rowCount) {
      std::cerr << "There is no row " << row << " (the disk lists " << rowCount << ").\n";
      return kExitUsage;
    }
    chosen.insert(row);
  }
  for (const int slot : options.slots) {
    bool found = false;
    for (int row = 1; row <= rowCount; ++row) {
      if (c.table.RowSlot[static_cast<size_t>(row)] == slot) {
        chosen.insert(row);
        found = true;
      }
    }
    if (!found) {
      std::cerr << "No recording in slot " << slot << ".\n";
      return kExitUsage;
    }
  }
  if (options.all) {
    for (int row = 1; row <= rowCount; ++row) chosen.insert(row);
  }

  BatchCounters counters;
  for (const int row : chosen) {
    c.rows.rows[static_cast<size_t>(row) - 1].ticked = true;
    counters.BatchBytesTotal += c.table.ProgFileSize[c.table.RowSlot[static_cast<size_t>(row)]];
  }
  CopyJob job;
  job.driveText = options.driveText;
  job.destinationFolder = WithSeparator(options.toDir);
  job.geometry = &c.geometry;
  job.table = &c.table;
  job.rescue = options.rescue;
  job.writeNfo = options.nfo;
  // What the copies go onto, before any is made: a FAT32 stick refuses the large ones.
  const VolumeInfo volume = QueryVolume(job.destinationFolder);
  if (!options.json)
    std::cout << "destination " << options.toDir << ": " << DescribeVolume(volume) << "\n";
  ProgressLine progress(c.rows, counters, SKELBROOK_ISATTY(2) != 0);
  std::signal(SIGINT, OnInterrupt);
  const BatchResult result = CopyTickedRecordings(c.rows, job, counters, progress);
  std::signal(SIGINT, SIG_DFL);

  bool anyFailed = false;
  bool anyProblem = false;
  nlohmann::json results = nlohmann::json::array();
  for (size_t i = 0; i < result.outcomes.size(); ++i) {
    const CopyOutcome& o = result.outcomes[i];
    const int row = result.rowsCopied[i];
    const int slot = c.table.RowSlot[static_cast<size_t>(row)];
    // The name the copy has (a destination may have taken a plainer one).
    const std::string file = o.path.size() > job.destinationFolder.size()
                                 ? o.path.substr(job.destinationFolder.size())
                                 : c.table.ProgFileName[slot] + ".ts";
    const bool ok = o.status == CopyStatus::Downloaded;
    anyFailed = anyFailed || !ok;
    std::optional<Verified> verified;
    if (ok && options.verify) verified = VerifyCopy(o.path, c.table, slot);
    anyProblem = anyProblem || (verified && !verified->problems.empty());
    if (options.json) {
      nlohmann::json entry = {{"row", row},
                              {"slot", slot},
                              {"file", file},
                              {"status", ok ? "downloaded" : "failed"},
                              {"bytes", o.bytesWritten},
                              {"reason", o.reason},
                              {"unreadable_bytes", o.unreadableBytes},
                              {"path", o.path},
                              {"note", o.note}};
      if (verified) {
        entry["verify"] = StreamJson(verified->report);
        entry["problems"] = verified->problems;
      }
      results.push_back(entry);
    } else if (ok) {
      std::cout << "downloaded " << file << " " << o.bytesWritten
                << (o.note.empty() ? "" : " (" + o.note + ")") << "\n";
      if (verified) {
        std::cout << "  verified: " << StreamText(verified->report) << "\n";
        for (const std::string& p : verified->problems) std::cout << "  problem: " << p << "\n";
      }
    } else {
      std::cout << "failed " << file << ": " << o.reason << "\n";
    }
    // What a rescue could not read, in words, beside what the row says.
    if (o.unreadableBytes > 0) std::cerr << "Unreadable: " << file << ": " << o.note << "\n";
  }
  if (options.json) {
    const auto known = [](int64_t value) { return value >= 0 ? nlohmann::json(value) : nullptr; };
    nlohmann::json out{
        {"destination",
         {{"file_system",
           volume.fileSystem.empty() ? nlohmann::json(nullptr) : nlohmann::json(volume.fileSystem)},
          {"free_bytes", known(volume.freeBytes)},
          {"max_file_bytes", known(volume.maxFileBytes)}}},
        {"results", results},
        {"bytes_total", counters.BatchBytesTotal},
        {"bytes_copied", counters.BatchBytesCopied}};
    AddAccount(c.account, out);
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
  if (result.stopped) {
    std::cerr << "Stopped.\n";
    return kExitStopped;
  }
  // A copy that is not a sound stream fails the run as a failed row does.
  return anyFailed || anyProblem ? kExitRowFailed : readStatus;
}

}  // namespace skelbrook::cli
