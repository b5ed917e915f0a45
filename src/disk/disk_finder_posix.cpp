// The disks of a Linux system: the entries of /sys/block, with their size and model.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "disk/disk_finder.h"

namespace skelbrook {
namespace {

// /sys/block gives sizes in units of 512 bytes, whatever the disk's sector size.
constexpr int64_t kSysBlockUnit = 512;

std::string FirstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  const auto end = line.find_last_not_of(" \t\r\n");
  return end == std::string::npos ? std::string() : line.substr(0, end + 1);
}

}  // namespace

std::vector<DiskCandidate> FindDisks(const DiskPlaces& places) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<fs::path> entries;
  for (const auto& e : fs::directory_iterator(places.sysBlock, ec)) entries.push_back(e.path());
  std::sort(entries.begin(), entries.end());
  std::vector<DiskCandidate> found;
  for (const fs::path& entry : entries) {
    const std::string name = entry.filename().string();
    DiskCandidate c;
    c.path = places.dev + "/" + name;
    c.sizeBytes = std::atoll(FirstLine(entry / "size").c_str()) * kSysBlockUnit;
    // Loop devices that hold nothing, and RAM disks, are not disks anybody attached.
    if (c.sizeBytes == 0 || name.starts_with("ram") || name.starts_with("zram")) continue;
    c.model = FirstLine(entry / "device" / "model");
    if (c.model.empty()) c.model = FirstLine(entry / "loop" / "backing_file");
    LookAtDisk(c);
    found.push_back(c);
  }
  return found;
}

}  // namespace skelbrook
