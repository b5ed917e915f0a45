// Where things lie on a 9200T recorder disk: every constant the reader and the image writer
// share. The offset tables beside the parsers say how each structure is laid out.
#pragma once

#include <cstdint>

#include "device/disk_reader.h"  // kSectorSize: every sector number on the disk counts 512 bytes

namespace skelbrook {

// Sector 16 holds the media volume's descriptor. All of its numbers are little-endian 32-bit.
//
//   offset  width  meaning
//   232     4      number of the last media allocation-table entry (entries = value + 1)
//   252     1      media directory sector: the recognition marker, always 118
//   260     4      media allocation-table start sector
//   268     4      media data-area start sector (cluster 0)
inline constexpr int64_t kMediaDescriptorOffset = 16 * kSectorSize;
inline constexpr int kDescLastEntry = 232;
inline constexpr int kDescDirSector = 252;
inline constexpr int kDescFatSector = 260;
inline constexpr int kDescDataSector = 268;
inline constexpr uint8_t kRecognitionMarker = 118;
// So the media directory is always at sector 118.
inline constexpr int64_t kMediaDirectoryOffset = int64_t{kRecognitionMarker} * kSectorSize;
// Whether a media descriptor sector (as on disk) carries the recognition marker.
inline bool HasRecognitionMarker(const uint8_t* descriptor) {
  return descriptor[kDescDirSector] == kRecognitionMarker;
}

// Media clusters hold the recordings: 385,024 bytes (752 sectors), a fixed size.
inline constexpr int64_t kMediaClusterSize = 385024;

// The media directory (and the system area's root directory): 2,048 entries of 128 bytes.
inline constexpr int64_t kDirectoryBlockSize = 262144;
inline constexpr int kDirEntrySize = 128;
inline constexpr int kDirEntryCount = 2048;

// A directory entry, in restored byte order (numbers most significant byte first):
//
//   offset  width  meaning
//   12      4      first sector of the file's data (absolute drive sector)
//   32      8      file length; media files use bytes 35..39 (40 bits), the record list 36..39
//   64      12     file name, one character per byte
inline constexpr int kEntryStartSector = 12;
inline constexpr int kEntryLength40 = 35;
inline constexpr int kEntryLength32 = 36;
inline constexpr int kEntryName = 64;

// Allocation tables: a successor of 0xFFFFFFFE or more ends a chain.
inline constexpr int64_t kEndOfChain = 4294967294LL;

// Sector 0 names the system area's descriptor sector in bytes 473, 472, 479, 478 (most
// significant first).
inline constexpr int kSector0DescriptorBytes[4] = {473, 472, 479, 478};

// The system area: its descriptor uses the media descriptor's field positions (232 entry count,
// 252 directory sector as a whole 32-bit value, 260 table sector); its clusters of 16,384 bytes
// start 446,464 bytes (872 sectors) after the descriptor.
inline constexpr int64_t kSystemDataAreaDistance = 446464;
inline constexpr int64_t kSystemClusterSize = 16384;
// The record list is looked for among the first 100 root-directory entries only.
inline constexpr int kRecordListSearchEntries = 100;

// A record of _RECORD_LIST_ (304 bytes, restored order):
//
//   offset   width  meaning
//   6        1      slot number; 0 = not listed
//   17..20   4      start time, seconds since 1970-01-01 00:00:00, most significant first
//   21..24   4      end time, the same
//   25, 26   1, 1   0x10 0x69: the title begins at 28 instead of 25
//   25..76   52     title, up to the first zero byte
//   77..89   13     channel name, up to the first zero byte
inline constexpr int64_t kRecordSize = 304;
inline constexpr int kRecSlot = 6;
inline constexpr int kRecStart = 17;
inline constexpr int kRecEnd = 21;
inline constexpr int kRecTitle = 25;
inline constexpr int kRecTitleAfterPrefix = 28;
inline constexpr int kRecTitleLast = 76;
inline constexpr int kRecChannel = 77;
inline constexpr int kRecChannelLast = 89;
inline constexpr uint8_t kTitlePrefix0 = 0x10;
inline constexpr uint8_t kTitlePrefix1 = 0x69;

// A guide (EPG) sector: 512 bytes, restored order; the description is bytes 74..319.
inline constexpr int kEpgSectorSize = 512;
inline constexpr int kEpgTextFirst = 74;
inline constexpr int kEpgTextLast = 319;

// Slots number the recordings 0..255; media files use 2..255.
inline constexpr int kSlotCount = 256;
inline constexpr int kFirstMediaSlot = 2;

}  // namespace skelbrook
