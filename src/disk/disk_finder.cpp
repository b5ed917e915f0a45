// Looking at sector 16 of a disk the platform's finder listed, and the line that describes it.
#include "disk/disk_finder.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "device/disk_reader.h"
#include "disk/layout.h"

namespace skelbrook {
namespace {

constexpr int64_t kGigabyte = 1000000000;

}  // namespace

void LookAtDisk(DiskCandidate& disk) {
  std::unique_ptr<DiskReader> reader;
  if (Status s = OpenRawDisk(disk.path, reader); !s.ok()) {
    disk.problem = LacksRightsToRead(disk.path) ? kNoRightsToRead : s.message();
    return;
  }
  if (disk.sizeBytes == 0) disk.sizeBytes = reader->SizeBytes();
  std::vector<uint8_t> sector(kSectorSize);
  std::string error;
  if (reader->ReadAt(kMediaDescriptorOffset, sector.data(), kSectorSize, error) == kSectorSize) {
    disk.recorderDisk = HasRecognitionMarker(sector.data());
  }
}

std::string DescribeCandidate(const DiskCandidate& disk) {
  // The mark first, where a long line (an image's path) cannot cut it off.
  std::string text = disk.recorderDisk && disk.problem.empty() ? kRecorderDiskMark : "";
  text += disk.path;
  if (!disk.model.empty()) text += "  " + disk.model;
  if (disk.sizeBytes > 0) {
    // A stick or a small image reads better in MB than as "0.1 GB".
    const bool small = disk.sizeBytes < kGigabyte;
    char size[32];
    std::snprintf(size, sizeof size, small ? "  %.1f MB" : "  %.1f GB",
                  static_cast<double>(disk.sizeBytes) / (small ? 1e6 : 1e9));
    text += size;
  }
  if (disk.systemDisk) text += "  (the system disk)";
  if (!disk.problem.empty()) text += "  (" + disk.problem + ")";
  return text;
}

}  // namespace skelbrook
