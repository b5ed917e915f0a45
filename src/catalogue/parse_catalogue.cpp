// The catalogue's records, read into the recordings of the list.
#include "catalogue/parse_catalogue.h"

#include <array>
#include <cstdio>
#include <optional>

#include "catalogue/byte_order.h"
#include "catalogue/clock.h"
#include "catalogue/guide.h"
#include "catalogue/record_list.h"
#include "catalogue/text.h"
#include "common/endian.h"
#include "disk/layout.h"

namespace skelbrook {
namespace {

// What the parse builds up besides the recordings: slot-wide values that rows naming the same
// slot share once every record is read.
struct ParseState {
  Catalogue& c;
  std::ostream* listFile;
  RowTexts rowTexts;
  GuideSectors guideSectors{};
  // What went wrong reading each slot's entries, over every record that names it.
  std::array<std::vector<std::string>, kSlotCount> slotProblems{};
};

std::string SlotDigits(int slot) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03d", slot);
  return digits;
}

// The guide text at `sectorOffset`; empty, with a problem, when its sector would not read.
std::string GuideText(Drive& drive, int64_t sectorOffset, CatalogueAccount& account,
                      std::vector<std::string>& problems) {
  if (sectorOffset <= 0) return kNoEpgText;
  if (!ReadArea(drive, sectorOffset, kEpgSectorSize, kAreaGuide, account.unreadable).empty()) {
    problems.push_back("the guide text could not be read: " + Describe(account.unreadable.back()));
    return {};
  }
  std::vector<uint8_t> restored;
  RestoreInto(drive.Buffer(), kEpgSectorSize, restored);
  return FieldText(restored.data(), kEpgTextFirst, kEpgTextLast);
}

// Appends the recording as a row, and its line to the list file, with its own values.
void AddRow(ParseState& p, Recording r) {
  r.sizeText = SizeText(r.media.size);
  r.rowText = r.fileStem + ".ts";
  if (p.listFile != nullptr) {
    *p.listFile << r.fileStem << ".ts\t" << OnOneLine(r.channelAndTimes) << "\t" << r.sizeText
                << "\r\n";
  }
  AppendRow(p.c.recordings, p.rowTexts, std::move(r));
}

// One 304-byte record (restored order) becomes a row; a record whose slot is 0 is not listed.
void ParseRecord(const uint8_t* record, Drive& drive, ParseState& p, bool mediaDirectoryLost) {
  const int slot = record[kRecSlot];
  if (slot == 0) return;
  std::vector<std::string>& problems = p.slotProblems[static_cast<size_t>(slot)];
  MediaFile& media = p.c.mediaFiles[static_cast<size_t>(slot)];
  // With part of the media directory lost, a recording without an entry may have had it there.
  media.entryMaybeLost = mediaDirectoryLost && !media.Found();
  if (media.entryMaybeLost) problems.emplace_back(kMediaEntryUnknownText);

  Recording r;
  r.slot = slot;
  r.media = media;
  r.startTime = BigEndian32(record + kRecStart);
  r.endTime = BigEndian32(record + kRecEnd);
  const ClockParts start = ClockFromSeconds(r.startTime);
  const ClockParts end = ClockFromSeconds(r.endTime);
  const bool prefixed =
      record[kRecTitle] == kTitlePrefix0 && record[kRecTitle + 1] == kTitlePrefix1;
  r.title = FieldText(record, prefixed ? kRecTitleAfterPrefix : kRecTitle, kRecTitleLast);
  r.channel = FieldText(record, kRecChannel, kRecChannelLast);
  const std::string stem = start.hour + start.minute + start.day + start.month + "_";
  r.fileStem = SlotDigits(slot) + "_" + SanitiseFileName(stem + r.title);
  r.channelAndTimes = r.channel + " " + start.hhmm + "~" + end.hhmm;
  r.guideSectorOffset = p.guideSectors[static_cast<size_t>(slot)];
  r.guideText = GuideText(drive, r.guideSectorOffset, p.c.account, problems);
  AddRow(p, std::move(r));
}

struct MediaDirectory {
  std::vector<uint8_t> restored;  // kDirectoryBlockSize bytes in restored order
  bool lost = false;              // part of it would not read (and is zeros here)
};

MediaDirectory ReadMediaDirectory(Drive& drive, Catalogue& c) {
  MediaDirectory d;
  d.lost = !ReadArea(drive, c.geometry.directoryOffset, kDirectoryBlockSize, kAreaMediaDirectory,
                     c.account.unreadable)
                .empty();
  RestoreInto(drive.Buffer(), kDirectoryBlockSize, d.restored);
  return d;
}

// Sector 0 to the last record: a row for every listed record. The media directory, once read,
// is left in `directory`.
CatalogueResult ListRecords(Drive& drive, ParseState& p, WorkObserver& observer,
                            std::optional<MediaDirectory>& directory) {
  SystemArea& area = p.c.area;
  const bool loaded = LoadSystemArea(drive, area, p.c.account);
  if (!observer.keepGoing()) return CatalogueResult::Stopped;
  if (!loaded || !ReadRootDirectory(drive, area, p.c.account)) return CatalogueResult::Unreadable;
  if (!FindRecordList(area)) return CatalogueResult::RecordListNotFound;
  area.recordCount =
      static_cast<int32_t>(std::min(area.recordListSize, kLargestRecordList) / kRecordSize);

  directory = ReadMediaDirectory(drive, p.c);
  LocateMediaFiles(directory->restored.data(), area.recordCount, p.c.mediaFiles);
  LocateGuideSectors(area, p.guideSectors);

  if (!LoadRecordList(drive, area, p.c.account, observer)) return CatalogueResult::Stopped;
  const int64_t loadedRecords = static_cast<int64_t>(area.recordList.size()) / kRecordSize;
  const int64_t count = std::min<int64_t>(area.recordCount, loadedRecords);
  for (int64_t r = 0; r < count; ++r) {
    // A record with bytes that would not read is left out: even its slot is unknown.
    const int64_t first = r * kRecordSize;
    if (!Overlaps(area.recordListGaps, first, kRecordSize))
      ParseRecord(area.recordList.data() + first, drive, p, directory->lost);
  }
  return CatalogueResult::Listed;
}

// After the listed rows, one row per media file that no listed record names, from a scan of the
// whole media directory.
void AddUnlisted(const MediaDirectory& directory, ParseState& p) {
  MediaFiles everyFile{};
  LocateMediaFiles(directory.restored.data(), kWholeMediaDirectory, everyFile);
  std::array<bool, kSlotCount> named{};
  for (const Recording& r : p.c.recordings) named[static_cast<size_t>(r.slot)] = true;
  for (int slot = kFirstMediaSlot; slot < kSlotCount; ++slot) {
    const MediaFile& file = everyFile[static_cast<size_t>(slot)];
    if (named[static_cast<size_t>(slot)] || !file.Found()) continue;
    p.c.mediaFiles[static_cast<size_t>(slot)] = file;
    Recording r;
    r.slot = slot;
    r.unlisted = true;
    r.media = file;
    r.fileStem = UnlistedName(slot);
    r.guideSectorOffset = p.guideSectors[static_cast<size_t>(slot)];
    AddRow(p, std::move(r));
  }
}

// Rows that name the same slot copy its one media file: each takes what the later record says
// of the copy, and every problem met reading any of them.
void ShareSlotValues(ParseState& p) {
  std::vector<Recording>& rows = p.c.recordings;
  std::array<const Recording*, kSlotCount> last{};
  for (const Recording& r : rows) last[static_cast<size_t>(r.slot)] = &r;
  std::vector<Recording> later;
  later.reserve(rows.size());
  for (const Recording& r : rows) later.push_back(*last[static_cast<size_t>(r.slot)]);
  for (size_t i = 0; i < rows.size(); ++i) {
    Recording& r = rows[i];
    const Recording& l = later[i];
    r.fileStem = l.fileStem;
    r.title = l.title;
    r.channel = l.channel;
    r.startTime = l.startTime;
    r.endTime = l.endTime;
    r.guideText = l.guideText;
    r.problems = p.slotProblems[static_cast<size_t>(r.slot)];
  }
}

}  // namespace

std::string UnlistedName(int slot) {
  return SlotDigits(slot) + "_unlisted";
}

CatalogueResult ParseCatalogue(Drive& drive, Catalogue& catalogue, std::ostream* listFile,
                               WorkObserver& observer, bool withUnlisted) {
  catalogue.mediaFiles = MediaFiles{};
  catalogue.recordings.clear();
  ParseState p{catalogue, listFile, {}, {}, {}};
  std::optional<MediaDirectory> directory;
  const CatalogueResult result = ListRecords(drive, p, observer, directory);
  if (result == CatalogueResult::Stopped || (result != CatalogueResult::Listed && !withUnlisted))
    return result;
  ShareSlotValues(p);
  if (withUnlisted) {
    if (!directory) directory = ReadMediaDirectory(drive, catalogue);
    AddUnlisted(*directory, p);
  }
  // A stop may have cut reads short since the last step: what they left is not the disk's.
  if (!observer.keepGoing()) return CatalogueResult::Stopped;
  if (listFile != nullptr) *listFile << kListFileClosingLine << "\r\n";
  return result;
}

}  // namespace skelbrook
