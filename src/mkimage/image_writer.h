// Writes a disk image in the 9200T recorder's format from a description: recordings along
// explicit cluster chains, their catalogue records and guide sectors, and raw directory entries
// for the unusual cases. The demo disk and every test fixture come from here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"

namespace skelbrook::mkimage {

// A recording's content as a broadcast sends it, packet by packet: the program tables, video
// carrying the clock, sound; with a time, time-and-date tables, and with an event name, the
// present event's information. See StreamBytes.
struct StreamDesign {
  int videoPid = 0x100;
  int audioPid = 0x101;
  int pmtPid = 0x1000;
  int64_t firstPcr = 0;             // the clock (90 kHz) at the stream's first packet
  int64_t packetsPerSecond = 2000;  // how the clock runs against the packets (about 3 Mbit/s)
  int64_t time = -1;                // UTC seconds at the first packet; -1: no time tables
  std::string eventName;            // empty: no event information
  // A packet lost in reception: the stream goes on with the one after it, so one stream's
  // counter skips a step there. -1: none lost.
  int64_t lostPacket = -1;
};

// What fills the rest of a recording's last cluster after its end.
struct TailDesign {
  enum class Kind { Zeros, Junk, Stale } kind = Kind::Zeros;
  StreamDesign stale;  // Stale: an older recording's packets, from packet `stalePacket`
  int64_t stalePacket = 0;
  uint32_t staleSeed = 99;
};

struct ImageRecording {
  int slot = 2;              // record byte 6; 0 makes a record that is not listed
  std::string title;         // bytes as stored (Windows-1252)
  bool titlePrefix = false;  // stores 0x10 0x69 0x00 before the title, as some broadcasts do
  std::string channel;       // bytes as stored
  uint32_t start = 0;        // seconds since 1970-01-01, UTC
  uint32_t end = 0;
  std::optional<std::string> description;  // guide text; none = no guide file for the slot
  bool withMediaFile = true;               // an entry "<slot>.a..." in the media directory
  bool withRecord = true;  // a record in _RECORD_LIST_ (false: a media file the list lost)
  std::string mediaName;   // media file name; empty = zero-padded "<slot>.a" form "NNN.a"
  int64_t size = 0;        // length stored in the media directory
  // Media clusters of the recording in chain order; empty = as many contiguous clusters as the
  // size needs, placed after the previous recording.
  std::vector<int64_t> clusters;
  // The chain's last cluster's successor entry; the usual end value unless a test wants another
  // (for example a loop back or a cluster beyond the table).
  std::optional<uint32_t> chainEnd;
  uint32_t seed = 1;  // the transport-stream content is a function of seed and byte position
  // Content written packet by packet as a broadcast has it (instead of the plain test packets),
  // and what follows its end in its last cluster.
  std::optional<StreamDesign> stream;
  TailDesign tail;
  // The chain positions (0 = its first cluster) whose content is written; empty = all. The
  // others stay holes in the sparse image and read as zeros: a recording of gigabytes that
  // costs only what is written.
  std::vector<int64_t> writtenClusters;
  // Whether its chain is in the allocation table (false: the table has lost it, or a deleted
  // recording's clusters were marked free). Its clusters are written whenever it has some.
  bool inTable = true;
};

// A directory entry written as given (restored order, 128 bytes) at an entry index, after the
// generated entries, replacing whatever would be there.
struct RawDirEntry {
  bool inMediaDirectory = true;  // false: the system area's root directory
  int index = 0;
  std::array<uint8_t, 128> bytes{};
};

struct ImageDesign {
  std::vector<ImageRecording> recordings;
  std::vector<RawDirEntry> rawEntries;

  int64_t mediaFatEntries = 4096;      // entries in the media allocation table
  uint8_t recognitionMarker = 118;     // descriptor byte 252
  int64_t mediaFatSector = 640;        // table start sector
  int64_t mediaDataSector = 0;         // 0 = right after the table, on a whole-cluster boundary
  int64_t systemDescriptorSector = 0;  // 0 = after the media data area
  int64_t systemFatEntries = 1024;
  bool withRecordList = true;  // false: no _RECORD_LIST_ entry at all
  int recordListEntry = 0;     // root-directory entry index of _RECORD_LIST_
  // System-area clusters holding _RECORD_LIST_ in order; empty = contiguous from cluster 1.
  std::vector<int64_t> recordListClusters;
  // Overrides the stored size of _RECORD_LIST_; default = records x 304.
  std::optional<int64_t> recordListSize;
  int64_t imageSize = 0;  // 0 = just large enough for everything written
};

// Writes the image as a sparse file; fails when `path` exists.
Status WriteImage(const ImageDesign& design, const std::string& path);

// The natural-order bytes of a recording's stream from byte `offset` for `count` bytes: 188-byte
// transport-stream packets (0x47 sync byte) whose payload follows from the seed. A copy of the
// recording must equal RecordingBytes(seed, 0, length).
std::vector<uint8_t> RecordingBytes(uint32_t seed, int64_t offset, int64_t count);

// The natural-order bytes of a broadcast stream from byte `offset` for `count` bytes.
std::vector<uint8_t> StreamBytes(const StreamDesign& design, uint32_t seed, int64_t offset,
                                 int64_t count);

// A plain recording for tests: channel "ABC1", half an hour from slot x one hour after the demo
// day, a guide text "About <title>", content seed slot x 7 + 1, on `clusters` (or contiguous).
ImageRecording SampleRecording(int slot, const std::string& title, int64_t size,
                               std::vector<int64_t> clusters = {});

// The demo disk: a handful of realistic recordings of a few MB each.
ImageDesign DemoImageDesign();

// Reads an image description (JSON) into a design.
std::optional<ImageDesign> DesignFromJson(const std::string& jsonText, std::string& error);

}  // namespace skelbrook::mkimage
