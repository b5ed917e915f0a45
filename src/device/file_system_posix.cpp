// File-system services on Linux and other POSIX systems: renaming with and without replacing
// (renameat2, a hard link, or a checked rename on FUSE file systems that can do neither), file
// dates, and what the destination's file system is (the mount table, a FUSE mount's boot sector)
// and holds.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "device/file_system.h"

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

char FolderSeparator() {
  return '/';
}

Status RenameNoReplace(const std::string& from, const std::string& to) {
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
}

void MakeWritable(const std::string& path) {
  std::error_code ec;
  std::filesystem::permissions(PathFromUtf8(path), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add, ec);
}

Status RenameReplacing(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0) {
    return Status::Error("cannot write " + to + ": " + std::strerror(errno));
  }
  // The rename itself is kept only once the folder is written.
  const std::filesystem::path folder = PathFromUtf8(to).parent_path();
  const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)fsync(dir);
    close(dir);
  }
  return Status::Ok();
}

Status SetFileTimes(const std::string& path, int64_t unixSeconds) {
  const struct timespec when[2] = {{static_cast<time_t>(unixSeconds), 0},
                                   {static_cast<time_t>(unixSeconds), 0}};
  if (utimensat(AT_FDCWD, path.c_str(), when, 0) != 0) {
    return Status::Error("cannot date " + path + ": " + std::strerror(errno));
  }
  return Status::Ok();
}

VolumeInfo QueryVolume(const std::string& folder) {
  VolumeInfo info;
  std::string where = folder.empty() ? std::string(".") : folder;
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
    if (mount.type == "fuse.fusefat") info.maxFileWritten = kFuseFatLargestFile;
  }
  if (fat) info.maxFileBytes = kFatLargestFile;
#endif
  return info;
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
