// One read of a recorder disk's catalogue, the same for the window and the command line: open the
// drive, recognise it, load its tables and parse the record list, keeping an exact account of
// whatever would not read.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "catalogue/programme_table.h"
#include "catalogue/recording_rows.h"
#include "catalogue/system_area.h"
#include "common/observer.h"
#include "device/disk_reader.h"
#include "disk/media_geometry.h"
#include "disk/unreadable.h"

namespace skelbrook {

inline constexpr const char* kNotRecognisedText = "Does not read like a known 9200T drive!";

// Everything read off one drive.
struct Catalogue {
  std::string path;  // the device or image the drive-box text named
  MediaGeometry geometry;
  SystemArea area;
  ProgrammeTable table;
  RecordingRows rows;
  CatalogueAccount account;
  // Why the drive was not recognised, in words for the user (the open error, or what did not fit).
  std::string rejection;
};

class CatalogueObserver : public WorkObserver {
 public:
  // The drive was recognised; the catalogue is read next.
  virtual void recognised() {}
};

// Reads the catalogue of the drive the drive-box text names, through `opener` (the raw drive or
// image when none is given), and closes the drive again. With `withUnlisted` the media files no
// listed record names follow the listed rows.
CatalogueResult ReadCatalogue(std::string_view driveText, const DiskOpener& opener,
                              Catalogue& catalogue, std::ostream* listFile,
                              CatalogueObserver& observer, bool withUnlisted = false);

// Whether something could not be read or a limit was hit: the list is then only part of the disk.
bool ReadInPart(const CatalogueAccount& account);

}  // namespace skelbrook
