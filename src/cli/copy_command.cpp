// skelbrook-cli copy: ticks the chosen rows and runs the same batch the window runs, drawing a
// progress line on stderr when it is a terminal.
#include "cli/copy_command.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "cli/console_text.h"
#include "cli/interrupt.h"
#include "cli/list_command.h"
#include "cli/verify_command.h"
#include "common/recent_rate.h"
#include "device/file_system.h"
#include "transfer/batch.h"

namespace skelbrook::cli {
namespace {

using Clock = std::chrono::steady_clock;

// This recording and the batch: percent, recent throughput and time left, redrawn in place.
class ProgressLine : public BatchObserver {
 public:
  ProgressLine(const std::vector<Recording>& recordings, const BatchCounters& counters,
               bool enabled)
      : recordings_(recordings), counters_(counters), enabled_(enabled) {}

  // Ctrl-C stops the batch at its next step; the .part is removed as for any stopped copy.
  bool keepGoing() override { return !Interrupted(); }
  void rowStarted(size_t row, int pass) override {
    // A rescue's retry pass says so: it goes over only what would not read, sector by sector.
    name_ = (pass == 2 ? "retrying " : "") + recordings_[row].rowText;
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
  void rowFinished(size_t, const CopyOutcome&) override { Clear(); }

 private:
  void Draw(bool force) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    rate_.Add(now, counters_.readBytes);
    const double rate = rate_.BytesPerSecond();
    const std::string left =
        DurationText(rate_.SecondsLeft(counters_.totalBytes - counters_.copiedBytes));
    std::string name = name_.size() > 40 ? name_.substr(0, 37) + "..." : name_;
    std::fprintf(stderr, "\r%-40s %3.0f%% | batch %3.0f%% | %6.1f MB/s | %s left ", name.c_str(),
                 task_, batch_, rate / 1e6, left.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }
  void Clear() {
    if (!enabled_ || !drawn_) return;
    std::fprintf(stderr, "\r%100s\r", "");
    std::fflush(stderr);
    drawn_ = false;
  }

  const std::vector<Recording>& recordings_;
  const BatchCounters& counters_;
  bool enabled_;
  RecentRate rate_;
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
// The copy's files (one, or its parts in order) are checked as one stream.
Verified VerifyCopy(const std::vector<std::string>& paths, const Recording& recording) {
  Verified v;
  if (Status s = CheckStreamFiles(paths, v.report); !s.ok()) {
    v.problems.push_back(s.message());
    return v;
  }
  if (!v.report.clean()) {
    v.problems.push_back("the copy is not a sound transport stream: " + StreamText(v.report));
  }
  const double catalogue = static_cast<double>(recording.endTime - recording.startTime);
  if (v.report.durationSeconds && !recording.unlisted && !recording.found &&
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

// The rows the options choose (indices), or the usage error they make.
std::optional<std::set<size_t>> ChooseRows(const CopyOptions& options,
                                           const std::vector<Recording>& recordings) {
  const int rowCount = static_cast<int>(recordings.size());
  std::set<size_t> chosen;
  for (const int row : options.rows) {
    if (row < 1 || row > rowCount) {
      std::cerr << "There is no row " << row << " (the disk lists " << rowCount << ").\n";
      return std::nullopt;
    }
    chosen.insert(static_cast<size_t>(row) - 1);
  }
  for (const int slot : options.slots) {
    bool found = false;
    for (size_t i = 0; i < recordings.size(); ++i) {
      if (recordings[i].slot != slot || recordings[i].found) continue;
      chosen.insert(i);
      found = true;
    }
    if (!found) {
      std::cerr << "No recording in slot " << slot << ".\n";
      return std::nullopt;
    }
  }
  const bool matchAlone = !options.match.empty() && options.rows.empty() && options.slots.empty();
  if (options.all || matchAlone) {
    for (size_t i = 0; i < recordings.size(); ++i) chosen.insert(i);
  }
  // --match narrows what the other options chose (or, alone, chooses from every row).
  if (!options.match.empty()) {
    std::set<size_t> matching;
    for (const size_t i : ShapeRows(recordings, ListShape{options.match, "", false})) {
      if (chosen.count(i) != 0) matching.insert(i);
    }
    chosen = matching;
  }
  return chosen;
}

// What one copied row tells the user: a line on stdout (or a JSON entry), and on stderr what a
// rescue could not read. Returns whether the row counts against the run.
bool ReportRow(const CopyOptions& options, const CopyJob& job, const Recording& recording,
               size_t row, const CopyOutcome& o, nlohmann::json& results) {
  // The name the copy has (a destination may have taken a plainer one).
  const std::string file = o.path.size() > job.destinationFolder.size()
                               ? o.path.substr(job.destinationFolder.size())
                               : recording.fileStem + ".ts";
  const bool ok = o.status == CopyStatus::Downloaded;
  // A copy in parts: each part's file, as the copy's is named.
  std::vector<std::string> paths, parts;
  for (const CopyPart& part : o.parts) {
    paths.push_back(part.path);
    parts.push_back(part.path.substr(std::min(part.path.size(), job.destinationFolder.size())));
  }
  if (paths.empty()) paths.push_back(o.path);
  std::optional<Verified> verified;
  if (ok && options.verify) verified = VerifyCopy(paths, recording);
  if (options.json) {
    nlohmann::json entry = {
        {"row", row + 1},
        {"slot", recording.found ? nlohmann::json() : nlohmann::json(recording.slot)},
        {"file", file},
        {"status", ok ? "downloaded" : "failed"},
        {"bytes", o.bytesWritten},
        {"reason", o.reason},
        {"unreadable_bytes", o.unreadableBytes},
        {"path", o.path},
        {"note", o.note},
        {"parts", parts.empty() ? nlohmann::json() : nlohmann::json(parts)}};
    if (verified) {
      entry["verify"] = StreamJson(verified->report);
      entry["problems"] = verified->problems;
    }
    results.push_back(entry);
  } else if (ok) {
    // One line per part of a copy in parts, the row's note after the first; the check of the
    // whole after the last.
    if (o.parts.empty()) {
      std::cout << "downloaded " << file << " " << o.bytesWritten
                << (o.note.empty() ? "" : " (" + o.note + ")") << "\n";
    }
    for (size_t k = 0; k < o.parts.size(); ++k) {
      std::cout << "downloaded " << parts[k] << " " << o.parts[k].bytes
                << (k > 0 || o.note.empty() ? "" : " (" + o.note + ")") << "\n";
    }
    if (verified) {
      std::cout << "  verified: " << StreamText(verified->report) << "\n";
      for (const std::string& p : verified->problems) std::cout << "  problem: " << p << "\n";
    }
  } else {
    std::cout << "failed " << file << ": " << o.reason << "\n";
  }
  // What a rescue could not read, in words, beside what the row says.
  if (o.unreadableBytes > 0) std::cerr << "Unreadable: " << file << ": " << o.note << "\n";
  // A copy that is not a sound stream fails the run as a failed row does.
  return !ok || (verified && !verified->problems.empty());
}

nlohmann::json DestinationJson(const VolumeInfo& volume) {
  const auto known = [](int64_t value) { return value >= 0 ? nlohmann::json(value) : nullptr; };
  return {{"file_system",
           volume.fileSystem.empty() ? nlohmann::json(nullptr) : nlohmann::json(volume.fileSystem)},
          {"free_bytes", known(volume.freeBytes)},
          {"max_file_bytes", known(volume.maxFileBytes)}};
}

}  // namespace

int RunCopy(const CopyOptions& options) {
  std::error_code ec;
  if (!std::filesystem::is_directory(PathFromUtf8(options.toDir), ec)) {
    std::cerr << "The destination folder " << options.toDir << " does not exist.\n";
    return kExitUsage;
  }
  Catalogue c;
  const ReadOptions read{options.unlisted, options.deep};
  const int readStatus = ReadDisk(options.driveText, c, read);
  if (!ListsRows(readStatus, read)) return readStatus;
  const std::optional<std::set<size_t>> chosen = ChooseRows(options, c.recordings);
  if (!chosen) return kExitUsage;
  if (chosen->empty() && !options.match.empty())
    std::cerr << "No recording chosen holds every word of \"" << options.match << "\".\n";

  BatchCounters counters;
  for (const size_t row : *chosen) {
    c.recordings[row].ticked = true;
    counters.totalBytes += c.recordings[row].media.size;
  }
  CopyJob job;
  job.driveText = options.driveText;
  job.destinationFolder = WithSeparator(options.toDir);
  job.geometry = &c.geometry;
  job.rescue = options.rescue;
  job.writeNfo = options.nfo;
  job.splitLarge = !options.noSplit;
  // What the copies go onto, before any is made: a FAT32 stick refuses the large ones.
  const VolumeInfo volume = QueryVolume(job.destinationFolder);
  if (!options.json)
    std::cout << "destination " << options.toDir << ": " << DescribeVolume(volume) << "\n";
  ProgressLine progress(c.recordings, counters, ErrorsGoToATerminal());
  CatchInterrupt(true);
  const BatchResult result = CopyTickedRecordings(c.recordings, job, counters, progress);
  CatchInterrupt(false);

  bool anyFailed = false;
  nlohmann::json results = nlohmann::json::array();
  for (size_t i = 0; i < result.outcomes.size(); ++i) {
    const size_t row = result.rows[i];
    anyFailed =
        ReportRow(options, job, c.recordings[row], row, result.outcomes[i], results) || anyFailed;
  }
  if (options.json) {
    nlohmann::json out{{"destination", DestinationJson(volume)},
                       {"results", results},
                       {"bytes_total", counters.totalBytes},
                       {"bytes_copied", counters.copiedBytes}};
    AddAccount(c.account, out);
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
  if (result.stopped) {
    std::cerr << "Stopped.\n";
    return kExitStopped;
  }
  return anyFailed ? kExitRowFailed : readStatus;
}

}  // namespace skelbrook::cli
