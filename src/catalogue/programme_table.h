// The programme table: what the recorder's catalogue says about every recording, by slot, and
// GetProgData, which reads the catalogue off the disk into it.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "catalogue/recording_rows.h"
#include "catalogue/system_area.h"
#include "common/observer.h"
#include "device/drive.h"
#include "disk/layout.h"
#include "disk/media_geometry.h"

namespace skelbrook {

inline constexpr const char* kNoEpgText = "No EPG data found.";
inline constexpr const char* kListFileClosingLine = "Closing Files9200T.txt";

struct ProgrammeTable {
  std::array<std::string, kSlotCount> ProgFileName{};     // output name without ".ts"
  std::array<std::string, kSlotCount> ProgChannelTime{};  // "Channel HH:MM~HH:MM"
  std::array<std::string, kSlotCount> ProgEPGText{};
  std::array<int64_t, kSlotCount> ProgEPGOffset{};
  std::array<int64_t, kSlotCount> ProgFileOffset{};
  std::array<int64_t, kSlotCount> ProgFileSize{};
  // The record's own fields, for what the copies become afterwards (dates, guide files): the
  // title after the prefix rule and before file-name cleaning, the channel, and the start and
  // end in seconds since 1970-01-01 UTC.
  std::array<std::string, kSlotCount> ProgTitle{};
  std::array<std::string, kSlotCount> ProgChannel{};
  std::array<int64_t, kSlotCount> ProgStart{};
  std::array<int64_t, kSlotCount> ProgEnd{};
  // A media file that no listed record names, listed only when asked for.
  std::array<bool, kSlotCount> ProgUnlisted{};
  // What went wrong reading each slot's catalogue entries, in the user's words; and whether the
  // slot's media-directory entry may have been in a part of the directory that would not read.
  std::array<std::vector<std::string>, kSlotCount> ProgProblems{};
  std::array<bool, kSlotCount> ProgFileUnknown{};
  // RowSlot[n] is the slot of list row n (1-based); element 0 is unused.
  std::vector<int> RowSlot{0};
};

enum class CatalogueResult {
  Listed,              // the table and rows are filled
  NotRecognised,       // the drive did not open or is not a 9200T disk (only ReadCatalogue says so)
  RecordListNotFound,  // "_RECORD_LIST_" is not among the first root-directory entries
  Stopped,             // the front end asked to stop during a yield
  Unreadable,          // sector 0 or the system area would not read: account.failure says how
};

inline constexpr const char* kMediaEntryUnknownText =
    "the media directory could not be read: its size and place are unknown";

// Reads the catalogue of an open, recognised drive into `table` and `rows`, writing one line per
// listed recording and a closing line to `listFile` when given. Whatever would not read is
// salvaged around and added to `account`. With `withUnlisted`, every media file that no listed
// record names follows as a row "NNN_unlisted.ts", also when the record list is missing or
// would not read (the result still says so).
CatalogueResult GetProgData(Drive& drive, const MediaGeometry& geometry, SystemArea& area,
                            ProgrammeTable& table, RecordingRows& rows, std::ostream* listFile,
                            CatalogueAccount& account, WorkObserver& observer,
                            bool withUnlisted = false);

// The name stem of a media file no record names: "007_unlisted".
std::string UnlistedName(int slot);

// "2021-11-05T19:30:00Z": seconds since 1970-01-01 as ISO 8601 UTC.
std::string IsoTime(int64_t seconds);

// "###,###,###,### Bytes": the size grouped by threes with ","; 0 gives " Bytes".
std::string SizeText(int64_t bytes);

// "HH:MM", "DD" and the month name of a count of seconds since 1970-01-01, in UTC.
struct ClockParts {
  std::string hhmm;  // "19:30"
  std::string hour, minute, day, month;
};
ClockParts ClockFromSeconds(int64_t seconds);

}  // namespace skelbrook
