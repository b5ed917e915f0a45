// Listing the attached disks and looking at sector 16 of each.
#include "disk/disk_finder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "device/disk_reader.h"
#include "device/file_system.h"
#include "disk/layout.h"

namespace skelbrook {
namespace {

constexpr const char* kNoRights = "no rights to read it";
constexpr int64_t kGigabyte = 1000000000;

#ifdef _WIN32
// Windows numbers its physical drives from 0; more than this many is unheard of.
constexpr int kWindowsDriveCount = 32;
#else
// /sys/block gives sizes in units of 512 bytes, whatever the disk's sector size.
constexpr int64_t kSysBlockUnit = 512;

std::string FirstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  const auto end = line.find_last_not_of(" \t\r\n");
  return end == std::string::npos ? std::string() : line.substr(0, end + 1);
}
#endif

// Opens the disk read-only and reads its sector 16; says why not in `problem`.
void LookAt(DiskCandidate& c) {
  std::unique_ptr<DiskReader> disk;
  if (Status s = OpenRawDisk(c.path, disk); !s.ok()) {
    c.problem = LacksRightsToRead(c.path) ? kNoRights : s.message();
    return;
  }
  if (c.sizeBytes == 0) c.sizeBytes = disk->SizeBytes();
  std::vector<uint8_t> sector(kSectorSize);
  std::string error;
  if (disk->ReadAt(kMediaDescriptorOffset, sector.data(), kSectorSize, error) == kSectorSize) {
    c.recorderDisk = HasRecognitionMarker(sector.data());
  }
}

}  // namespace

std::vector<DiskCandidate> FindDisks(const DiskPlaces& places) {
  std::vector<DiskCandidate> found;
#ifdef _WIN32
  (void)places;
  for (int n = 0; n < kWindowsDriveCount; ++n) {
    DiskCandidate c;
    c.path = "\\\\.\\PhysicalDrive" + std::to_string(n);
    LookAt(c);
    // A drive number that is not there opens for nobody: only drives that are, are listed.
    if (c.problem.empty() || c.problem == kNoRights) found.push_back(c);
  }
#else
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<fs::path> entries;
  for (const auto& e : fs::directory_iterator(places.sysBlock, ec)) entries.push_back(e.path());
  std::sort(entries.begin(), entries.end());
  for (const fs::path& entry : entries) {
    const std::string name = entry.filename().string();
    DiskCandidate c;
    c.path = places.dev + "/" + name;
    c.sizeBytes = std::atoll(FirstLine(entry / "size").c_str()) * kSysBlockUnit;
    // Loop devices that hold nothing, and RAM disks, are not disks anybody attached.
    if (c.sizeBytes == 0 || name.starts_with("ram") || name.starts_with("zram")) continue;
    c.model = FirstLine(entry / "device" / "model");
    if (c.model.empty()) c.model = FirstLine(entry / "loop" / "backing_file");
    LookAt(c);
    found.push_back(c);
  }
#endif
  return found;
}

std::string DescribeCandidate(const DiskCandidate& disk) {
  std::string text = disk.path;
  if (!disk.model.empty()) text += "  " + disk.model;
  if (disk.sizeBytes > 0) {
    // A stick or a small image reads better in MB than as "0.1 GB".
    const bool small = disk.sizeBytes < kGigabyte;
    char size[32];
    std::snprintf(size, sizeof size, small ? "  %.1f MB" : "  %.1f GB",
                  static_cast<double>(disk.sizeBytes) / (small ? 1e6 : 1e9));
    text += size;
  }
  if (!disk.problem.empty()) return text + "  (" + disk.problem + ")";
  return text + (disk.recorderDisk ? "  a 9200T disk" : "");
}

}  // namespace skelbrook
