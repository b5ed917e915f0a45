// File-system services: existence, length, removal, renaming without replacing, and what the
// destination's file system is: its name, its free space and the largest file it holds.
#include "device/file_system.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "device/output_file.h"

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
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#endif
#endif

namespace skelbrook {
namespace {

#ifdef __linux__
// Mount types of FAT file systems: the kernel's drivers and the FUSE one.
bool IsFatType(const std::string& type) {
  return type == "vfat" || type == "msdos" || type == "fat" || type == "fuse.fusefat";
}

// Boot-sector signatures, for a FUSE mount that names no file system of its own (exfat-fuse
// mounts as "fuseblk", ntfs-3g as "fuse" or "fuseblk"):
//   offset  length  field
//   3       8       OEM name: "EXFAT   " or "NTFS    "
//   54      8       FAT12/16 file-system type: "FAT12   ", "FAT16   " or "FAT     "
//   82      8       FAT32 file-system type: "FAT32   "
constexpr size_t kBootSectorBytes = 512;
constexpr size_t kOemNameAt = 3;
constexpr size_t kFat16TypeAt = 54;
constexpr size_t kFat32TypeAt = 82;

// "exfat", "ntfs" or "vfat" for the boot sector of `source`, when it can be read; empty otherwise.
// Only a path is opened, read-only, for its first sector.
std::string ProbeBootSector(const std::string& source) {
  if (source.empty() || source[0] != '/') return {};
  std::ifstream in(source, std::ios::binary);
  std::string sector(kBootSectorBytes, '\0');
  if (!in.read(sector.data(), static_cast<std::streamsize>(sector.size()))) return {};
  const auto at = [&](size_t offset, const char* text) {
    return sector.compare(offset, std::strlen(text), text) == 0;
  };
  if (at(kOemNameAt, "EXFAT   ")) return "exfat";
  if (at(kOemNameAt, "NTFS    ")) return "ntfs";
  if (at(kFat32TypeAt, "FAT32   ") || at(kFat16TypeAt, "FAT1") || at(kFat16TypeAt, "FAT     "))
    return "vfat";
  return {};
}

// mountinfo writes space, tab, newline and backslash in paths as \ooo.
std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

bool UnderMountPoint(const std::string& path, const std::string& mountPoint) {
  if (mountPoint == "/") return true;
  return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
         (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}
#endif

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
  const auto failed = [&to](int err) {
    return Status::Error("cannot rename to " + to + ": " + std::strerror(err));
  };
  const auto unsupported = [](int err) {
    return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EPERM;
  };
#if defined(__linux__) && defined(SYS_renameat2)
  constexpr unsigned kRenameNoReplace = 1;  // RENAME_NOREPLACE
  if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kRenameNoReplace) == 0) {
    return Status::Ok();
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return failed(errno);
#endif
  // Where the file system cannot rename without replacing: a hard link fails when `to` exists.
  if (link(from.c_str(), to.c_str()) == 0) {
    // The copy is under its final name now; a .part name left beside it is only a second name
    // of the same file, and the next copy of the row removes it.
    (void)unlink(from.c_str());
    return Status::Ok();
  }
  if (!unsupported(errno)) return failed(errno);
  // Neither (exFAT and FAT through FUSE): the final name is checked to be free and the file
  // renamed at once. What remains is the moment between the two, in which another program
  // could create the same name and have it replaced; nothing of ours does, since every copy
  // takes its name from its own .part file.
  struct stat existing {};
  if (lstat(to.c_str(), &existing) == 0) return failed(EEXIST);
  if (errno != ENOENT) return failed(errno);
  if (rename(from.c_str(), to.c_str()) != 0) return failed(errno);
  return Status::Ok();
#endif
}

Status ReplaceFileAtomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".new";
  (void)RemoveFile(temporary);  // left by an interrupted write; ours to replace
  OutputFile out;
  Status s = out.CreateExclusive(temporary);
  if (s.ok())
    s = out.WriteOutput(reinterpret_cast<const uint8_t*>(text.data()),
                        static_cast<int64_t>(text.size()));
  if (s.ok()) s = out.FlushOutput();
  const Status closed = out.CloseOutput();
  if (s.ok()) s = closed;
  std::error_code ec;
  const std::filesystem::path from = PathFromUtf8(temporary), to = PathFromUtf8(path);
  if (s.ok()) {
    const auto old = std::filesystem::status(to, ec);
    if (!ec && std::filesystem::exists(old))
      std::filesystem::permissions(from, old.permissions(), ec);
#ifdef _WIN32
    if (!MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      s = Status::Error("cannot write " + path + ": " + Win32ErrorText(GetLastError()));
    }
#else
    if (rename(temporary.c_str(), path.c_str()) != 0) {
      s = Status::Error("cannot write " + path + ": " + std::strerror(errno));
    } else {
      // The rename itself is kept only once the folder is written.
      const std::string folder = to.parent_path().empty() ? "." : to.parent_path().string();
      const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (dir >= 0) {
        (void)fsync(dir);
        close(dir);
      }
    }
#endif
  }
  if (!s.ok()) (void)RemoveFile(temporary);
  return s;
}

Status SetFileTimes(const std::string& path, int64_t unixSeconds) {
#ifdef _WIN32
  // FILETIME counts 100-nanosecond steps from 1601-01-01.
  constexpr int64_t kSecondsFrom1601 = 11644473600LL;
  constexpr int64_t kStepsPerSecond = 10000000LL;
  const auto steps = static_cast<uint64_t>((unixSeconds + kSecondsFrom1601) * kStepsPerSecond);
  FILETIME when{static_cast<DWORD>(steps & 0xFFFFFFFFu), static_cast<DWORD>(steps >> 32)};
  HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return Status::Error("cannot date " + path + ": " + Win32ErrorText(GetLastError()));
  }
  const bool dated = SetFileTime(h, &when, nullptr, &when) != 0;
  const DWORD error = GetLastError();
  CloseHandle(h);
  if (!dated) return Status::Error("cannot date " + path + ": " + Win32ErrorText(error));
  return Status::Ok();
#else
  const struct timespec when[2] = {{static_cast<time_t>(unixSeconds), 0},
                                   {static_cast<time_t>(unixSeconds), 0}};
  if (utimensat(AT_FDCWD, path.c_str(), when, 0) != 0) {
    return Status::Error("cannot date " + path + ": " + std::strerror(errno));
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
    info.fileSystem = Utf8FromWide(name);
    // exFAT has no such limit.
    if (name == L"FAT32" || name == L"FAT" || name == L"FAT16") info.maxFileBytes = kFatLargestFile;
  }
#else
  struct statvfs vfs {};
  // A file system that reports no blocks at all (fusefat does) says nothing of its free space.
  if (statvfs(where.c_str(), &vfs) == 0 && vfs.f_blocks > 0) {
    info.freeBytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
  }
#ifdef __linux__
  constexpr long kMsdosSuperMagic = 0x4d44;
  struct statfs fs {};
  bool fat = statfs(where.c_str(), &fs) == 0 && static_cast<long>(fs.f_type) == kMsdosSuperMagic;
  struct stat st {};
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::canonical(where, ec);
  std::ifstream mounts("/proc/self/mountinfo", std::ios::binary);
  if (stat(where.c_str(), &st) == 0 && !ec && mounts) {
    std::stringstream text;
    text << mounts.rdbuf();
    const std::string dev =
        std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    const MountEntry mount = FindMount(text.str(), dev, canonical.string());
    info.fileSystem = mount.type;
    if (mount.type == "fuse" || mount.type == "fuseblk") {
      const std::string probed = ProbeBootSector(mount.source);
      if (!probed.empty()) info.fileSystem = probed + " (" + mount.type + ")";
      fat = fat || probed == "vfat";
    }
    fat = fat || IsFatType(mount.type);
  }
  if (fat) info.maxFileBytes = kFatLargestFile;
#endif
#endif
  return info;
}

std::string DescribeVolume(const VolumeInfo& volume) {
  std::string text = volume.fileSystem.empty() ? "unknown file system" : volume.fileSystem;
  if (volume.freeBytes >= 0) {
    char gigabytes[32];
    std::snprintf(gigabytes, sizeof gigabytes, "%.1f", static_cast<double>(volume.freeBytes) / 1e9);
    text +=
        ", " + std::string(gigabytes) + " GB free (" + std::to_string(volume.freeBytes) + " bytes)";
  } else {
    text += ", free space unknown";
  }
  if (volume.maxFileBytes == kFatLargestFile) text += ", no file of 4 GiB or more (FAT32)";
  return text;
}

#ifdef __linux__
MountEntry FindMount(const std::string& mountInfo, const std::string& dev,
                     const std::string& path) {
  // One mount per line:
  //   36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw,errors=continue
  //   id parent major:minor root mount-point options [optional fields...] - type source super
  MountEntry best;
  size_t bestScore = 0;
  std::istringstream lines(mountInfo);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> f;
    for (std::string field; fields >> field;) f.push_back(field);
    size_t dash = 0;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (f.size() < 5 || dash + 2 >= f.size() || f[2] != dev) continue;
    const std::string mountPoint = Unescape(f[4]);
    // The nearest mount point above the folder wins; among equals the later mount, which covers
    // the earlier one. A mount of the device elsewhere counts only when none lies above.
    const size_t score = UnderMountPoint(path, mountPoint) ? mountPoint.size() + 2 : 1;
    if (score < bestScore) continue;
    best = {f[dash + 1], Unescape(f[dash + 2])};
    bestScore = score;
  }
  return best;
}
#endif

}  // namespace skelbrook
