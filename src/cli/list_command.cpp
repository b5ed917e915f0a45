// skelbrook-cli list: one line per recording, or JSON.
#include "cli/list_command.h"

#include <iostream>
#include <nlohmann/json.hpp>

#include "catalogue/text.h"
#include "device/drive.h"

namespace skelbrook::cli {

int ReadCatalogue(const std::string& driveText, Catalogue& catalogue) {
  Drive drive;
  const Status opened = drive.OpenDrive(driveText);
  (void)GetFileOffset(drive, catalogue.geometry, nullptr);
  if (!catalogue.geometry.KnownDrive) {
    std::cerr << kNotRecognisedMessage << "\n";
    if (!opened.ok()) std::cerr << opened.message() << "\n";
    return kExitNotRecognised;
  }
  WorkObserver quiet;
  const CatalogueResult result = GetProgData(drive, catalogue.geometry, catalogue.area,
                                             catalogue.table, catalogue.rows, nullptr, quiet);
  drive.CloseDrive();
  if (result == CatalogueResult::RecordListNotFound) {
    std::cerr << "Cannot locate _RECORD_LIST_ on " << drive.Path() << "\n";
    return kExitNoRecordList;
  }
  return kExitOk;
}

int RunList(const std::string& driveText, bool json) {
  Catalogue c;
  const int status = ReadCatalogue(driveText, c);
  if (status != kExitOk) return status;
  nlohmann::json recordings = nlohmann::json::array();
  for (size_t i = 0; i < c.rows.rows.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    const int slot = c.table.RowSlot[static_cast<size_t>(row)];
    const RecordingRow& r = c.rows.rows[i];
    if (!json) {
      std::cout << c.table.ProgFileName[slot] << ".ts\t" << OnOneLine(r.channelTime) << "\t" << r.sizeText
                << "\n";
      continue;
    }
    recordings.push_back({{"row", row},
                          {"slot", slot},
                          {"row_text", r.text},
                          {"file", c.table.ProgFileName[slot] + ".ts"},
                          {"channel_time", r.channelTime},
                          {"size", c.table.ProgFileSize[slot]},
                          {"size_text", r.sizeText},
                          {"description", c.table.ProgEPGText[slot]},
                          {"file_offset", c.table.ProgFileOffset[slot]},
                          {"epg_offset", c.table.ProgEPGOffset[slot]}});
  }
  if (json) {
    std::cout << nlohmann::json{{"recordings", recordings}}.dump(2, ' ', false,
                                                                  nlohmann::json::error_handler_t::replace)
              << "\n";
  }
  return kExitOk;
}

}  // namespace skelbrook::cli
