// Finding the recorder disk for the user: the whole disks attached to the computer, with their
// model and size, each marked when its sector 16 reads like a 9200T disk (the recognition marker,
// read only, nothing else).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skelbrook {

struct DiskCandidate {
  std::string path;           // what the drive box takes: "/dev/sdc", "\\.\PhysicalDrive2"
  std::string model;          // the drive's model, or a loop device's image; may be empty
  int64_t sizeBytes = 0;      // 0 when unknown
  bool recorderDisk = false;  // sector 16 holds the recognition marker
  std::string problem;        // why the disk could not be looked at; empty when it was
};

// Where the disks are found. Linux: the entries of `sysBlock`, opened as `dev`/NAME (tests point
// both at folders of their own); Windows: \\.\PhysicalDrive0 to 31.
struct DiskPlaces {
  std::string sysBlock = "/sys/block";
  std::string dev = "/dev";
};

std::vector<DiskCandidate> FindDisks(const DiskPlaces& places = {});

// One line for the list: "/dev/sdc  WDC WD5000  500.1 GB  a 9200T disk".
std::string DescribeCandidate(const DiskCandidate& disk);

}  // namespace skelbrook
