// File-system services: existence, length, removal, renaming without replacing, free space.
#include "device/file_system.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "device/win32_text.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/syscall.h>
#include <sys/vfs.h>
#endif
#endif

namespace skelbrook {
namespace {

// FAT file systems hold no file of 4 GiB or more.
constexpr int64_t kFatLargestFile = 4294967295LL;

}  // namespace

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

char FolderSeparator() {
#ifdef _WIN32
  return '\\';
#else
  return '/';
#endif
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(PathFromUtf8(path), ec);
}

std::optional<int64_t> FileLength(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(PathFromUtf8(path), ec);
  if (ec) return std::nullopt;
  return static_cast<int64_t>(size);
}

Status RemoveFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::remove(PathFromUtf8(path), ec) && ec) {
    return Status::Error("cannot remove " + path + ": " + ec.message());
  }
  return Status::Ok();
}

Status RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef _WIN32
  // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
  if (!MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(), 0)) {
    return Status::Error("cannot rename to " + to + ": " + Win32ErrorText(GetLastError()));
  }
  return Status::Ok();
#else
#if defined(__linux__) && defined(SYS_renameat2)
  constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE
  if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kRenameNoReplace) == 0) {
    return Status::Ok();
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
    return Status::Error("cannot rename to " + to + ": " + std::strerror(errno));
  }
#endif
  // Where the file system cannot rename without replacing: a hard link fails when `to` exists.
  if (link(from.c_str(), to.c_str()) != 0) {
    return Status::Error("cannot rename to " + to + ": " + std::strerror(errno));
  }
  if (unlink(from.c_str()) != 0) {
    return Status::Error("cannot remove " + from + ": " + std::strerror(errno));
  }
  return Status::Ok();
#endif
}

VolumeInfo QueryVolume(const std::string& folder) {
  VolumeInfo info;
  std::string where = folder.empty() ? std::string(".") : folder;
#ifdef _WIN32
  ULARGE_INTEGER freeToCaller;
  if (GetDiskFreeSpaceExW(WideFromUtf8(where).c_str(), &freeToCaller, nullptr, nullptr)) {
    info.freeBytes = static_cast<int64_t>(freeToCaller.QuadPart);
  }
  wchar_t root[MAX_PATH] = {};
  wchar_t fsName[MAX_PATH] = {};
  if (GetVolumePathNameW(WideFromUtf8(where).c_str(), root, MAX_PATH) &&
      GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, fsName, MAX_PATH)) {
    const std::wstring name(fsName);
    if (name == L"FAT32" || name == L"FAT" || name == L"FAT16") info.maxFileBytes = kFatLargestFile;
  }
#else
  struct statvfs vfs {};
  if (statvfs(where.c_str(), &vfs) == 0) {
    info.freeBytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
  }
#ifdef __linux__
  constexpr long kMsdosSuperMagic = 0x4d44;
  struct statfs fs {};
  if (statfs(where.c_str(), &fs) == 0 && static_cast<long>(fs.f_type) == kMsdosSuperMagic) {
    info.maxFileBytes = kFatLargestFile;
  }
#endif
#endif
  return info;
}

}  // namespace skelbrook
