// skelbrook-cli list: one line per recording, or JSON.
#include "cli/list_command.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "catalogue/clock.h"
#include "catalogue/search.h"
#include "catalogue/text.h"
#include "cli/console_text.h"
#include "cli/interrupt.h"
#include "common/recent_rate.h"
#include "recovery/lost_recordings.h"
#include "transfer/copy.h"

namespace skelbrook::cli {

namespace {

// The search's progress on stderr, redrawn in place: percent, recent throughput and time left.
class SearchLine : public WorkObserver {
 public:
  explicit SearchLine(bool enabled) : enabled_(enabled) {}
  ~SearchLine() override {
    if (drawn_) std::fprintf(stderr, "\r%100s\r", "");
  }
  bool keepGoing() override { return !Interrupted(); }
  void scanProgress(int64_t read, int64_t toRead) override {
    const auto now = RecentRate::Clock::now();
    rate_.Add(now, read);
    if (!enabled_ || now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    const std::string left = DurationText(rate_.SecondsLeft(toRead - read));
    std::fprintf(stderr, "\r%-40s %3.0f%% | %6.1f MB/s | %s left ",
                 "searching the disk for lost recordings", Percent(read, toRead),
                 rate_.BytesPerSecond() / 1e6, left.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  bool enabled_;
  bool drawn_ = false;
  RecentRate rate_;
  RecentRate::Clock::time_point lastDraw_{};
};

// Searches the recognised disk of `catalogue` for lost recordings; false when Ctrl-C stopped it.
bool SearchDisk(const std::string& driveText, Catalogue& catalogue) {
  SearchLine line(ErrorsGoToATerminal());
  CatchInterrupt(true);
  const Status searched = SearchForLostRecordings(driveText, {}, catalogue, line);
  CatchInterrupt(false);
  if (searched.stopped()) return false;
  if (!searched.ok()) {
    catalogue.account.problems.push_back("the search for lost recordings failed: " +
                                         searched.message());
  }
  return true;
}

}  // namespace

int ReadDisk(const std::string& driveText, Catalogue& catalogue, const ReadOptions& options) {
  CatalogueObserver quiet;
  const CatalogueResult result =
      ReadCatalogue(driveText, {}, catalogue, nullptr, quiet, options.unlisted);
  const bool stopped = options.deep && catalogue.geometry.recognised &&
                       result != CatalogueResult::Stopped && !SearchDisk(driveText, catalogue);
  for (const UnreadableRange& r : catalogue.account.unreadable)
    std::cerr << "Unreadable: " << Describe(r) << "\n";
  for (const std::string& p : catalogue.account.problems) std::cerr << "Problem: " << p << "\n";
  if (stopped) {
    std::cerr << "Stopped.\n";
    return kExitStopped;
  }
  switch (result) {
    case CatalogueResult::NotRecognised:
      std::cerr << kNotRecognisedText << "\n" << catalogue.rejection << "\n";
      return kExitNotRecognised;
    case CatalogueResult::RecordListNotFound:
      std::cerr << "Cannot locate _RECORD_LIST_ on " << catalogue.path << "\n";
      return kExitNoRecordList;
    case CatalogueResult::Unreadable:
      std::cerr << catalogue.account.failure << "\n";
      return kExitReadInPart;
    case CatalogueResult::Listed:
    case CatalogueResult::Stopped:
      break;
  }
  return ReadInPart(catalogue.account) ? kExitReadInPart : kExitOk;
}

void AddAccount(const CatalogueAccount& account, nlohmann::json& out) {
  nlohmann::json unreadable = nlohmann::json::array();
  for (const UnreadableRange& r : account.unreadable) {
    unreadable.push_back(
        {{"area", r.area}, {"first_byte", r.firstByte}, {"bytes", r.bytes}, {"error", r.error}});
  }
  out["unreadable"] = unreadable;
  out["problems"] = account.problems;
}

bool ListsRows(int readStatus, const ReadOptions& options) {
  return readStatus == kExitOk || readStatus == kExitReadInPart ||
         ((options.unlisted || options.deep) && readStatus == kExitNoRecordList);
}

namespace {

// A found recording's row of `list --json`: what the search found of it.
nlohmann::json FoundJson(const Recording& r, size_t row) {
  return {
      {"found", true},
      {"row", row},
      {"file", r.fileStem + ".ts"},
      {"size", r.media.size},
      {"first_byte", r.media.offset},
      {"clusters", r.clusters.size()},
      {"duration_s", r.durationSeconds},
      {"start", r.startTime > 0 ? nlohmann::json(IsoTime(r.startTime)) : nlohmann::json(nullptr)},
      {"title", r.title},
      {"how", r.how},
      {"slot", nullptr}};
}

// One row of `list --json`; `row` counts from 1.
nlohmann::json RecordingJson(const Recording& r, size_t row) {
  if (r.found) return FoundJson(r, row);
  const auto time = [&](int64_t seconds) {
    return r.unlisted ? nlohmann::json(nullptr) : nlohmann::json(IsoTime(seconds));
  };
  return {{"row", row},
          {"slot", r.slot},
          {"row_text", r.rowText},
          {"file", r.fileStem + ".ts"},
          {"channel_time", r.channelAndTimes},
          {"size", r.media.size},
          {"size_text", r.sizeText},
          {"description", r.guideText},
          {"file_offset", r.media.offset},
          {"epg_offset", r.guideSectorOffset},
          {"title", r.title},
          {"channel", r.channel},
          {"start", time(r.startTime)},
          {"end", time(r.endTime)},
          {"duration_s",
           r.unlisted ? nlohmann::json(nullptr) : nlohmann::json(r.endTime - r.startTime)},
          {"unlisted", r.unlisted},
          {"problems", r.problems}};
}

}  // namespace

std::vector<size_t> ShapeRows(const std::vector<Recording>& recordings, const ListShape& shape) {
  std::vector<std::string> searchable;
  searchable.reserve(recordings.size());
  for (const Recording& r : recordings) searchable.push_back(SearchableText(r));
  const SortKey key = shape.sort == "name"    ? SortKey::Name
                      : shape.sort == "size"  ? SortKey::Size
                      : shape.sort == "start" ? SortKey::Start
                                              : SortKey::Catalogue;
  return OrderRows(recordings, key, shape.reverse, RowsHolding(searchable, shape.match));
}

int RunList(const std::string& driveText, bool json, const ReadOptions& options,
            const ListShape& shape) {
  Catalogue c;
  const int status = ReadDisk(driveText, c, options);
  if (!ListsRows(status, options)) return status;
  nlohmann::json recordings = nlohmann::json::array();
  for (const size_t i : ShapeRows(c.recordings, shape)) {
    const Recording& r = c.recordings[i];
    if (json) {
      recordings.push_back(RecordingJson(r, i + 1));
    } else {
      std::cout << r.fileStem << ".ts\t" << OnOneLine(r.channelAndTimes) << "\t" << r.sizeText
                << "\n";
    }
  }
  if (json) {
    nlohmann::json out{{"recordings", recordings}};
    AddAccount(c.account, out);
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
  return status;
}

}  // namespace skelbrook::cli
