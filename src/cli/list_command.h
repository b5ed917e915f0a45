// The command line's read side: read the catalogue through the core's one read workflow, with
// the exit statuses scripts rely on.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "catalogue/read_catalogue.h"

namespace skelbrook::cli {

enum ExitStatus {
  kExitOk = 0,
  kExitRowFailed = 1,
  kExitUsage = 2,
  kExitNotRecognised = 3,
  kExitNoRecordList = 4,
  kExitReadInPart = 5,  // the catalogue could be read only in part
  kExitStopped = 130,   // stopped by Ctrl-C, as a shell reports a program ended by SIGINT
};

// Reads the catalogue. Prints on stderr why it failed, or each range that would not read and
// each limit hit; returns kExitOk, kExitReadInPart or the exit status of the failure. With
// `withUnlisted` the media files no listed record names are rows too.
int ReadDisk(const std::string& driveText, Catalogue& catalogue, bool withUnlisted);

// Whether the read left rows to list or copy: a catalogue read whole or in part, or, when the
// media files the catalogue lost are asked for, one whose record list is missing.
bool ListsRows(int readStatus, bool withUnlisted);

// The account of the read, for JSON output: "unreadable" and "problems".
void AddAccount(const CatalogueAccount& account, nlohmann::json& out);

int RunList(const std::string& driveText, bool json, bool withUnlisted);

}  // namespace skelbrook::cli
