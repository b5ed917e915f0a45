// skelbrook-cli list: one line per recording, or JSON.
#include "cli/list_command.h"

#include <iostream>
#include <nlohmann/json.hpp>

#include "catalogue/clock.h"
#include "catalogue/text.h"

namespace skelbrook::cli {

int ReadDisk(const std::string& driveText, Catalogue& catalogue, bool withUnlisted) {
  CatalogueObserver quiet;
  const CatalogueResult result =
      ReadCatalogue(driveText, {}, catalogue, nullptr, quiet, withUnlisted);
  for (const UnreadableRange& r : catalogue.account.unreadable)
    std::cerr << "Unreadable: " << Describe(r) << "\n";
  for (const std::string& p : catalogue.account.problems) std::cerr << "Problem: " << p << "\n";
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

bool ListsRows(int readStatus, bool withUnlisted) {
  return readStatus == kExitOk || readStatus == kExitReadInPart ||
         (withUnlisted && readStatus == kExitNoRecordList);
}

namespace {

// One row of `list --json`; `row` counts from 1.
nlohmann::json RecordingJson(const Recording& r, size_t row) {
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

int RunList(const std::string& driveText, bool json, bool withUnlisted) {
  Catalogue c;
  const int status = ReadDisk(driveText, c, withUnlisted);
  if (!ListsRows(status, withUnlisted)) return status;
  nlohmann::json recordings = nlohmann::json::array();
  for (size_t i = 0; i < c.recordings.size(); ++i) {
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
