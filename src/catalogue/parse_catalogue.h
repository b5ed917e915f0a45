// Reading the recorder's catalogue off a recognised disk into the recordings of the list: the
// system area, _RECORD_LIST_ and its 304-byte records, the media directory and the guide sectors.
#pragma once

#include <ostream>
#include <string>

#include "catalogue/catalogue.h"
#include "common/observer.h"
#include "device/drive.h"

namespace skelbrook {

inline constexpr const char* kNoEpgText = "No EPG data found.";
inline constexpr const char* kListFileClosingLine = "Closing Files9200T.txt";
inline constexpr const char* kMediaEntryUnknownText =
    "the media directory could not be read: its size and place are unknown";

// Reads the catalogue of an open drive that catalogue.geometry says is recognised: one recording
// per listed record, in record order, and one line per recording and a closing line to
// `listFile` when given. Whatever would not read is salvaged around and added to the account.
// With `withUnlisted`, every media file that no listed record names follows as a row
// "NNN_unlisted.ts", also when the record list is missing or would not read (the result still
// says so). Two records naming one slot both copy its one media file under the later record's
// name, title and times; each row keeps its own channel and times, and each list-file line its
// own record's values.
CatalogueResult ParseCatalogue(Drive& drive, Catalogue& catalogue, std::ostream* listFile,
                               WorkObserver& observer, bool withUnlisted = false);

// The name stem of a media file no record names: "007_unlisted".
std::string UnlistedName(int slot);

}  // namespace skelbrook
