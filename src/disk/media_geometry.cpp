// Drive recognition: the marker byte of the media descriptor, then the media allocation table,
// read once, whole, into memory. Descriptors that would put the table, the directory or the data
// area outside the drive are not recognised, and a table is never taken longer than the drive
// has clusters: a damaged descriptor must not cause a huge allocation or a wild read.
#include "disk/media_geometry.h"

#include <algorithm>

#include "common/endian.h"
#include "disk/allocation_table.h"
#include "disk/layout.h"

namespace skelbrook {
namespace {

// When the drive's size is unknown: the table of a disk of about 3 TB, far beyond any recorder.
constexpr int64_t kLargestTableUnknownDrive = int64_t{1} << 23;

// Entries read beyond the drive's own clusters: a quarter of a megabyte, 25 GB of recordings.
constexpr int64_t kCutDumpMargin = 65536;

}  // namespace

bool SuccessorUnknown(const MediaGeometry& geometry, int64_t cluster) {
  return EntryUnknown(geometry.MediaFatUnknown, geometry.MediaFatOffset, cluster + 1);
}

std::string UnknownEntryText(const MediaGeometry& geometry, int64_t cluster) {
  const int64_t at = geometry.MediaFatOffset + 4 * (cluster + 1);
  for (const ReadGap& g : geometry.MediaFatUnknown) {
    if (Overlaps({g}, at, 4)) {
      return "the media allocation table could not be read at bytes " + std::to_string(g.first) +
             "-" + std::to_string(g.first + g.bytes - 1) + " (" + ByteText(g.first) + ", " +
             g.error + "), so the chain of clusters after cluster " + std::to_string(cluster) +
             " is unknown";
    }
  }
  return {};
}

void GetFileOffset(Drive& drive, MediaGeometry& geometry, CatalogueAccount& account) {
  geometry.KnownDrive = false;
  geometry.RejectReason.clear();
  const std::vector<ReadGap> gaps =
      ReadArea(drive, kMediaDescriptorOffset, kSector, kAreaMediaDescriptor, account.unreadable);
  const std::vector<uint8_t> descriptor = drive.BlockBuffer;
  if (!gaps.empty()) {
    geometry.RejectReason = "the media descriptor could not be read at " +
                            ByteText(gaps.front().first) + ": " + gaps.front().error;
    return;
  }
  geometry.MediaDirOffset = int64_t{descriptor[kDescDirSector]} * kSector;
  if (!HasRecognitionMarker(descriptor.data())) {
    geometry.RejectReason = "the recognition marker is missing";
    return;
  }

  int64_t entries = int64_t{LittleEndian32(descriptor.data() + kDescLastEntry)} + 1;
  const int64_t fatOffset = int64_t{LittleEndian32(descriptor.data() + kDescFatSector)} * kSector;
  const int64_t dataOffset = int64_t{LittleEndian32(descriptor.data() + kDescDataSector)} * kSector;
  const int64_t driveSize = drive.SizeBytes();
  if (driveSize > 0 && kMediaDirectoryOffset >= driveSize) {
    geometry.RejectReason = "the media directory lies beyond the end of the drive";
    return;
  }
  if (driveSize > 0 && dataOffset >= driveSize) {
    geometry.RejectReason = "the data area lies beyond the end of the drive";
    return;
  }
  // One entry per cluster the drive has room for, and the one before cluster 0; and a margin,
  // so that a dump of a disk that stopped early still knows the chains of the recordings that
  // run on past its end (a rescue copy then gives their full length, zeros where it ends).
  if (driveSize > 0) {
    entries = std::min(entries, (driveSize - dataOffset) / kMediaClusterSize + 1 + kCutDumpMargin);
  } else if (entries > kLargestTableUnknownDrive) {
    account.problems.push_back("the media allocation table claims " + std::to_string(entries) +
                               " entries on a drive of unknown size; only the first " +
                               std::to_string(kLargestTableUnknownDrive) + " are read");
    entries = kLargestTableUnknownDrive;
  }
  if (driveSize > 0 && fatOffset + entries * 4 > driveSize) {
    geometry.RejectReason = "the allocation table lies beyond the end of the drive";
    return;
  }

  AllocationTable table;
  std::vector<ReadGap> unknown;
  if (!LoadAllocationTable(drive, fatOffset, entries, table, kAreaMediaTable, account.unreadable,
                           unknown)) {
    geometry.RejectReason = "the allocation table does not fit in memory";
    return;
  }

  geometry.MediaFatCount = entries;
  geometry.MediaFatOffset = fatOffset;
  geometry.MediaDataOffset = dataOffset;
  geometry.MediaFat = std::move(table);
  geometry.MediaFatUnknown = std::move(unknown);
  geometry.DriveSize = driveSize;
  geometry.KnownDrive = true;
}

}  // namespace skelbrook
