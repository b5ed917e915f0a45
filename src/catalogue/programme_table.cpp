// Reading the recorder's catalogue: sector 0 to the system area, its table and root directory,
// _RECORD_LIST_ and its 304-byte records, the media directory and the guide sectors.
#include "catalogue/programme_table.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>
#include <optional>
#include <utility>

#include "catalogue/byte_order.h"
#include "catalogue/guide.h"
#include "catalogue/text.h"
#include "common/endian.h"
#include "disk/allocation_table.h"
#include "disk/file_location.h"

namespace skelbrook {
namespace {

constexpr const char* kMonthNames[13] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// When the drive's size is unknown: the table of a system area of 64 GiB.
constexpr int64_t kLargestSystemTableUnknownDrive = int64_t{1} << 22;

// The calendar day and the time of day of a count of seconds since 1970-01-01, in UTC.
std::pair<std::chrono::year_month_day, std::chrono::hh_mm_ss<std::chrono::seconds>> CivilTime(
    int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds when{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(when);
  return {year_month_day{day}, hh_mm_ss<std::chrono::seconds>{when - day}};
}

std::string TwoDigits(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02u", value % 100);
  return text;
}

// Sector 0: bytes 473, 472, 479, 478 (most significant first) give the system descriptor's sector.
int64_t DescriptorOffsetFromSector0(const std::vector<uint8_t>& b) {
  int64_t sector = 0;
  for (const int at : kSector0DescriptorBytes) sector = sector << 8 | b[static_cast<size_t>(at)];
  return sector * kSector;
}

// The catalogue cannot be read without these parts: says so with the first range lost.
bool Lost(const std::vector<ReadGap>& gaps, const char* area, CatalogueAccount& account) {
  if (gaps.empty()) return false;
  const ReadGap& g = gaps.front();
  account.failure =
      "The catalogue could not be read: " + Describe({area, g.first, g.bytes, g.error});
  return true;
}

// The system area's descriptor and allocation table, never longer than one entry per cluster
// the drive has room for (entries beyond describe clusters the drive does not have). A table that
// cannot lie on the drive is left empty: chains through it then end at once instead of reading wild
// offsets. Returns false when a part would not read.
bool LoadSystemArea(Drive& drive, SystemArea& area, CatalogueAccount& account) {
  if (Lost(ReadArea(drive, 0, kSector, kAreaSector0, account.unreadable), kAreaSector0, account)) {
    return false;
  }
  area.DescriptorOffset = DescriptorOffsetFromSector0(drive.BlockBuffer);
  if (Lost(ReadArea(drive, area.DescriptorOffset, kSector, kAreaSystemDescriptor,
                    account.unreadable),
           kAreaSystemDescriptor, account)) {
    return false;
  }
  const std::vector<uint8_t> descriptor = drive.BlockBuffer;
  area.DirOffset = int64_t{LittleEndian32(descriptor.data() + kDescDirSector)} * kSector;
  area.DataAreaOffset = area.DescriptorOffset + kSystemDataAreaDistance;
  area.FatEntryCount = int64_t{LittleEndian32(descriptor.data() + kDescLastEntry)} + 1;
  area.FatOffset = int64_t{LittleEndian32(descriptor.data() + kDescFatSector)} * kSector;

  const int64_t driveSize = drive.SizeBytes();
  if (driveSize > 0) {
    area.FatEntryCount = std::min(area.FatEntryCount, driveSize / kSystemClusterSize + 1);
  } else if (area.FatEntryCount > kLargestSystemTableUnknownDrive) {
    account.problems.push_back("the system allocation table claims " +
                               std::to_string(area.FatEntryCount) +
                               " entries on a drive of unknown size; only the first " +
                               std::to_string(kLargestSystemTableUnknownDrive) + " are read");
    area.FatEntryCount = kLargestSystemTableUnknownDrive;
  }
  std::vector<ReadGap> unknown;
  const bool onDrive = driveSize <= 0 || area.FatOffset + area.FatEntryCount * 4 <= driveSize;
  if (!onDrive || !LoadAllocationTable(drive, area.FatOffset, area.FatEntryCount, area.FatTable,
                                       kAreaSystemTable, account.unreadable, unknown)) {
    area.FatTable.assign(1, 0);
  }
  return !Lost(unknown, kAreaSystemTable, account);
}

// Looks for "_REC....LIST" among the first root-directory entries.
bool FindRecordList(SystemArea& area) {
  for (int e = 0; e < kRecordListSearchEntries; ++e) {
    const uint8_t* entry = area.RootDirBuffer.data() + static_cast<size_t>(e) * kDirEntrySize;
    const uint8_t* name = entry + kEntryName;
    if (name[0] == '_' && name[1] == 'R' && name[2] == 'E' && name[3] == 'C' && name[8] == 'L' &&
        name[9] == 'I' && name[10] == 'S' && name[11] == 'T') {
      area.RecordListOffset = BigEndian32(entry + kEntryStartSector) * kSector;
      area.RecordListSize = BigEndian32(entry + kEntryLength32);
      return true;
    }
  }
  return false;
}

// The guide text at `epgOffset`; empty, with a problem for the row, when its sector would not read.
std::string EpgDescription(Drive& drive, int64_t epgOffset, CatalogueAccount& account,
                           std::vector<std::string>& problems) {
  if (epgOffset <= 0) return kNoEpgText;
  if (!ReadArea(drive, epgOffset, kEpgSectorSize, kAreaGuide, account.unreadable).empty()) {
    problems.push_back("the guide text could not be read: " + Describe(account.unreadable.back()));
    return {};
  }
  std::vector<uint8_t> restored;
  SwapThem(drive.BlockBuffer, kEpgSectorSize, restored);
  return FieldText(restored.data(), kEpgTextFirst, kEpgTextLast);
}

std::string SlotDigits(int slot) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03d", slot);
  return digits;
}

// Appends the slot's row to the list, its line to the list file, and maps the row to the slot.
void AddSlotRow(int slot, ProgrammeTable& table, RecordingRows& rows, std::ostream* listFile) {
  const std::string sizeText = SizeText(table.ProgFileSize[slot]);
  const int row =
      AddToList(rows, table.ProgFileName[slot] + ".ts", table.ProgChannelTime[slot], sizeText);
  if (listFile != nullptr) {
    *listFile << table.ProgFileName[slot] << ".ts\t" << OnOneLine(table.ProgChannelTime[slot])
              << "\t" << sizeText << "\r\n";
  }
  if (static_cast<int>(table.RowSlot.size()) <= row)
    table.RowSlot.resize(static_cast<size_t>(row) + 1, 0);
  table.RowSlot[static_cast<size_t>(row)] = slot;
}

void ParseRecord(const uint8_t* record, Drive& drive, ProgrammeTable& table, RecordingRows& rows,
                 std::ostream* listFile, bool mediaDirectoryLost, CatalogueAccount& account) {
  const int slot = record[kRecSlot];
  if (slot == 0) return;
  std::vector<std::string>& problems = table.ProgProblems[slot];
  // With part of the media directory lost, a recording without an entry may have had it there.
  table.ProgFileUnknown[slot] =
      mediaDirectoryLost && table.ProgFileOffset[slot] == 0 && table.ProgFileSize[slot] == 0;
  if (table.ProgFileUnknown[slot]) problems.emplace_back(kMediaEntryUnknownText);
  table.ProgStart[slot] = BigEndian32(record + kRecStart);
  table.ProgEnd[slot] = BigEndian32(record + kRecEnd);
  const ClockParts start = ClockFromSeconds(table.ProgStart[slot]);
  const ClockParts end = ClockFromSeconds(table.ProgEnd[slot]);
  const std::string stem = start.hour + start.minute + start.day + start.month + "_";
  const std::string times = start.hhmm + "~" + end.hhmm;
  const bool prefixed =
      record[kRecTitle] == kTitlePrefix0 && record[kRecTitle + 1] == kTitlePrefix1;
  const std::string title =
      FieldText(record, prefixed ? kRecTitleAfterPrefix : kRecTitle, kRecTitleLast);

  table.ProgTitle[slot] = title;
  table.ProgChannel[slot] = FieldText(record, kRecChannel, kRecChannelLast);
  table.ProgFileName[slot] = SlotDigits(slot) + "_" + RemoveIllegals(stem + title);
  table.ProgChannelTime[slot] = table.ProgChannel[slot] + " " + times;
  table.ProgEPGText[slot] = EpgDescription(drive, table.ProgEPGOffset[slot], account, problems);
  AddSlotRow(slot, table, rows, listFile);
}

struct MediaDirectory {
  std::vector<uint8_t> restored;  // kDirectoryBlockSize bytes in restored order
  bool lost = false;              // part of it would not read (and is zeros here)
};

MediaDirectory ReadMediaDirectory(Drive& drive, const MediaGeometry& geometry,
                                  CatalogueAccount& account) {
  MediaDirectory d;
  d.lost = !ReadArea(drive, geometry.MediaDirOffset, kDirectoryBlockSize, kAreaMediaDirectory,
                     account.unreadable)
                .empty();
  SwapThem(drive.BlockBuffer, kDirectoryBlockSize, d.restored);
  return d;
}

// Sector 0 to the last record: a row for every listed record. The media directory, once read,
// is left in `directory`.
CatalogueResult ListRecords(Drive& drive, const MediaGeometry& geometry, SystemArea& area,
                            ProgrammeTable& table, RecordingRows& rows, std::ostream* listFile,
                            CatalogueAccount& account, WorkObserver& observer,
                            std::optional<MediaDirectory>& directory) {
  const bool systemArea = LoadSystemArea(drive, area, account);
  if (!observer.pump()) return CatalogueResult::Stopped;
  if (!systemArea) return CatalogueResult::Unreadable;

  const std::vector<ReadGap> rootGaps =
      ReadArea(drive, area.DirOffset, kDirectoryBlockSize, kAreaRootDirectory, account.unreadable);
  if (Lost(rootGaps, kAreaRootDirectory, account)) return CatalogueResult::Unreadable;
  SwapThem(drive.BlockBuffer, kDirectoryBlockSize, area.RootDirBuffer);
  if (!FindRecordList(area)) return CatalogueResult::RecordListNotFound;
  area.RecordCount =
      static_cast<int32_t>(std::min(area.RecordListSize, kLargestRecordList) / kRecordSize);

  directory = ReadMediaDirectory(drive, geometry, account);
  GetFILEPositions(directory->restored.data(), area.RecordCount, table.ProgFileOffset,
                   table.ProgFileSize);
  GetEPGPositions(area, table.ProgEPGOffset);

  if (!EPGTrace_and_Record(drive, area, account, observer)) return CatalogueResult::Stopped;
  const std::vector<uint8_t> records = area.RecordListBuffer;
  const int64_t loaded = static_cast<int64_t>(records.size()) / kRecordSize;
  const int64_t count = std::min<int64_t>(area.RecordCount, loaded);
  for (int64_t r = 0; r < count; ++r) {
    // A record with bytes that would not read is left out: even its slot is unknown.
    const int64_t first = r * kRecordSize;
    if (!Overlaps(area.RecordListGaps, first, kRecordSize)) {
      ParseRecord(records.data() + first, drive, table, rows, listFile, directory->lost, account);
    }
  }
  return CatalogueResult::Listed;
}

// After the listed rows, one row per media file that no listed record names, from a scan of the
// whole media directory.
void AddUnlisted(const MediaDirectory& directory, ProgrammeTable& table, RecordingRows& rows,
                 std::ostream* listFile) {
  std::array<int64_t, kSlotCount> offsets{}, sizes{};
  GetFILEPositions(directory.restored.data(), kWholeMediaDirectory, offsets, sizes);
  std::array<bool, kSlotCount> named{};
  for (size_t row = 1; row < table.RowSlot.size(); ++row) named[table.RowSlot[row]] = true;
  for (int slot = kFirstMediaSlot; slot < kSlotCount; ++slot) {
    if (named[slot] || (offsets[slot] == 0 && sizes[slot] == 0)) continue;
    table.ProgUnlisted[slot] = true;
    table.ProgFileOffset[slot] = offsets[slot];
    table.ProgFileSize[slot] = sizes[slot];
    table.ProgFileName[slot] = UnlistedName(slot);
    AddSlotRow(slot, table, rows, listFile);
  }
}

}  // namespace

std::string SizeText(int64_t bytes) {
  std::string digits = bytes > 0 ? std::to_string(bytes) : std::string();
  std::string grouped;
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    grouped.push_back(digits[i]);
    const size_t left = n - 1 - i;
    if (left > 0 && left % 3 == 0) grouped.push_back(',');
  }
  return grouped + " Bytes";
}

ClockParts ClockFromSeconds(int64_t seconds) {
  const auto [date, clock] = CivilTime(seconds);
  ClockParts parts;
  parts.hour = TwoDigits(static_cast<unsigned>(clock.hours().count()));
  parts.minute = TwoDigits(static_cast<unsigned>(clock.minutes().count()));
  parts.day = TwoDigits(static_cast<unsigned>(date.day()));
  parts.month = kMonthNames[static_cast<unsigned>(date.month())];
  parts.hhmm = parts.hour + ":" + parts.minute;
  return parts;
}

std::string UnlistedName(int slot) {
  return SlotDigits(slot) + "_unlisted";
}

std::string IsoTime(int64_t seconds) {
  const auto [date, clock] = CivilTime(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

CatalogueResult GetProgData(Drive& drive, const MediaGeometry& geometry, SystemArea& area,
                            ProgrammeTable& table, RecordingRows& rows, std::ostream* listFile,
                            CatalogueAccount& account, WorkObserver& observer, bool withUnlisted) {
  table = ProgrammeTable{};
  std::optional<MediaDirectory> directory;
  const CatalogueResult result =
      ListRecords(drive, geometry, area, table, rows, listFile, account, observer, directory);
  if (result == CatalogueResult::Stopped || (result != CatalogueResult::Listed && !withUnlisted))
    return result;
  if (withUnlisted) {
    if (!directory) directory = ReadMediaDirectory(drive, geometry, account);
    AddUnlisted(*directory, table, rows, listFile);
  }
  if (listFile != nullptr) *listFile << kListFileClosingLine << "\r\n";
  return result;
}

}  // namespace skelbrook
