// The portable-copy rule.
#include "session/home_folder.h"

#include <algorithm>
#include <filesystem>

#include "device/file_system.h"

namespace skelbrook::session {
namespace {

namespace fs = std::filesystem;

// The folder as the system resolves it (links followed); empty when it is not there.
fs::path Resolved(const std::string& folder) {
  std::error_code ec;
  fs::path path = fs::canonical(PathFromUtf8(folder), ec);
  return ec ? fs::path() : path;
}

bool SameFolder(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(PathFromUtf8(a), PathFromUtf8(b), ec) && !ec;
}

}  // namespace

std::string HomeFolder(const std::string& programFolder, const std::string& buildFolder,
                       const std::string& configFolder) {
  std::error_code ec;
  if (fs::exists(PathFromUtf8(programFolder) / kPortableMarker, ec)) return programFolder;
  if (!buildFolder.empty()) {
    const fs::path built = Resolved(buildFolder), here = Resolved(programFolder);
    if (!built.empty() && !here.empty()) {
      const auto [end, unused] =
          std::mismatch(built.begin(), built.end(), here.begin(), here.end());
      if (end == built.end()) return programFolder;  // here is the build folder or inside it
    }
  }
  fs::create_directories(PathFromUtf8(configFolder), ec);
  return configFolder;
}

std::string FirstDestination(const std::string& homeFolder, const std::string& configFolder,
                             const std::string& videosFolder, const std::string& userHome) {
  if (!SameFolder(homeFolder, configFolder)) return homeFolder;
  std::error_code ec;
  if (!videosFolder.empty() && fs::is_directory(PathFromUtf8(videosFolder), ec))
    return videosFolder;
  return userHome;
}

}  // namespace skelbrook::session
