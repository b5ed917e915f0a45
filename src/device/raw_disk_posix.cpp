// The recorder disk on Linux and other POSIX systems: a block device or an image file, opened
// read-only; a block device is read again with direct I/O when a failed span is read sector by
// sector, and whenever a copy reads in bulk.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#ifdef __linux__
#include <linux/fs.h>
#endif

#include "device/disk_reader.h"
#include "device/sector_reads.h"

namespace skelbrook {
namespace {

class RawDisk : public DiskReader {
 public:
  RawDisk(int fd, std::string path, int64_t size, int64_t sector, bool blockDevice)
      : fd_(fd), path_(std::move(path)), size_(size), sector_(sector), blockDevice_(blockDevice) {}
  ~RawDisk() override {
    close(fd_);
    if (directFd_ >= 0) close(directFd_);
  }

  int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    const int64_t done = Transfer(fd_, offset, into, count, error);
    if (done < count && error.empty()) error = kPastEndText;
    return done;
  }

  // Block devices are read with O_DIRECT: a buffered read fails the whole page-cache folio (up to
  // 64 KiB) around a bad sector, and after the first error the kernel reads a failing disk one
  // page per request. Image files are fine buffered.
  int64_t ReadUncached(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
#ifdef O_DIRECT
    if (blockDevice_ && directFd_ < 0 && !triedDirect_) {
      triedDirect_ = true;
      do {
        directFd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
      } while (directFd_ < 0 && errno == EINTR);
    }
    if (directFd_ >= 0) {
      const int64_t held = HeldBytes(size_, offset, count);
      int64_t done = ReadCoveringSectors(offset, into, held, sector_, scratch_,
                                         [&](int64_t at, uint8_t* buf, int64_t n) {
                                           return Transfer(directFd_, at, buf, n, error);
                                         });
      if (done < 0) return ReadAt(offset, into, count, error);  // no memory for the aligned span
      if (done < count && error.empty()) error = kPastEndText;
      return done;
    }
#endif
    return ReadAt(offset, into, count, error);
  }

  int64_t SizeBytes() const override {
    return size_;
  }
  int64_t SectorSize() const override {
    return sector_;
  }

 private:
  // Reads until `count` bytes are in or the drive stops delivering; returns what came in.
  static int64_t Transfer(int fd, int64_t offset, uint8_t* into, int64_t count,
                          std::string& error) {
    int64_t done = 0;
    while (done < count) {
      const ssize_t got = pread(fd, into + done, static_cast<size_t>(count - done), offset + done);
      if (got < 0) {
        if (errno == EINTR) continue;
        error = std::strerror(errno);
        break;
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  int fd_;
  int directFd_ = -1;
  AlignedBuffer scratch_;
  bool triedDirect_ = false;
  std::string path_;
  int64_t size_;
  int64_t sector_;
  bool blockDevice_;
};

}  // namespace

// What a user without the rights to read a raw disk can do about it.
constexpr const char* kNoRightsHint =
    " (reading a whole disk needs the rights to it: membership of the disk group, or running as "
    "root)";

Status OpenRawDisk(const std::string& path, std::unique_ptr<DiskReader>& disk) {
  disk.reset();
  // Read-only: the recorder disk is never written.
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int err = errno;
    return Status::Error(
        "cannot open " + path + ": " + std::strerror(err) +
        ((err == EACCES || err == EPERM) && !RunsWithAllRights() ? kNoRightsHint : ""));
  }
  return AdoptRawDisk(fd, path, disk);
}

Status AdoptRawDisk(int fd, const std::string& path, std::unique_ptr<DiskReader>& disk) {
  disk.reset();
  if (fd < 0) return Status::Error("cannot open " + path + ": no descriptor was handed over");
  int64_t size = 0;
  int64_t sector = kSectorSize;
  bool blockDevice = false;
  struct stat st {};
  if (fstat(fd, &st) == 0) {
    if (S_ISREG(st.st_mode)) {
      size = st.st_size;
    } else {
      blockDevice = S_ISBLK(st.st_mode);
#ifdef BLKGETSIZE64
      uint64_t bytes = 0;
      if (ioctl(fd, BLKGETSIZE64, &bytes) == 0) size = static_cast<int64_t>(bytes);
#endif
#ifdef BLKSSZGET
      int logical = 0;
      if (ioctl(fd, BLKSSZGET, &logical) == 0 && logical > kSectorSize &&
          logical % kSectorSize == 0) {
        sector = logical;
      }
#endif
      if (size == 0) {
        const off_t end = lseek(fd, 0, SEEK_END);
        if (end > 0) size = end;
      }
    }
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  disk = std::make_unique<RawDisk>(fd, path, size, sector, blockDevice);
  return Status::Ok();
}

bool RunsWithAllRights() {
  return geteuid() == 0;
}

bool LacksRightsToRead(const std::string& path) {
  // Root has every right there is: a refusal is about something else, which no password mends.
  return !RunsWithAllRights() && access(path.c_str(), F_OK) == 0 &&
         access(path.c_str(), R_OK) != 0 && (errno == EACCES || errno == EPERM);
}

}  // namespace skelbrook
