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
  bool json = false;
  bool rescue = false;
};

int RunCopy(const CopyOptions& options);

}  // namespace skelbrook::cli
