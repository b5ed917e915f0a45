// The demo disk's recordings, and image descriptions read from JSON.
#include <nlohmann/json.hpp>

#include "mkimage/image_writer.h"

namespace skelbrook::mkimage {
namespace {

// Windows-1252 for the characters the demo and descriptions use; anything else becomes "?".
std::string EncodeCp1252(const std::string& utf8) {
  static const std::pair<char32_t, uint8_t> kHigh[] = {
      {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85},
      {0x2020, 0x86}, {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A},
      {0x2039, 0x8B}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92},
      {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97},
      {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C},
      {0x017E, 0x9E}, {0x0178, 0x9F}};
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    char32_t cp = b;
    size_t len = 1;
    if (b >= 0xF0) {
      len = 4;
      cp = b & 0x07;
    } else if (b >= 0xE0) {
      len = 3;
      cp = b & 0x0F;
    } else if (b >= 0xC0) {
      len = 2;
      cp = b & 0x1F;
    }
    for (size_t k = 1; k < len && i + k < utf8.size(); ++k) cp = cp << 6 | (utf8[i + k] & 0x3F);
    i += len;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF) || (cp >= 0x81 && cp <= 0x9D)) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    char mapped = '?';
    for (const auto& [code, byte] : kHigh) {
      if (code == cp) mapped = static_cast<char>(byte);
    }
    out.push_back(mapped);
  }
  return out;
}

// 2026-03-07 00:00:00 UTC, the evening the demo recordings were made.
constexpr uint32_t kDemoDay = 1772841600u;

}  // namespace

ImageRecording SampleRecording(int slot, const std::string& title, int64_t size,
                               std::vector<int64_t> clusters) {
  ImageRecording r;
  r.slot = slot;
  r.title = title;
  r.channel = "ABC1";
  r.start = 1772841600u + static_cast<uint32_t>(slot) * 3600u;
  r.end = r.start + 1800u;
  r.description = "About " + title;
  r.size = size;
  r.clusters = std::move(clusters);
  r.seed = static_cast<uint32_t>(slot) * 7u + 1u;
  return r;
}

ImageDesign DemoImageDesign() {
  ImageDesign design;
  design.mediaFatEntries = 2048;
  struct Demo {
    int slot;
    const char* title;
    const char* channel;
    uint32_t startMinutes, minutes;
    const char* description;
    int64_t size;
  };
  const Demo demos[] = {
      {2, "The Evening News", "ABC1", 18 * 60 + 30, 30,
       "The day's stories from home and abroad, with sport and weather.", 3 * 1048576 + 4000},
      {3, "Gardening: Autumn Pruning", "SBS", 19 * 60, 60,
       "Which shrubs to cut back now, and which to leave until spring.", 2 * 1048576 + 188 * 77},
      {5, "Café Society", "ABC2", 20 * 60, 90, "A drama set in a Paris café in the 1920s. (Rpt)",
       4 * 1048576 + 12345},
      {7, "Film: The Long Road", "Seven", 21 * 60 + 30, 120,
       "A road movie across the outback. Some coarse language.", 5 * 1048576 + 99999},
      {12, "Late News", "ABC1", 23 * 60 + 30, 15, nullptr, 1048576 + 5000},
  };
  uint32_t seed = 11;
  for (const Demo& d : demos) {
    ImageRecording r;
    r.slot = d.slot;
    r.title = EncodeCp1252(d.title);
    r.channel = d.channel;
    r.start = kDemoDay + d.startMinutes * 60;
    r.end = r.start + d.minutes * 60;
    if (d.description != nullptr) r.description = EncodeCp1252(d.description);
    r.size = d.size;
    r.seed = seed++;
    design.recordings.push_back(r);
  }
  // The film lies in two pieces, as recordings on a well-used disk do.
  design.recordings[3].clusters = {40, 41, 42, 43, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99};
  return design;
}

namespace {

StreamDesign StreamFromJson(const nlohmann::json& j) {
  StreamDesign d;
  d.videoPid = j.value("video_pid", d.videoPid);
  d.audioPid = j.value("audio_pid", d.audioPid);
  d.pmtPid = j.value("pmt_pid", d.pmtPid);
  d.firstPcr = j.value("first_pcr", d.firstPcr);
  d.packetsPerSecond = j.value("packets_per_second", d.packetsPerSecond);
  d.time = j.value("time", d.time);
  d.eventName = EncodeCp1252(j.value("event", std::string()));
  return d;
}

TailDesign TailFromJson(const nlohmann::json& j) {
  TailDesign t;
  const std::string kind = j.value("kind", std::string("zeros"));
  t.kind = kind == "junk"    ? TailDesign::Kind::Junk
           : kind == "stale" ? TailDesign::Kind::Stale
                             : TailDesign::Kind::Zeros;
  if (j.contains("stale")) t.stale = StreamFromJson(j["stale"]);
  t.stalePacket = j.value("stale_packet", t.stalePacket);
  return t;
}

}  // namespace

std::optional<ImageDesign> DesignFromJson(const std::string& jsonText, std::string& error) {
  try {
    const nlohmann::json j = nlohmann::json::parse(jsonText);
    ImageDesign design;
    design.mediaFatEntries = j.value("media_fat_entries", design.mediaFatEntries);
    design.recognitionMarker = j.value("marker", design.recognitionMarker);
    design.mediaFatSector = j.value("media_fat_sector", design.mediaFatSector);
    design.mediaDataSector = j.value("media_data_sector", design.mediaDataSector);
    design.systemDescriptorSector =
        j.value("system_descriptor_sector", design.systemDescriptorSector);
    design.systemFatEntries = j.value("system_fat_entries", design.systemFatEntries);
    design.withRecordList = j.value("record_list", design.withRecordList);
    design.recordListEntry = j.value("record_list_entry", design.recordListEntry);
    design.recordListClusters = j.value("record_list_clusters", design.recordListClusters);
    if (j.contains("record_list_size"))
      design.recordListSize = j["record_list_size"].get<int64_t>();
    design.imageSize = j.value("image_size", design.imageSize);
    for (const auto& jr : j.value("recordings", nlohmann::json::array())) {
      ImageRecording r;
      r.slot = jr.value("slot", r.slot);
      r.title = EncodeCp1252(jr.value("title", std::string()));
      r.titlePrefix = jr.value("title_prefix", false);
      r.channel = EncodeCp1252(jr.value("channel", std::string()));
      r.start = jr.value("start", 0u);
      r.end = jr.value("end", 0u);
      if (jr.contains("description"))
        r.description = EncodeCp1252(jr["description"].get<std::string>());
      r.withMediaFile = jr.value("media_file", true);
      r.withRecord = jr.value("record", true);
      r.mediaName = jr.value("media_name", std::string());
      r.size = jr.value("size", int64_t{0});
      r.clusters = jr.value("clusters", std::vector<int64_t>{});
      if (jr.contains("chain_end")) r.chainEnd = jr["chain_end"].get<uint32_t>();
      r.seed = jr.value("seed", r.seed);
      if (jr.contains("stream")) r.stream = StreamFromJson(jr["stream"]);
      if (jr.contains("tail")) r.tail = TailFromJson(jr["tail"]);
      r.inTable = jr.value("in_table", true);
      r.writtenClusters = jr.value("written_clusters", std::vector<int64_t>{});
      design.recordings.push_back(r);
    }
    return design;
  } catch (const std::exception& e) {
    error = e.what();
    return std::nullopt;
  }
}

}  // namespace skelbrook::mkimage
