// The read of a catalogue, from the drive-box text to the recordings.
#include "catalogue/read_catalogue.h"

#include "catalogue/parse_catalogue.h"
#include "device/drive.h"

namespace skelbrook {

CatalogueResult ReadCatalogue(std::string_view driveText, const DiskOpener& opener,
                              Catalogue& catalogue, std::ostream* listFile,
                              CatalogueObserver& observer, bool withUnlisted) {
  Drive drive;
  // A stop lands within a sector-by-sector read of a failing catalogue too.
  drive.SetKeepGoing([&observer] { return observer.keepGoing(); });
  const Status opened = drive.Open(driveText, opener);
  catalogue.path = drive.Path();
  if (!opened.ok()) {
    catalogue.geometry.recognised = false;
    catalogue.rejection = opened.message();
    return CatalogueResult::NotRecognised;
  }
  RecogniseDisk(drive, catalogue.geometry, catalogue.account);
  // A stop cut a read short: the zeros it left say nothing of the disk.
  if (drive.Stopped()) return CatalogueResult::Stopped;
  if (!catalogue.geometry.recognised) {
    catalogue.rejection = catalogue.geometry.rejectReason;
    return CatalogueResult::NotRecognised;
  }
  observer.recognised();
  const CatalogueResult result = ParseCatalogue(drive, catalogue, listFile, observer, withUnlisted);
  return drive.Stopped() ? CatalogueResult::Stopped : result;
}

bool ReadInPart(const CatalogueAccount& account) {
  return !account.unreadable.empty() || !account.problems.empty() || !account.failure.empty();
}

}  // namespace skelbrook
