// Shared test helpers.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/drive.h"
#include "device/file_system.h"

namespace skelbrook::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path base = fs::temp_directory_path() / ("skelbrook-test-" + std::to_string(stamp) +
                                                     "-" + std::to_string(counter++));
  fs::create_directories(base);
  path_ = Utf8FromPath(base);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(PathFromUtf8(path_), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(PathFromUtf8(path_), ec);
}

std::string WriteTestImage(const TempDir& dir, const mkimage::ImageDesign& design,
                           const std::string& name) {
  const std::string path = dir.file(name);
  const Status written = mkimage::WriteImage(design, path);
  EXPECT_TRUE(written.ok()) << written.message();
  return path;
}

ReadBack ReadImage(const std::string& imagePath, const DiskOpener& opener) {
  ReadBack back;
  std::ostringstream list;
  CatalogueObserver observer;
  back.result = ReadCatalogue(imagePath, opener, back, &list, observer);
  back.listFile = list.str();
  return back;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> bytes(static_cast<size_t>(FileLength(path).value_or(0)));
  std::ifstream(PathFromUtf8(path), std::ios::binary)
      .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void WriteBytesAt(const std::string& path, int64_t offset, const std::vector<uint8_t>& bytes) {
  if (!FileExists(path)) std::ofstream(PathFromUtf8(path), std::ios::binary).close();
  std::fstream io(PathFromUtf8(path), std::ios::binary | std::ios::in | std::ios::out);
  io.seekp(offset);
  io.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(io.good()) << "cannot write " << path;
}

std::vector<uint8_t> Little32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::array<uint8_t, 128> DirEntryBytes(const std::string& name, uint32_t startSector,
                                       uint64_t length) {
  std::array<uint8_t, 128> e{};
  for (size_t i = 0; i < 4; ++i) e[12 + i] = static_cast<uint8_t>(startSector >> (24 - 8 * i));
  for (size_t i = 0; i < 8; ++i) e[32 + i] = static_cast<uint8_t>(length >> (56 - 8 * i));
  for (size_t i = 0; i < name.size() && i < 64; ++i) e[64 + i] = static_cast<uint8_t>(name[i]);
  return e;
}

uint64_t FileChecksum(const std::string& path) {
  uint64_t hash = 1469598103934665603ull;
  for (const uint8_t b : ReadWholeFile(path)) hash = (hash ^ b) * 1099511628211ull;
  return hash;
}

mkimage::ImageDesign ThreeRecordings(int64_t firstSize) {
  std::string error;
  std::optional<mkimage::ImageDesign> design = mkimage::DesignFromJson(R"({"recordings": [
      {"slot": 3, "title": "Morning Show", "channel": "ONE", "start": 1709623800,
       "end": 1709626500, "size": 780048, "description": "Breakfast and the news.", "seed": 31},
      {"slot": 11, "title": "Film: Night Train", "channel": "Seven", "start": 1732223100,
       "end": 1732228800, "size": 390024, "description": "A thriller on rails.", "seed": 32},
      {"slot": 7, "title": "Late News", "channel": "ABC1", "start": 1709681400,
       "end": 1709682300, "size": 389024, "seed": 33}]})",
                                                                       error);
  design.value().recordings[0].size = firstSize;  // the design above is the writer's to take
  return *design;
}

}  // namespace skelbrook::test
