// The command line's copy: chosen rows into a folder, one result line per row.
#pragma once

#include <string>
#include <vector>

namespace skelbrook::cli {

struct CopyOptions {
  std::string driveText;
  std::string toDir;
  bool all = false;
  std::vector<int> rows;
  std::vector<int> slots;
  std::string match;  // only the rows holding every word (of those chosen, or of all)
  bool json = false;
  bool rescue = false;
  bool nfo = false;       // a guide file "<name>.nfo" beside each finished copy
  bool verify = false;    // check each finished copy as a transport stream
  bool unlisted = false;  // the media files no record names are rows too
  bool deep = false;      // the lost recordings a search of the whole disk finds are rows too
  bool noSplit = false;   // refuse a recording too large for the destination rather than split it
};

int RunCopy(const CopyOptions& options);

}  // namespace skelbrook::cli
