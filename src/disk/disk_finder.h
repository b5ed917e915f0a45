// Finding the recorder disk for the user: the whole disks attached to the computer, with their
// model and size, each marked when its sector 16 reads like a 9200T disk (the recognition marker,
// read only, nothing else).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skelbrook {

// What marks a disk that reads like a recorder's, first on its line.
inline constexpr const char* kRecorderDiskMark = "9200T disk \u2014 ";
// Why a disk could not be looked at, when the user lacks the rights to read it.
inline constexpr const char* kNoRightsToRead = "no rights to read it";

struct DiskCandidate {
  std::string path;           // what the drive box takes: "/dev/sdc", "\\.\PhysicalDrive2"
  std::string model;          // the drive's model, or a loop device's image; may be empty
  int64_t sizeBytes = 0;      // 0 when unknown
  bool recorderDisk = false;  // sector 16 holds the recognition marker
  std::string problem;        // why the disk could not be looked at; empty when it was
  bool systemDisk = false;    // the disk the system runs from: never the recorder's
};

// Where the disks are found (disk_finder_posix.cpp, disk_finder_win32.cpp). Linux: the entries of
// `sysBlock`, opened as `dev`/NAME (tests point both at folders of their own); Windows: the
// system's disk interface, or else the physical drive numbers in turn.
struct DiskPlaces {
  std::string sysBlock = "/sys/block";
  std::string dev = "/dev";
};

std::vector<DiskCandidate> FindDisks(const DiskPlaces& places = {});

// Opens the disk read-only and reads its sector 16; says why not in `problem`. Fills in the
// size when the finder could not tell it.
void LookAtDisk(DiskCandidate& disk);

// One line for the list, the mark first: "9200T disk — /dev/sdc  WDC WD5000  500.1 GB".
std::string DescribeCandidate(const DiskCandidate& disk);

}  // namespace skelbrook
