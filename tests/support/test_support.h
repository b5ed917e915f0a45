// Shared test helpers: a temporary folder that cleans up after itself, disk images written with
// the image writer, and reading a whole catalogue through the real device layer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/read_catalogue.h"
#include "device/file_system.h"
#include "disk/media_geometry.h"
#include "mkimage/image_writer.h"

namespace skelbrook::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder, without a trailing separator.
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return folder() + name; }
  // The folder with the platform's separator at the end, as the destination folder is kept.
  std::string folder() const { return path_ + FolderSeparator(); }

 private:
  std::string path_;
};

// Writes `design` to `name` inside `dir` and returns the image's path; fails the test on error.
std::string WriteTestImage(const TempDir& dir, const mkimage::ImageDesign& design,
                           const std::string& name = "disk.img");

// Three recordings, listed in record order (not slot order): "Morning Show" on ONE, 07:30 on
// 5 March (slot 3, `firstSize` bytes, seed 31), "Film: Night Train" on Seven, 21:05 on
// 21 November (slot 11, 390,024 bytes, seed 32) and "Late News" on ABC1, 23:30 on 5 March
// (slot 7, 389,024 bytes, seed 33, no guide text). Their sizes leave tails of more than 1,024
// bytes after their last whole cluster, so the copies hold every byte.
mkimage::ImageDesign ThreeRecordings(int64_t firstSize = 780048);

// A recording of `size` bytes on contiguous clusters (or the given chain).
using mkimage::SampleRecording;

struct ReadBack : Catalogue {
  CatalogueResult result = CatalogueResult::Listed;
  std::string listFile;
};

// Opens the image (through `opener` when given), recognises it and reads its catalogue, as the
// front ends do.
ReadBack ReadImage(const std::string& imagePath, const DiskOpener& opener = {});

std::vector<uint8_t> ReadWholeFile(const std::string& path);
// Writes `bytes` at `offset` of the file, creating it when missing and keeping every other byte.
void WriteBytesAt(const std::string& path, int64_t offset, const std::vector<uint8_t>& bytes);
// A number as the disk's descriptors and allocation tables hold it: 4 bytes, least significant
// first.
std::vector<uint8_t> Little32(uint32_t value);
// A 128-byte directory entry in restored order: start sector at 12, length at 32..39 (most
// significant byte first), name from 64.
std::array<uint8_t, 128> DirEntryBytes(const std::string& name, uint32_t startSector,
                                       uint64_t length);
// FNV-1a over the file's bytes: "the source is unchanged" checks.
uint64_t FileChecksum(const std::string& path);

}  // namespace skelbrook::test
