// The harnesses' scratch folder.
#include "harness_support.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace skelbrook::fuzz {
namespace {

constexpr const char* kPrefix = "skelbrook-fuzz-";

// A harness stopped by a crash leaves its folder behind: folders of processes that are gone are
// removed when the next harness starts.
void RemoveAbandoned(const std::filesystem::path& base) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + std::strlen(kPrefix), nullptr, 10);
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::filesystem::remove_all(entry.path(), ec);
    }
  }
}

struct Scratch {
  Scratch() {
    std::error_code ec;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path(ec);
    RemoveAbandoned(base);
    const std::filesystem::path folder = base / (kPrefix + std::to_string(getpid()));
    std::filesystem::remove_all(folder, ec);
    if (!std::filesystem::create_directory(folder, ec)) Broken("scratch folder", folder.string());
    path = folder.string();
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

}  // namespace

const std::string& ScratchFolder() {
  static const Scratch scratch;
  return scratch.path;
}

void EmptyFolder(const std::string& folder) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
}

}  // namespace skelbrook::fuzz
