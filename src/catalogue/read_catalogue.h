// One read of a recorder disk's catalogue, the same for the window and the command line: open the
// drive, recognise it, load its tables and parse the record list, keeping an exact account of
// whatever would not read.
#pragma once

#include <ostream>
#include <string_view>

#include "catalogue/catalogue.h"
#include "common/observer.h"
#include "device/disk_reader.h"

namespace skelbrook {

class CatalogueObserver : public WorkObserver {
 public:
  // The drive was recognised; the catalogue is read next.
  virtual void recognised() {}
};

// Reads the catalogue of the drive the drive-box text names, through `opener` (the raw drive or
// image when none is given), and closes the drive again. With `withUnlisted` the media files no
// listed record names follow the listed rows. Stopped when the observer asked to stop before the
// catalogue was read whole (a failing disk's sector-by-sector reads stop between sectors).
CatalogueResult ReadCatalogue(std::string_view driveText, const DiskOpener& opener,
                              Catalogue& catalogue, std::ostream* listFile,
                              CatalogueObserver& observer, bool withUnlisted = false);

}  // namespace skelbrook
