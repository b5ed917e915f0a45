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
  return EntryUnknown(geometry.unknownTableRanges, geometry.tableOffset, cluster + 1);
}

std::string UnknownEntryText(const MediaGeometry& geometry, int64_t cluster) {
  const int64_t at = geometry.tableOffset + 4 * (cluster + 1);
  for (const ReadGap& g : geometry.unknownTableRanges) {
    if (Overlaps({g}, at, 4)) {
      return "the media allocation table could not be read at bytes " + std::to_string(g.first) +
             "-" + std::to_string(g.first + g.bytes - 1) + " (" + ByteText(g.first) + ", " +
             g.error + "), so the chain of clusters after cluster " + std::to_string(cluster) +
             " is unknown";
    }
  }
  return {};
}

void RecogniseDisk(Drive& drive, MediaGeometry& geometry, CatalogueAccount& account) {
  geometry.recognised = false;
  geometry.rejectReason.clear();
  const std::vector<ReadGap> gaps = ReadArea(drive, kMediaDescriptorOffset, kSectorSize,
                                             kAreaMediaDescriptor, account.unreadable);
  const std::vector<uint8_t> descriptor = drive.Buffer();
  if (!gaps.empty()) {
    geometry.rejectReason = "the media descriptor could not be read at " +
                            ByteText(gaps.front().first) + ": " + gaps.front().error;
    return;
  }
  geometry.directoryOffset = int64_t{descriptor[kDescDirSector]} * kSectorSize;
  if (!HasRecognitionMarker(descriptor.data())) {
    geometry.rejectReason = "the recognition marker is missing";
    return;
  }

  int64_t entries = int64_t{LittleEndian32(descriptor.data() + kDescLastEntry)} + 1;
  const int64_t fatOffset =
      int64_t{LittleEndian32(descriptor.data() + kDescFatSector)} * kSectorSize;
  const int64_t dataOffset =
      int64_t{LittleEndian32(descriptor.data() + kDescDataSector)} * kSectorSize;
  const int64_t driveSize = drive.SizeBytes();
  if (driveSize > 0 && kMediaDirectoryOffset >= driveSize) {
    geometry.rejectReason = "the media directory lies beyond the end of the drive";
    return;
  }
  if (driveSize > 0 && dataOffset >= driveSize) {
    geometry.rejectReason = "the data area lies beyond the end of the drive";
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
    geometry.rejectReason = "the allocation table lies beyond the end of the drive";
    return;
  }

  AllocationTable table;
  std::vector<ReadGap> unknown;
  if (!LoadAllocationTable(drive, fatOffset, entries, table, kAreaMediaTable, account.unreadable,
                           unknown)) {
    geometry.rejectReason = "the allocation table does not fit in memory";
    return;
  }

  geometry.entryCount = entries;
  geometry.tableOffset = fatOffset;
  geometry.dataOffset = dataOffset;
  geometry.allocationTable = std::move(table);
  geometry.unknownTableRanges = std::move(unknown);
  geometry.driveSize = driveSize;
  geometry.recognised = true;
}

}  // namespace skelbrook
