// skelbrook-cli list: one line per recording, or JSON.
#include "cli/list_command.h"

#include <iostream>
#include <nlohmann/json.hpp>

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

// One row of `list --json`.
nlohmann::json RecordingJson(const Catalogue& c, int row) {
  const int slot = c.table.RowSlot[static_cast<size_t>(row)];
  const RecordingRow& r = c.rows.rows[static_cast<size_t>(row) - 1];
  const bool unlisted = c.table.ProgUnlisted[slot];
  const auto time = [&](int64_t seconds) {
    return unlisted ? nlohmann::json(nullptr) : nlohmann::json(IsoTime(seconds));
  };
  return {
      {"row", row},
      {"slot", slot},
      {"row_text", r.text},
      {"file", c.table.ProgFileName[slot] + ".ts"},
      {"channel_time", r.channelTime},
      {"size", c.table.ProgFileSize[slot]},
      {"size_text", r.sizeText},
      {"description", c.table.ProgEPGText[slot]},
      {"file_offset", c.table.ProgFileOffset[slot]},
      {"epg_offset", c.table.ProgEPGOffset[slot]},
      {"title", c.table.ProgTitle[slot]},
      {"channel", c.table.ProgChannel[slot]},
      {"start", time(c.table.ProgStart[slot])},
      {"end", time(c.table.ProgEnd[slot])},
      {"duration_s", unlisted ? nlohmann::json(nullptr)
                              : nlohmann::json(c.table.ProgEnd[slot] - c.table.ProgStart[slot])},
      {"unlisted", unlisted},
      {"problems", c.table.ProgProblems[slot]}};
}

}  // namespace

int RunList(const std::string& driveText, bool json, bool withUnlisted) {
  Catalogue c;
  const int status = ReadDisk(driveText, c, withUnlisted);
  if (!ListsRows(status, withUnlisted)) return status;
  nlohmann::json recordings = nlohmann::json::array();
  for (size_t i = 0; i < c.rows.rows.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    if (!json) {
      const int slot = c.table.RowSlot[static_cast<size_t>(row)];
      const RecordingRow& r = c.rows.rows[i];
      std::cout << c.table.ProgFileName[slot] << ".ts\t" << OnOneLine(r.channelTime) << "\t"
                << r.sizeText << "\n";
      continue;
    }
    recordings.push_back(RecordingJson(c, row));
  }
  if (json) {
    nlohmann::json out{{"recordings", recordings}};
    AddAccount(c.account, out);
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
  return status;
}

}  // namespace skelbrook::cli
