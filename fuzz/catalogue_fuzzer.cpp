// Fuzzes the whole read side of a recorder disk, and the copy of what it lists, on disk images held
// in memory and read through the real device layer.
//
// A few small images are written once with the image writer. An input picks one and changes it:
//
//   byte  meaning
//   0     bits 0-1: which image; bit 2: copy in rescue mode; bits 3-5: k > 0 cuts the drive
//         to k/8 of its length; bit 6: a read of the drive fails (the next 3 bytes give the
//         sector, little-endian, modulo the drive's sectors); bit 7: also list and copy the media
//         files the catalogue lost, and the recordings a search of the whole disk finds
//   then  patches, each: a region number (modulo the regions below), a 3-byte little-endian
//         offset into the region (modulo its length), a length byte n, then n + 1 bytes to write
//
// The regions are the structures the reader walks: sector 0, the media descriptor, the media
// directory, the media allocation table, the system descriptor, root directory and allocation
// table, the system data area (the record list and the guide sectors) and the whole image. So the
// fuzzer spends its changes where the parsers look, and a few bytes reach deep.
//
// Every listed row (up to a handful) is then copied into a scratch folder. The copy's promises
// are checked after each row: a downloaded file is complete under its final name, a failed one
// leaves nothing behind (or, rescued, the whole file and its list of unreadable ranges), and no
// ".part" ever remains.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/parse_catalogue.h"
#include "catalogue/read_catalogue.h"
#include "common/endian.h"
#include "common/ts_packet.h"
#include "device/file_system.h"
#include "disk/layout.h"
#include "disk/media_geometry.h"
#include "harness_support.h"
#include "mkimage/image_writer.h"
#include "recovery/lost_recordings.h"
#include "support/failing_disk.h"
#include "transfer/batch.h"

namespace skelbrook::fuzz {
namespace {

constexpr int64_t C = kMediaClusterSize;
// Rows copied per input, and the bytes one copy may write: the destination is "full" beyond it,
// which also bounds a chain that runs on far past its recording's size.
constexpr int kRowsCopied = 6;
constexpr int64_t kCopyBudget = 4 * C;

struct Region {
  int64_t offset;
  int64_t length;
};

struct BaseImage {
  std::vector<uint8_t> bytes;
  std::vector<Region> regions;
};

// A 32-bit table or descriptor value of the image; 0 where the image has none.
uint32_t Little32(const std::vector<uint8_t>& b, int64_t at) {
  if (at < 0 || at + 4 > static_cast<int64_t>(b.size())) return 0;
  return LittleEndian32(b.data() + at);
}

using mkimage::SampleRecording;

// Small tables keep the images small: a few MB, mostly the recordings' clusters.
mkimage::ImageDesign SmallDesign() {
  mkimage::ImageDesign design;
  design.mediaFatEntries = 64;
  design.systemFatEntries = 8;
  return design;
}

// Four recordings: a chain that runs backwards, a single short cluster with a prefixed title,
// a scattered three-cluster chain without a guide, and a record without a media file.
mkimage::ImageDesign PlainDesign() {
  mkimage::ImageDesign design = SmallDesign();
  design.recordings = {
      SampleRecording(2, "News", C + 5000, {2, 1}), SampleRecording(3, "Film: A/B", 3000, {3}),
      SampleRecording(7, "Late", 2 * C + 1500, {6, 4, 5}), SampleRecording(12, "Gone", C, {})};
  design.recordings[1].titlePrefix = true;
  design.recordings[2].description.reset();
  design.recordings[3].withMediaFile = false;
  return design;
}

// A record list of two clusters, stored out of order, most of its records without media files.
mkimage::ImageDesign LongListDesign() {
  mkimage::ImageDesign design = SmallDesign();
  for (int i = 0; i < 60; ++i) {
    mkimage::ImageRecording r = SampleRecording(2 + i, "Programme " + std::to_string(i), 0, {});
    r.withMediaFile = i == 0 || i == 3 || i == 5;  // among the rows copied
    if (r.withMediaFile) {
      r.size = 2000 + i;
      r.clusters = {1 + i};
    }
    if (i % 2 == 1) r.description.reset();
    design.recordings.push_back(r);
  }
  design.recordListClusters = {3, 1};
  return design;
}

// Oddities: two records of the same slot (one name, so the second copy is refused), a chain that
// loops, a chain that leaves the table, a media name with a non-digit, and the record list in the
// last entry searched.
mkimage::ImageDesign OddDesign() {
  mkimage::ImageDesign design = SmallDesign();
  mkimage::ImageRecording twin = SampleRecording(4, "Twin", 4000, {1});
  mkimage::ImageRecording loop = SampleRecording(5, "Loop", 3 * C, {2, 3});
  loop.chainEnd = 2;
  mkimage::ImageRecording away = SampleRecording(6, "Away", 2 * C, {4});
  away.chainEnd = 1000;
  mkimage::ImageRecording named = SampleRecording(8, "Named", 5000, {5});
  named.mediaName = "x8.abc";
  design.recordings = {twin, twin, loop, away, named};  // the twins share slot and name
  design.recordListEntry = 99;
  return design;
}

// Recordings the catalogue lost, as broadcasts made them: one deleted (its clusters free) and
// one whose chain the table still holds, their clusters interleaved; one listed beside them.
mkimage::ImageDesign LostDesign() {
  mkimage::ImageDesign design = SmallDesign();
  const int64_t packets = 2 * (C / kTsPacketSize) - 50;
  mkimage::ImageRecording freed = SampleRecording(3, "Freed", packets * kTsPacketSize, {3, 5});
  freed.stream = mkimage::StreamDesign{};
  freed.stream->time = 1736105400;
  freed.stream->eventName = "Quiz";
  freed.inTable = false;
  mkimage::ImageRecording orphan = SampleRecording(4, "Orphan", packets * kTsPacketSize, {4, 6});
  orphan.stream = mkimage::StreamDesign{};
  orphan.stream->videoPid = 0x200;
  orphan.stream->audioPid = 0x201;
  orphan.stream->firstPcr = 900000;
  orphan.tail.kind = mkimage::TailDesign::Kind::Junk;
  for (mkimage::ImageRecording* r : {&freed, &orphan}) r->withMediaFile = r->withRecord = false;
  design.recordings = {SampleRecording(2, "Kept", 3000, {1}), freed, orphan};
  return design;
}

// The structures of an image, found the way the reader finds them.
std::vector<Region> Regions(const std::vector<uint8_t>& b) {
  const auto size = static_cast<int64_t>(b.size());
  std::vector<Region> regions;
  regions.push_back({0, kSectorSize});
  regions.push_back({kMediaDescriptorOffset, kSectorSize});
  regions.push_back({kMediaDirectoryOffset, kDirectoryBlockSize});
  const int64_t mediaFat =
      int64_t{Little32(b, kMediaDescriptorOffset + kDescFatSector)} * kSectorSize;
  const int64_t mediaEntries = int64_t{Little32(b, kMediaDescriptorOffset + kDescLastEntry)} + 1;
  regions.push_back({mediaFat, mediaEntries * 4});
  int64_t descriptor = 0;
  for (const int at : kSector0DescriptorBytes)
    descriptor = descriptor << 8 | b[static_cast<size_t>(at)];
  descriptor *= kSectorSize;
  regions.push_back({descriptor, kSectorSize});
  regions.push_back(
      {int64_t{Little32(b, descriptor + kDescDirSector)} * kSectorSize, kDirectoryBlockSize});
  regions.push_back({int64_t{Little32(b, descriptor + kDescFatSector)} * kSectorSize,
                     (int64_t{Little32(b, descriptor + kDescLastEntry)} + 1) * 4});
  const int64_t systemData = descriptor + kSystemDataAreaDistance;
  const int64_t mediaData =
      int64_t{Little32(b, kMediaDescriptorOffset + kDescDataSector)} * kSectorSize;
  regions.push_back({systemData, std::max<int64_t>(mediaData - systemData, kSectorSize)});
  regions.push_back({0, size});
  for (Region& r : regions) {
    r.offset = std::clamp<int64_t>(r.offset, 0, size - 1);
    r.length = std::clamp<int64_t>(r.length, 1, size - r.offset);
  }
  return regions;
}

struct Images {
  std::vector<BaseImage> bases;
  int fd = -1;               // the drive: a file in memory
  std::string drivePath;     // how the device layer opens it
  size_t loaded = SIZE_MAX;  // which base the drive holds now
  std::string outFolder;
};

Images& State() {
  static Images images = [] {
    Images s;
    const std::string scratch = ScratchFolder();
    int n = 0;
    for (const mkimage::ImageDesign& design :
         {PlainDesign(), LongListDesign(), OddDesign(), LostDesign()}) {
      const std::string path = scratch + "/base" + std::to_string(n++) + ".img";
      const Status written = mkimage::WriteImage(design, path);
      Require(written.ok(), "base image", written.message());
      const std::optional<int64_t> length = FileLength(path);
      Require(length.has_value(), "base image length", path);
      BaseImage base;
      base.bytes.resize(static_cast<size_t>(*length));
      const int in = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      Require(in >= 0 && pread(in, base.bytes.data(), base.bytes.size(), 0) ==
                             static_cast<ssize_t>(base.bytes.size()),
              "base image read", path);
      close(in);
      (void)RemoveFile(path);
      base.regions = Regions(base.bytes);
      s.bases.push_back(std::move(base));
    }
    s.fd = memfd_create("skelbrook-disk", MFD_CLOEXEC);
    Require(s.fd >= 0, "memfd_create");
    s.drivePath = "/proc/self/fd/" + std::to_string(s.fd);
    s.outFolder = scratch + "/out";
    Require(mkdir(s.outFolder.c_str(), 0700) == 0, "output folder", s.outFolder);
    return s;
  }();
  return images;
}

void WriteAll(int fd, const uint8_t* data, int64_t count, int64_t offset) {
  Require(pwrite(fd, data, static_cast<size_t>(count), offset) == count, "writing the image");
}

// Puts a whole base image on the drive.
void Load(Images& s, size_t which) {
  const BaseImage& base = s.bases[which];
  Require(ftruncate(s.fd, 0) == 0 && ftruncate(s.fd, static_cast<off_t>(base.bytes.size())) == 0,
          "sizing the image");
  WriteAll(s.fd, base.bytes.data(), static_cast<int64_t>(base.bytes.size()), 0);
  s.loaded = which;
}

struct Patch {
  int64_t offset;
  int64_t length;
};

// Checks each copied row as soon as it is done.
class RowChecker : public BatchObserver {
 public:
  void rowFinished(size_t row, const CopyOutcome& o) override {
    const std::string where = "row " + std::to_string(row) + " " + o.path + ": " + o.reason;
    Require(!FileExists(o.path + ".part"), "a .part file remains", where);
    if (o.status == CopyStatus::Downloaded) {
      Require(o.reason.empty(), "a downloaded row has a reason", where);
      Require(FileLength(o.path) == o.bytesWritten, "the downloaded file is not complete", where);
      Require(o.bytesWritten <= kCopyBudget, "more written than the destination holds", where);
    } else if (o.path.ends_with(".incomplete.ts")) {
      // A rescue with holes, or one cut short: kept with its map, never under the final name.
      Require(FileExists(o.path + ".map"), "the rescued file has no map", where);
      Require(!FileExists(o.path.substr(0, o.path.size() - 14) + ".ts"),
              "a rescue with holes took the final name", where);
      Require(o.unreadableBytes == 0 || FileLength(o.path) == o.bytesWritten,
              "the rescued file is not complete", where);
    } else {
      Require(!o.reason.empty(), "a failed row has no reason", where);
      Require(o.alreadyExists || !FileExists(o.path), "a failed copy left a file", where);
    }
  }
};

void CopyListedRows(const Images& s, const MediaGeometry& geometry,
                    std::vector<Recording>& recordings, bool rescue, const DiskOpener& opener) {
  BatchCounters counters;
  const size_t copied = std::min<size_t>(recordings.size(), kRowsCopied);
  for (size_t i = 0; i < copied; ++i) {
    recordings[i].ticked = true;
    counters.totalBytes += recordings[i].media.size;
  }
  CopyJob job;
  job.driveText = s.drivePath;
  job.destinationFolder = s.outFolder + "/";
  job.geometry = &geometry;
  job.rescue = rescue;
  job.openDisk = opener;
  job.makeOutput = test::RefusingAfter(kCopyBudget);
  RowChecker checker;
  const BatchResult result = CopyTickedRecordings(recordings, job, counters, checker);
  Require(result.outcomes.size() == copied, "not every ticked row was copied");
  EmptyFolder(s.outFolder);
}

void ReadAndCopy(const Images& s, int64_t failSector, bool rescue, bool withUnlisted) {
  Catalogue c;
  std::ostringstream list;
  CatalogueObserver observer;
  const DiskOpener opener =
      failSector >= 0 ? test::FailingAt({{failSector * kSectorSize, kSectorSize}}) : DiskOpener{};
  const CatalogueResult result =
      ReadCatalogue(s.drivePath, opener, c, &list, observer, withUnlisted);
  const MediaGeometry& geometry = c.geometry;
  std::vector<Recording>& recordings = c.recordings;
  if (!geometry.recognised) {
    Require(!c.rejection.empty(), "a rejected drive without a reason");
    return;
  }
  Require(geometry.allocationTable.size() == static_cast<size_t>(geometry.entryCount) + 1,
          "the table does not match its count");
  Require(geometry.entryCount * 4 <= geometry.driveSize, "a table larger than the drive");
  for (const UnreadableRange& r : c.account.unreadable) {
    if (r.error != test::kIoErrorText) continue;  // a cut drive ends early
    Require(failSector >= 0 && r.firstByte >= failSector * kSectorSize &&
                r.firstByte + r.bytes <= (failSector + 1) * kSectorSize,
            "an unreadable range outside the failing sector", r.area);
  }
  // The media files the catalogue lost are listed also when its record list is gone.
  if (result != CatalogueResult::Listed && !(withUnlisted && result != CatalogueResult::Stopped))
    return;
  const std::string text = list.str();
  Require(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) == recordings.size() + 1,
          "the list file does not have a line per row");
  Require(static_cast<size_t>(std::count(text.begin(), text.end(), '\t')) == recordings.size() * 2,
          "the list file does not have three values per row");
  if (withUnlisted) {
    // And the recordings it lost, searched for over the whole disk: each found one lies on
    // clusters of the table's reach, each once, and is no longer than they hold.
    WorkObserver quiet;
    Require(SearchForLostRecordings(s.drivePath, opener, c, quiet).ok(), "the search failed");
    std::vector<bool> used(static_cast<size_t>(geometry.entryCount) + 1);
    for (const Recording& r : recordings) {
      if (!r.found) continue;
      Require(!r.clusters.empty() && r.media.size > 0 &&
                  r.media.size <= static_cast<int64_t>(r.clusters.size()) * C,
              "a found recording's size does not fit its clusters", r.rowText);
      for (const int64_t cluster : r.clusters) {
        Require(cluster >= 0 && cluster <= geometry.entryCount && !used[size_t(cluster)],
                "a found recording's cluster is outside the table or used twice", r.rowText);
        used[static_cast<size_t>(cluster)] = true;
      }
    }
  }
  CopyListedRows(s, geometry, recordings, rescue, opener);
}

}  // namespace
}  // namespace skelbrook::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skelbrook;
  using namespace skelbrook::fuzz;
  Images& s = State();
  size_t at = 0;
  const uint8_t flags = size > 0 ? data[at++] : 0;
  const size_t which = (flags & 3u) % s.bases.size();
  const bool rescue = (flags & 4u) != 0;
  const int cut = (flags >> 3) & 7;
  const BaseImage& base = s.bases[which];
  const auto length = static_cast<int64_t>(base.bytes.size());
  if (s.loaded != which) Load(s, which);

  int64_t failSector = -1;
  if ((flags & 0x40u) != 0 && at + 3 <= size) {
    failSector = (data[at] | data[at + 1] << 8 | data[at + 2] << 16) % (length / kSectorSize);
    at += 3;
  }
  std::vector<Patch> patches;
  while (at + 5 <= size) {
    const Region& region = base.regions[data[at] % base.regions.size()];
    const int64_t within = (data[at + 1] | data[at + 2] << 8 | data[at + 3] << 16) % region.length;
    const auto want = static_cast<int64_t>(data[at + 4]) + 1;
    at += 5;
    const int64_t count =
        std::min({want, static_cast<int64_t>(size - at), length - region.offset - within});
    WriteAll(s.fd, data + at, count, region.offset + within);
    patches.push_back({region.offset + within, count});
    at += static_cast<size_t>(count);
  }
  const int64_t driveLength = cut == 0 ? length : length * cut / 8 / kSectorSize * kSectorSize;
  if (cut != 0) Require(ftruncate(s.fd, driveLength) == 0, "cutting the drive");

  ReadAndCopy(s, failSector, rescue, (flags & 0x80u) != 0);

  // Back to the base image for the next input.
  if (cut != 0) {
    Require(ftruncate(s.fd, length) == 0, "restoring the drive's length");
    WriteAll(s.fd, base.bytes.data() + driveLength, length - driveLength, driveLength);
  }
  for (const Patch& p : patches) WriteAll(s.fd, base.bytes.data() + p.offset, p.length, p.offset);
  return 0;
}
