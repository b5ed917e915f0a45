// Drive recognition: the marker byte of the media descriptor, then the media allocation table,
// read once, whole, into memory. Descriptors that would put the table, the directory or the data area outside
// the drive are not recognised: a damaged descriptor must not cause a huge allocation or a wild read.
#include "disk/media_geometry.h"


#include "common/endian.h"
#include "disk/allocation_table.h"
#include "disk/layout.h"
#include "settings/ini.h"

namespace skelbrook {
namespace {

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

  const int64_t lastEntry = LittleEndian32(descriptor.data() + kDescLastEntry);
  const int64_t entries = lastEntry + 1;
  const int64_t fatOffset = int64_t{LittleEndian32(descriptor.data() + kDescFatSector)} * kSector;
  const int64_t dataOffset = int64_t{LittleEndian32(descriptor.data() + kDescDataSector)} * kSector;
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

  AllocationTable table;
  if (!LoadAllocationTable(drive, fatOffset, entries, table)) {
    geometry.RejectReason = "the allocation table does not fit in memory";
    return saved;
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
