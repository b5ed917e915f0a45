// Drive recognition: the marker byte of the media descriptor, then the media allocation table,
// read in one piece. Descriptors that would put the table, the directory or the data area outside
// the drive are not recognised: a damaged descriptor must not cause a huge allocation or a wild read.
#include "disk/media_geometry.h"

#include <new>

#include "disk/layout.h"
#include "settings/ini.h"

namespace skelbrook {
namespace {

uint32_t LittleEndian32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The table's byte length rounded down to whole sectors, plus one sector: 128 entries (512
// bytes) are read as 1,024 bytes, 100 entries (400 bytes) as 512.
int64_t TableReadSize(int64_t entries) { return (entries * 4 / kSector + 1) * kSector; }

// Keeps the whole table allocation within what a 32-bit read length allows.
constexpr int64_t kLargestLastEntry = 536870782;

}  // namespace

Status GetFileOffset(Drive& drive, MediaGeometry& geometry, const SettingsToSave* settings) {
  Status saved;
  if (settings != nullptr) {
    saved = INIwrite(settings->settingsPath, "9200T", "Save to", settings->saveTo);
    if (saved.ok()) {
      saved = INIwrite(settings->settingsPath, "9200T", "Physical drive", settings->physicalDrive);
    }
  }

  geometry.KnownDrive = false;
  geometry.RejectReason.clear();
  drive.ReadDrive(kMediaDescriptorOffset, kSector);
  const std::vector<uint8_t> descriptor = drive.BlockBuffer;
  if (descriptor.size() != static_cast<size_t>(kSector)) {
    geometry.RejectReason = "the descriptor sector could not be read";
    return saved;
  }
  geometry.MediaDirOffset = int64_t{descriptor[kDescDirSector]} * kSector;
  if (descriptor[kDescDirSector] != kRecognitionMarker) {
    geometry.RejectReason = "the recognition marker is missing";
    return saved;
  }

  const int64_t lastEntry = LittleEndian32(descriptor, kDescLastEntry);
  const int64_t entries = lastEntry + 1;
  const int64_t fatOffset = int64_t{LittleEndian32(descriptor, kDescFatSector)} * kSector;
  const int64_t dataOffset = int64_t{LittleEndian32(descriptor, kDescDataSector)} * kSector;
  const int64_t driveSize = drive.SizeBytes();
  if (lastEntry > kLargestLastEntry) {
    geometry.RejectReason = "the allocation table is implausibly large";
    return saved;
  }
  if (driveSize > 0 && fatOffset + entries * 4 > driveSize) {
    geometry.RejectReason = "the allocation table lies beyond the end of the drive";
    return saved;
  }
  if (driveSize > 0 && kMediaDirectoryOffset >= driveSize) {
    geometry.RejectReason = "the media directory lies beyond the end of the drive";
    return saved;
  }
  if (driveSize > 0 && dataOffset >= driveSize) {
    geometry.RejectReason = "the data area lies beyond the end of the drive";
    return saved;
  }

  std::vector<int64_t> table;
  try {
    table.assign(static_cast<size_t>(entries) + 1, 0);
  } catch (const std::bad_alloc&) {
    geometry.RejectReason = "the allocation table does not fit in memory";
    return saved;
  }
  drive.ReadDrive(fatOffset, TableReadSize(entries));
  const std::vector<uint8_t>& raw = drive.BlockBuffer;
  for (int64_t i = 0; i < entries; ++i) {
    table[static_cast<size_t>(i)] = LittleEndian32(raw, static_cast<size_t>(i) * 4);
  }

  geometry.MediaFatCount = entries;
  geometry.MediaFatOffset = fatOffset;
  geometry.MediaDataOffset = dataOffset;
  geometry.MediaFat = std::move(table);
  geometry.DriveSize = driveSize;
  geometry.KnownDrive = true;
  return saved;
}

}  // namespace skelbrook
