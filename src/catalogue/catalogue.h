// Everything read off one recorder disk: where it is, its layout, its system area, the media file
// of every slot, the recordings of the list in list order, and an exact account of whatever would
// not read.
#pragma once

#include <string>
#include <vector>

#include "catalogue/recording.h"
#include "catalogue/system_area.h"
#include "disk/file_location.h"
#include "disk/media_geometry.h"
#include "disk/unreadable.h"

namespace skelbrook {

inline constexpr const char* kNotRecognisedText = "Does not read like a known 9200T drive!";

enum class CatalogueResult {
  Listed,              // the recordings are listed
  NotRecognised,       // the drive did not open or is not a 9200T disk
  RecordListNotFound,  // "_RECORD_LIST_" is not among the first root-directory entries
  Stopped,             // the front end asked to stop
  Unreadable,          // sector 0 or the system area would not read: account.failure says how
};

struct Catalogue {
  std::string path;  // the device or image the drive-box text named
  MediaGeometry geometry;
  SystemArea area;
  MediaFiles mediaFiles;  // what the media directory says of each slot
  std::vector<Recording> recordings;
  CatalogueAccount account;
  // Why the drive was not recognised, in words for the user (the open error, or what did not fit).
  std::string rejection;
};

// Whether something could not be read or a limit was hit: the list is then only part of the disk.
bool ReadInPart(const CatalogueAccount& account);

}  // namespace skelbrook
