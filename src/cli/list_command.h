// The command line's read side: open the drive, recognise it and read its catalogue, with the
// exit statuses scripts rely on.
#pragma once

#include <string>

#include "catalogue/programme_table.h"
#include "catalogue/recording_rows.h"
#include "catalogue/system_area.h"
#include "disk/media_geometry.h"

namespace skelbrook::cli {

enum ExitStatus {
  kExitOk = 0,
  kExitRowFailed = 1,
  kExitUsage = 2,
  kExitNotRecognised = 3,
  kExitNoRecordList = 4,
};

inline constexpr const char* kNotRecognisedMessage = "Does not read like a known 9200T drive!";

// Everything read off one drive.
struct Catalogue {
  MediaGeometry geometry;
  SystemArea area;
  ProgrammeTable table;
  RecordingRows rows;
};

// Reads the catalogue; on failure prints the reason on stderr and returns the exit status.
int ReadCatalogue(const std::string& driveText, Catalogue& catalogue);

int RunList(const std::string& driveText, bool json);

}  // namespace skelbrook::cli
