// The image writer: lays out sector 0, the media descriptor, directory, allocation table and
// clusters, and the system area with _RECORD_LIST_ and the guide sectors, all stored the way the
// recorder stores them (records, directories and streams with every 4-byte group reversed).
#include "mkimage/image_writer.h"

#include <algorithm>
#include <fstream>
#include <map>

#include "catalogue/byte_order.h"
#include "device/file_system.h"
#include "disk/layout.h"

namespace skelbrook::mkimage {
namespace {

constexpr int64_t kTsPacket = 188;
constexpr uint8_t kTsSync = 0x47;
constexpr uint32_t kChainEndValue = 0xFFFFFFFFu;
constexpr int64_t kSystemDirSectorsAfterDescriptor = 8;
constexpr int64_t kSystemClusterSectors = kSystemClusterSize / kSectorSize;

int64_t RoundUp(int64_t value, int64_t unit) {
  return (value + unit - 1) / unit * unit;
}

void PutLittle32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

void PutBig(uint8_t* p, uint64_t v, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}

// Bytes in restored order to the order the disk holds them (the reversal is its own inverse).
std::vector<uint8_t> Stored(std::vector<uint8_t> restored) {
  restored.resize(static_cast<size_t>(RoundUp(static_cast<int64_t>(restored.size()), 4)), 0);
  RestoreByteOrderPortable(restored.data(), restored.data(), restored.size());
  return restored;
}

// One directory entry in restored order.
std::array<uint8_t, kDirEntrySize> DirEntry(const std::string& name, int64_t startSector,
                                            int64_t length) {
  std::array<uint8_t, kDirEntrySize> e{};
  PutBig(e.data() + kEntryStartSector, static_cast<uint64_t>(startSector), 4);
  PutBig(e.data() + 32, static_cast<uint64_t>(length), 8);
  for (size_t i = 0; i < name.size() && i < 64; ++i)
    e[kEntryName + i] = static_cast<uint8_t>(name[i]);
  return e;
}

// The places on the image every part of the layout goes to.
struct Plan {
  int64_t mediaFatOffset = 0;
  int64_t mediaDataOffset = 0;
  int64_t systemDescriptorOffset = 0;
  int64_t systemDirOffset = 0;
  int64_t systemFatOffset = 0;
  int64_t systemDataOffset = 0;
  std::vector<std::vector<int64_t>> chains;  // media clusters per recording
  std::vector<int64_t> recordListClusters;
  std::vector<int64_t> guideSectors;  // per recording; 0 when it has no guide
};

class ImageFile {
 public:
  explicit ImageFile(const std::string& path) : out_(PathFromUtf8(path), std::ios::binary) {}
  bool ok() const { return static_cast<bool>(out_); }
  void Write(int64_t offset, const uint8_t* data, int64_t count) {
    out_.seekp(offset);
    out_.write(reinterpret_cast<const char*>(data), count);
    end_ = std::max(end_, offset + count);
  }
  void Write(int64_t offset, const std::vector<uint8_t>& data) {
    Write(offset, data.data(), static_cast<int64_t>(data.size()));
  }
  int64_t End() const { return end_; }
  bool Close() {
    out_.close();
    return !out_.fail();
  }

 private:
  std::ofstream out_;
  int64_t end_ = 0;
};

Plan MakePlan(const ImageDesign& design) {
  Plan plan;
  plan.mediaFatOffset = design.mediaFatSector * kSectorSize;
  const int64_t fatEnd = plan.mediaFatOffset + RoundUp(design.mediaFatEntries * 4, kSectorSize);
  plan.systemDescriptorOffset = design.systemDescriptorSector > 0
                                    ? design.systemDescriptorSector * kSectorSize
                                    : RoundUp(fatEnd + 16 * kSectorSize, 64 * kSectorSize);
  plan.systemDirOffset =
      plan.systemDescriptorOffset + kSystemDirSectorsAfterDescriptor * kSectorSize;
  plan.systemFatOffset = plan.systemDirOffset + kDirectoryBlockSize;
  plan.systemDataOffset = plan.systemDescriptorOffset + kSystemDataAreaDistance;
  const int64_t systemEnd = plan.systemDataOffset + design.systemFatEntries * kSystemClusterSize;
  plan.mediaDataOffset = design.mediaDataSector > 0 ? design.mediaDataSector * kSectorSize
                                                    : RoundUp(systemEnd, 64 * kSectorSize);

  int64_t nextCluster = 1;
  for (const ImageRecording& r : design.recordings) {
    std::vector<int64_t> chain = r.clusters;
    if (chain.empty() && r.withMediaFile) {
      const int64_t count =
          std::max<int64_t>(1, (r.size + kMediaClusterSize - 1) / kMediaClusterSize);
      for (int64_t i = 0; i < count; ++i) chain.push_back(nextCluster++);
    }
    for (const int64_t c : chain) nextCluster = std::max(nextCluster, c + 1);
    plan.chains.push_back(std::move(chain));
  }

  const int64_t listBytes = static_cast<int64_t>(design.recordings.size()) * kRecordSize;
  plan.recordListClusters = design.recordListClusters;
  int64_t nextSystemCluster = 1;
  if (plan.recordListClusters.empty()) {
    const int64_t count =
        std::max<int64_t>(1, (listBytes + kSystemClusterSize - 1) / kSystemClusterSize);
    for (int64_t i = 0; i < count; ++i) plan.recordListClusters.push_back(nextSystemCluster++);
  }
  for (const int64_t c : plan.recordListClusters)
    nextSystemCluster = std::max(nextSystemCluster, c + 1);
  int64_t guideSector =
      plan.systemDataOffset / kSectorSize + nextSystemCluster * kSystemClusterSectors;
  for (const ImageRecording& r : design.recordings) {
    plan.guideSectors.push_back(r.description ? guideSector++ : 0);
  }
  return plan;
}

std::vector<uint8_t> MediaDescriptor(const ImageDesign& design, const Plan& plan) {
  std::vector<uint8_t> d(kSectorSize, 0);
  PutLittle32(d, kDescLastEntry, static_cast<uint32_t>(design.mediaFatEntries - 1));
  d[kDescDirSector] = design.recognitionMarker;
  PutLittle32(d, kDescFatSector, static_cast<uint32_t>(plan.mediaFatOffset / kSectorSize));
  PutLittle32(d, kDescDataSector, static_cast<uint32_t>(plan.mediaDataOffset / kSectorSize));
  return d;
}

std::vector<uint8_t> SystemDescriptor(const ImageDesign& design, const Plan& plan) {
  std::vector<uint8_t> d(kSectorSize, 0);
  PutLittle32(d, kDescLastEntry, static_cast<uint32_t>(design.systemFatEntries - 1));
  PutLittle32(d, kDescDirSector, static_cast<uint32_t>(plan.systemDirOffset / kSectorSize));
  PutLittle32(d, kDescFatSector, static_cast<uint32_t>(plan.systemFatOffset / kSectorSize));
  return d;
}

std::vector<uint8_t> Sector0(const Plan& plan) {
  std::vector<uint8_t> s(kSectorSize, 0);
  const auto sector = static_cast<uint32_t>(plan.systemDescriptorOffset / kSectorSize);
  for (int i = 0; i < 4; ++i) {
    s[static_cast<size_t>(kSector0DescriptorBytes[i])] =
        static_cast<uint8_t>(sector >> (8 * (3 - i)));
  }
  return s;
}

// Allocation table entries: entry c + 1 holds the successor of cluster c.
void Chain(std::map<int64_t, uint32_t>& table, const std::vector<int64_t>& clusters,
           std::optional<uint32_t> end) {
  for (size_t i = 0; i < clusters.size(); ++i) {
    const uint32_t next = i + 1 < clusters.size() ? static_cast<uint32_t>(clusters[i + 1])
                                                  : end.value_or(kChainEndValue);
    table[clusters[i] + 1] = next;
  }
}

void WriteTable(ImageFile& image, int64_t offset, int64_t entries,
                const std::map<int64_t, uint32_t>& table) {
  std::vector<uint8_t> raw(static_cast<size_t>(entries * 4), 0);
  for (const auto& [index, value] : table) {
    if (index >= 0 && index < entries) PutLittle32(raw, static_cast<size_t>(index * 4), value);
  }
  image.Write(offset, raw);
}

std::vector<uint8_t> Record(const ImageRecording& r) {
  std::vector<uint8_t> rec(kRecordSize, 0);
  rec[kRecSlot] = static_cast<uint8_t>(r.slot);
  PutBig(rec.data() + kRecStart, r.start, 4);
  PutBig(rec.data() + kRecEnd, r.end, 4);
  int at = kRecTitle;
  if (r.titlePrefix) {
    rec[kRecTitle] = kTitlePrefix0;
    rec[kRecTitle + 1] = kTitlePrefix1;
    at = kRecTitleAfterPrefix;
  }
  for (size_t i = 0; i < r.title.size() && at <= kRecTitleLast; ++i)
    rec[static_cast<size_t>(at++)] = static_cast<uint8_t>(r.title[i]);
  for (size_t i = 0; i < r.channel.size() && kRecChannel + static_cast<int>(i) <= kRecChannelLast;
       ++i) {
    rec[kRecChannel + i] = static_cast<uint8_t>(r.channel[i]);
  }
  return rec;
}

std::string MediaName(const ImageRecording& r) {
  return r.mediaName.empty() ? std::to_string(r.slot) + ".a" : r.mediaName;
}

// The natural-order bytes of cluster `k` of the recording: its content up to its size, and for
// a stream, what its tail design puts after the end in the last cluster.
std::vector<uint8_t> ClusterContent(const ImageRecording& r, int64_t k) {
  const int64_t from = k * kMediaClusterSize;
  if (!r.stream) return RecordingBytes(r.seed, from, kMediaClusterSize);
  const int64_t own = std::clamp<int64_t>(r.size - from, 0, kMediaClusterSize);
  std::vector<uint8_t> bytes = StreamBytes(*r.stream, r.seed, from, own);
  const int64_t rest = kMediaClusterSize - own;
  if (rest == 0 || r.tail.kind == TailDesign::Kind::Zeros) {
    bytes.resize(static_cast<size_t>(kMediaClusterSize), 0);
  } else if (r.tail.kind == TailDesign::Kind::Junk) {
    uint32_t state = r.seed ^ 0x5EEDu;
    while (bytes.size() < static_cast<size_t>(kMediaClusterSize)) {
      state = state * 1103515245u + 12345u;
      bytes.push_back(static_cast<uint8_t>((state >> 16) | 1));  // never a run of sync bytes
    }
  } else {
    // The older recording's packets as they lay in this cluster before: aligned as packets are.
    const std::vector<uint8_t> stale =
        StreamBytes(r.tail.stale, r.tail.staleSeed,
                    r.tail.stalePacket * 188 + (from + own) % kMediaClusterSize, rest);
    bytes.insert(bytes.end(), stale.begin(), stale.end());
  }
  return bytes;
}

void WriteRecordingData(ImageFile& image, const Plan& plan, const ImageRecording& r,
                        const std::vector<int64_t>& chain) {
  for (size_t k = 0; k < chain.size(); ++k) {
    const auto& written = r.writtenClusters;
    if (!written.empty() &&
        std::find(written.begin(), written.end(), static_cast<int64_t>(k)) == written.end()) {
      continue;
    }
    std::vector<uint8_t> cluster = ClusterContent(r, static_cast<int64_t>(k));
    RestoreByteOrderPortable(cluster.data(), cluster.data(), cluster.size());
    image.Write(plan.mediaDataOffset + chain[k] * kMediaClusterSize, cluster);
  }
}

}  // namespace

std::vector<uint8_t> RecordingBytes(uint32_t seed, int64_t offset, int64_t count) {
  std::vector<uint8_t> out(static_cast<size_t>(std::max<int64_t>(count, 0)));
  uint8_t packet[kTsPacket];
  int64_t packetIndex = -1;
  for (int64_t i = 0; i < count; ++i) {
    const int64_t pos = offset + i;
    if (pos / kTsPacket != packetIndex) {
      packetIndex = pos / kTsPacket;
      packet[0] = kTsSync;
      packet[1] = 0x01;
      packet[2] = static_cast<uint8_t>(seed);
      packet[3] = static_cast<uint8_t>(0x10 | (packetIndex & 0x0F));
      uint32_t state =
          seed * 2654435761u ^ static_cast<uint32_t>(packetIndex) * 40503u ^ 0x9E3779B9u;
      for (int j = 4; j < kTsPacket; ++j) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        packet[j] = static_cast<uint8_t>(state | 1);
      }
    }
    out[static_cast<size_t>(i)] = packet[pos % kTsPacket];
  }
  return out;
}

namespace {

// The media directory, the chains of the media allocation table and the recordings' clusters.
std::vector<uint8_t> WriteMediaArea(const ImageDesign& design, const Plan& plan, ImageFile& image,
                                    std::map<int64_t, uint32_t>& mediaTable) {
  std::vector<uint8_t> mediaDir(kDirectoryBlockSize, 0);
  int mediaEntry = 0;
  for (size_t i = 0; i < design.recordings.size(); ++i) {
    const ImageRecording& r = design.recordings[i];
    const std::vector<int64_t>& chain = plan.chains[i];
    if (chain.empty()) continue;
    if (r.withMediaFile) {
      const auto entry =
          DirEntry(MediaName(r),
                   (plan.mediaDataOffset + chain[0] * kMediaClusterSize) / kSectorSize, r.size);
      std::copy(entry.begin(), entry.end(), mediaDir.begin() + mediaEntry++ * kDirEntrySize);
    }
    if (r.inTable) Chain(mediaTable, chain, r.chainEnd);
    WriteRecordingData(image, plan, r, chain);
  }
  return mediaDir;
}

// _RECORD_LIST_ along its system clusters, their chain in `systemTable`; returns the size its
// directory entry gives.
int64_t WriteRecordList(const ImageDesign& design, const Plan& plan, ImageFile& image,
                        std::map<int64_t, uint32_t>& systemTable) {
  std::vector<uint8_t> records;
  for (const ImageRecording& r : design.recordings) {
    if (!r.withRecord) continue;
    const std::vector<uint8_t> rec = Record(r);
    records.insert(records.end(), rec.begin(), rec.end());
  }
  const int64_t listSize = design.recordListSize.value_or(static_cast<int64_t>(records.size()));
  records.resize(plan.recordListClusters.size() * kSystemClusterSize, 0);
  for (size_t k = 0; k < plan.recordListClusters.size(); ++k) {
    const std::vector<uint8_t> part(
        records.begin() + static_cast<int64_t>(k) * kSystemClusterSize,
        records.begin() + static_cast<int64_t>(k + 1) * kSystemClusterSize);
    image.Write(plan.systemDataOffset + plan.recordListClusters[k] * kSystemClusterSize,
                Stored(part));
  }
  Chain(systemTable, plan.recordListClusters, std::nullopt);
  return listSize;
}

// The root directory: _RECORD_LIST_'s entry, and one guide sector (written here) per recording
// with a description.
std::vector<uint8_t> WriteRootDirectory(const ImageDesign& design, const Plan& plan,
                                        ImageFile& image, int64_t listSize) {
  std::vector<uint8_t> rootDir(kDirectoryBlockSize, 0);
  int rootEntry = 0;
  auto nextRootEntry = [&]() {
    if (design.withRecordList && rootEntry == design.recordListEntry) ++rootEntry;
    return rootEntry++;
  };
  if (design.withRecordList) {
    const auto entry = DirEntry(
        "_RECORD_LIST_",
        (plan.systemDataOffset + plan.recordListClusters[0] * kSystemClusterSize) / kSectorSize,
        listSize);
    std::copy(entry.begin(), entry.end(), rootDir.begin() + design.recordListEntry * kDirEntrySize);
  }
  for (size_t i = 0; i < design.recordings.size(); ++i) {
    const ImageRecording& r = design.recordings[i];
    if (!r.description) continue;
    std::vector<uint8_t> guide(kEpgSectorSize, 0);
    for (size_t j = 0;
         j < r.description->size() && kEpgTextFirst + static_cast<int>(j) <= kEpgTextLast; ++j) {
      guide[kEpgTextFirst + j] = static_cast<uint8_t>((*r.description)[j]);
    }
    image.Write(plan.guideSectors[i] * kSectorSize, Stored(guide));
    const auto entry =
        DirEntry(std::to_string(r.slot) + ".epg", plan.guideSectors[i], kEpgSectorSize);
    std::copy(entry.begin(), entry.end(), rootDir.begin() + nextRootEntry() * kDirEntrySize);
  }
  return rootDir;
}

}  // namespace

Status WriteImage(const ImageDesign& design, const std::string& path) {
  if (FileExists(path)) return Status::Error(path + " exists already");
  const Plan plan = MakePlan(design);
  ImageFile image(path);
  if (!image.ok()) return Status::Error("cannot create " + path);

  image.Write(0, Sector0(plan));
  image.Write(kMediaDescriptorOffset, MediaDescriptor(design, plan));
  image.Write(plan.systemDescriptorOffset, SystemDescriptor(design, plan));
  std::map<int64_t, uint32_t> mediaTable, systemTable;
  std::vector<uint8_t> mediaDir = WriteMediaArea(design, plan, image, mediaTable);
  const int64_t listSize = WriteRecordList(design, plan, image, systemTable);
  std::vector<uint8_t> rootDir = WriteRootDirectory(design, plan, image, listSize);
  for (const RawDirEntry& raw : design.rawEntries) {
    std::vector<uint8_t>& dir = raw.inMediaDirectory ? mediaDir : rootDir;
    if (raw.index < 0 || raw.index >= kDirEntryCount) continue;
    std::copy(raw.bytes.begin(), raw.bytes.end(), dir.begin() + raw.index * kDirEntrySize);
  }
  image.Write(kMediaDirectoryOffset, Stored(mediaDir));
  image.Write(plan.systemDirOffset, Stored(rootDir));
  WriteTable(image, plan.mediaFatOffset, design.mediaFatEntries, mediaTable);
  WriteTable(image, plan.systemFatOffset, design.systemFatEntries, systemTable);

  const int64_t size = std::max(design.imageSize, RoundUp(image.End(), kSectorSize));
  if (!image.Close()) return Status::Error("cannot write " + path);
  std::error_code ec;
  std::filesystem::resize_file(PathFromUtf8(path), static_cast<uintmax_t>(size), ec);
  if (ec) return Status::Error("cannot size " + path + ": " + ec.message());
  return Status::Ok();
}

}  // namespace skelbrook::mkimage
