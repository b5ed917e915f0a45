// The account of a failing disk: every range of the recorder disk that could not be read, named
// by the part of the catalogue it belongs to, so the user is told exactly what was lost.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/drive.h"

namespace skelbrook {

// The parts of the catalogue a range can belong to, as the user is shown them.
inline constexpr const char* kAreaSector0 = "sector 0";
inline constexpr const char* kAreaMediaDescriptor = "media descriptor";
inline constexpr const char* kAreaMediaTable = "media allocation table";
inline constexpr const char* kAreaMediaDirectory = "media directory";
inline constexpr const char* kAreaSystemDescriptor = "system descriptor";
inline constexpr const char* kAreaSystemTable = "system allocation table";
inline constexpr const char* kAreaRootDirectory = "system root directory";
inline constexpr const char* kAreaRecordList = "_RECORD_LIST_";
inline constexpr const char* kAreaGuide = "guide sector";
// The recordings' clusters, as the search for lost recordings reads them.
inline constexpr const char* kAreaMediaData = "media data";

struct UnreadableRange {
  std::string area;
  int64_t firstByte = 0;  // absolute byte offset on the drive
  int64_t bytes = 0;
  std::string error;  // the system's words
};
using UnreadableList = std::vector<UnreadableRange>;

// What a read of the catalogue could not do: the ranges that would not read, the limits that
// were hit, and, when the catalogue could not be read at all, why.
struct CatalogueAccount {
  UnreadableList unreadable;
  std::vector<std::string> problems;
  std::string failure;
};

// Reads `count` bytes at `offset` into the drive's buffer, keeping every sector that reads. The
// gaps that lie within the first `needed` bytes (all of them when `needed` is negative) are
// added to `list` under `area` and returned; gaps in bytes read only to make up whole sectors
// or table padding are not.
std::vector<ReadGap> ReadArea(Drive& drive, int64_t offset, int64_t count, const char* area,
                              UnreadableList& list, int64_t needed = -1);

// "byte 60416 (0xEC00)".
std::string ByteText(int64_t offset);
// "media directory: 512 bytes at byte 60416 (0xEC00) could not be read (Input/output error)".
std::string Describe(const UnreadableRange& range);

// Whether [first, first + bytes) meets any of the gaps.
bool Overlaps(const std::vector<ReadGap>& gaps, int64_t first, int64_t bytes);

}  // namespace skelbrook
