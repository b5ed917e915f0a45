// Reading the recorder's catalogue: sector 0 to the system area, its table and root directory,
// _RECORD_LIST_ and its 304-byte records, the media directory and the guide sectors.
#include "catalogue/programme_table.h"

#include <chrono>
#include <cstdio>
#include <new>

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

// Keeps the system area's table allocation within what its 32-bit read length allows.
constexpr int64_t kLargestSystemTableEntries = 536870783;

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

// The system area's descriptor and allocation table. A table that cannot lie on the drive is
// left empty: chains through it then end at once instead of reading wild offsets.
void LoadSystemArea(Drive& drive, SystemArea& area) {
  drive.ReadDrive(0, kSector);
  area.DescriptorOffset = DescriptorOffsetFromSector0(drive.BlockBuffer);
  drive.ReadDrive(area.DescriptorOffset, kSector);
  const std::vector<uint8_t> descriptor = drive.BlockBuffer;
  area.DirOffset = int64_t{LittleEndian32(descriptor.data() + kDescDirSector)} * kSector;
  area.DataAreaOffset = area.DescriptorOffset + kSystemDataAreaDistance;
  area.FatEntryCount = int64_t{LittleEndian32(descriptor.data() + kDescLastEntry)} + 1;
  area.FatOffset = int64_t{LittleEndian32(descriptor.data() + kDescFatSector)} * kSector;

  const int64_t driveSize = drive.SizeBytes();
  const bool plausible = area.FatEntryCount <= kLargestSystemTableEntries &&
                         (driveSize <= 0 || area.FatOffset + area.FatEntryCount * 4 <= driveSize);
  if (!plausible || !LoadAllocationTable(drive, area.FatOffset, area.FatEntryCount, area.FatTable)) {
    area.FatTable.assign(1, 0);
  }
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

std::string EpgDescription(Drive& drive, int64_t epgOffset) {
  if (epgOffset <= 0) return kNoEpgText;
  drive.ReadDrive(epgOffset, kEpgSectorSize);
  std::vector<uint8_t> restored;
  SwapThem(drive.BlockBuffer, kEpgSectorSize, restored);
  return FieldText(restored.data(), kEpgTextFirst, kEpgTextLast);
}

void ParseRecord(const uint8_t* record, Drive& drive, ProgrammeTable& table, RecordingRows& rows,
                 std::ostream* listFile) {
  const int slot = record[kRecSlot];
  if (slot == 0) return;
  const ClockParts start = ClockFromSeconds(BigEndian32(record + kRecStart));
  const ClockParts end = ClockFromSeconds(BigEndian32(record + kRecEnd));
  const std::string stem = start.hour + start.minute + start.day + start.month + "_";
  const std::string times = start.hhmm + "~" + end.hhmm;
  const bool prefixed = record[kRecTitle] == kTitlePrefix0 && record[kRecTitle + 1] == kTitlePrefix1;
  const std::string title =
      FieldText(record, prefixed ? kRecTitleAfterPrefix : kRecTitle, kRecTitleLast);

  char slotDigits[8];
  std::snprintf(slotDigits, sizeof slotDigits, "%03d", slot);
  table.ProgFileName[slot] = std::string(slotDigits) + "_" + RemoveIllegals(stem + title);
  table.ProgChannelTime[slot] = FieldText(record, kRecChannel, kRecChannelLast) + " " + times;
  table.ProgEPGText[slot] = EpgDescription(drive, table.ProgEPGOffset[slot]);
  const std::string sizeText = SizeText(table.ProgFileSize[slot]);

  const int row = AddToList(rows, table.ProgFileName[slot] + ".ts", table.ProgChannelTime[slot], sizeText);
  if (listFile != nullptr) {
    *listFile << table.ProgFileName[slot] << ".ts\t" << OnOneLine(table.ProgChannelTime[slot])
              << "\t" << sizeText << "\r\n";
  }
  if (static_cast<int>(table.RowSlot.size()) <= row) table.RowSlot.resize(static_cast<size_t>(row) + 1, 0);
  table.RowSlot[static_cast<size_t>(row)] = slot;
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
  using namespace std::chrono;
  const sys_seconds when{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(when);
  const year_month_day date{day};
  const hh_mm_ss<std::chrono::seconds> clock{when - day};
  ClockParts parts;
  parts.hour = TwoDigits(static_cast<unsigned>(clock.hours().count()));
  parts.minute = TwoDigits(static_cast<unsigned>(clock.minutes().count()));
  parts.day = TwoDigits(static_cast<unsigned>(date.day()));
  parts.month = kMonthNames[static_cast<unsigned>(date.month())];
  parts.hhmm = parts.hour + ":" + parts.minute;
  return parts;
}

CatalogueResult GetProgData(Drive& drive, const MediaGeometry& geometry, SystemArea& area,
                            ProgrammeTable& table, RecordingRows& rows, std::ostream* listFile,
                            WorkObserver& observer) {
  LoadSystemArea(drive, area);
  if (!observer.pump()) return CatalogueResult::Stopped;

  drive.ReadDrive(area.DirOffset, kDirectoryBlockSize);
  SwapThem(drive.BlockBuffer, kDirectoryBlockSize, area.RootDirBuffer);
  if (!FindRecordList(area)) return CatalogueResult::RecordListNotFound;
  area.RecordCount = static_cast<int32_t>(area.RecordListSize / kRecordSize);

  table = ProgrammeTable{};
  drive.ReadDrive(geometry.MediaDirOffset, kDirectoryBlockSize);
  std::vector<uint8_t> fileArea;
  SwapThem(drive.BlockBuffer, kDirectoryBlockSize, fileArea);
  GetFILEPositions(fileArea.data(), area.RecordCount, table.ProgFileOffset, table.ProgFileSize);
  GetEPGPositions(area, table.ProgEPGOffset);

  if (!EPGTrace_and_Record(drive, area, observer)) return CatalogueResult::Stopped;
  const std::vector<uint8_t> records = area.RecordListBuffer;
  const int64_t loaded = static_cast<int64_t>(records.size()) / kRecordSize;
  const int64_t count = std::min<int64_t>(area.RecordCount, loaded);
  for (int64_t r = 0; r < count; ++r) {
    ParseRecord(records.data() + r * kRecordSize, drive, table, rows, listFile);
  }
  if (listFile != nullptr) *listFile << kListFileClosingLine << "\r\n";
  return CatalogueResult::Listed;
}

}  // namespace skelbrook
