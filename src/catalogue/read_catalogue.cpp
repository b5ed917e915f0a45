// The read of a catalogue, from the drive-box text to the rows.
#include "catalogue/read_catalogue.h"

#include "device/drive.h"

namespace skelbrook {

CatalogueResult ReadCatalogue(std::string_view driveText, const DiskOpener& opener,
                              Catalogue& catalogue, std::ostream* listFile,
                              CatalogueObserver& observer, bool withUnlisted) {
  Drive drive;
  const Status opened = drive.OpenDrive(driveText, opener);
  catalogue.path = drive.Path();
  if (!opened.ok()) {
    catalogue.geometry.KnownDrive = false;
    catalogue.rejection = opened.message();
    return CatalogueResult::NotRecognised;
  }
  GetFileOffset(drive, catalogue.geometry, catalogue.account);
  if (!catalogue.geometry.KnownDrive) {
    catalogue.rejection = catalogue.geometry.RejectReason;
    return CatalogueResult::NotRecognised;
  }
  observer.recognised();
  return GetProgData(drive, catalogue.geometry, catalogue.area, catalogue.table, catalogue.rows,
                     listFile, catalogue.account, observer, withUnlisted);
}

bool ReadInPart(const CatalogueAccount& account) {
  return !account.unreadable.empty() || !account.problems.empty() || !account.failure.empty();
}

}  // namespace skelbrook
