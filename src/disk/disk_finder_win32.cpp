// The disks of a Windows system: \\.\PhysicalDrive0 to 31, those that are there.
#include "disk/disk_finder.h"

namespace skelbrook {
namespace {

// Windows numbers its physical drives from 0; more than this many is unheard of.
constexpr int kWindowsDriveCount = 32;

}  // namespace

std::vector<DiskCandidate> FindDisks(const DiskPlaces&) {
  std::vector<DiskCandidate> found;
  for (int n = 0; n < kWindowsDriveCount; ++n) {
    DiskCandidate c;
    c.path = "\\\\.\\PhysicalDrive" + std::to_string(n);
    LookAtDisk(c);
    // A drive number that is not there opens for nobody: only drives that are, are listed.
    if (c.problem.empty() || c.problem == kNoRightsToRead) found.push_back(c);
  }
  return found;
}

}  // namespace skelbrook
