// The command line's read side: read the catalogue through the core's one read workflow, with
// the exit statuses scripts rely on.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

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

// Which rows besides the catalogue's: the media files no record names, the lost recordings a
// search of the whole disk finds.
struct ReadOptions {
  bool unlisted = false;
  bool deep = false;
};

// Reads the catalogue, and with `deep` searches the whole disk for lost recordings (a progress
// line on a terminal; Ctrl-C stops it). Prints on stderr why it failed, or each range that would
// not read and each limit hit; returns kExitOk, kExitReadInPart, kExitStopped or the exit status
// of the failure.
int ReadDisk(const std::string& driveText, Catalogue& catalogue, const ReadOptions& options);

// Whether the read left rows to list or copy: a catalogue read whole or in part, or, when the
// rows the catalogue lost are asked for, one whose record list is missing.
bool ListsRows(int readStatus, const ReadOptions& options);

// The account of the read, for JSON output: "unreadable" and "problems".
void AddAccount(const CatalogueAccount& account, nlohmann::json& out);

// Which rows `list` prints, and in which order: those holding every word of `match` (all when it
// is empty), by `sort` ("name", "size", "start"; the catalogue's order when empty), `reverse`d.
struct ListShape {
  std::string match;
  std::string sort;
  bool reverse = false;
};

// The list indices of the rows `shape` keeps, in its order.
std::vector<size_t> ShapeRows(const std::vector<Recording>& recordings, const ListShape& shape);

int RunList(const std::string& driveText, bool json, const ReadOptions& options,
            const ListShape& shape = {});

}  // namespace skelbrook::cli
