// Reading the recorder disk: one read-only handle, whole-sector reads, zeros where the disk
// delivered nothing, an honest count of what it did deliver, and failed spans read again sector
// by sector past the caches so that one bad sector costs only itself.
#include "device/drive.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <malloc.h>
#include <windows.h>
#include <winioctl.h>

#include "device/win32_text.h"
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#endif
#endif

namespace skelbrook {
namespace {

constexpr const char* kPastEndText = "read past the end of the drive";

int64_t WholeSectors(int64_t count) {
  return (count + kSectorSize - 1) / kSectorSize * kSectorSize;
}

// A buffer whose start suits unbuffered transfers (aligned to 4,096 bytes, more than any
// logical sector size needs). It grows as larger reads ask for it and is kept between reads, so
// that a copy's reads of up to 4 MiB do not each map and unmap memory.
class AlignedBuffer {
 public:
  AlignedBuffer() = default;
  ~AlignedBuffer() { Release(); }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;

  // At least `size` bytes; null when there is no memory for them.
  uint8_t* Reserve(int64_t size) {
    if (size <= capacity_) return data_;
    Release();
#ifdef _WIN32
    data_ = static_cast<uint8_t*>(_aligned_malloc(static_cast<size_t>(size), kAlignment));
#else
    void* p = nullptr;
    if (posix_memalign(&p, kAlignment, static_cast<size_t>(size)) == 0)
      data_ = static_cast<uint8_t*>(p);
#endif
    capacity_ = data_ != nullptr ? size : 0;
    return data_;
  }
  static bool Aligned(const uint8_t* p) {
    return reinterpret_cast<uintptr_t>(p) % kAlignment == 0;
  }

 private:
  void Release() {
#ifdef _WIN32
    _aligned_free(data_);
#else
    std::free(data_);
#endif
    data_ = nullptr;
    capacity_ = 0;
  }
  static constexpr size_t kAlignment = 4096;
  uint8_t* data_ = nullptr;
  int64_t capacity_ = 0;
};

// Reads the span of whole `unit`-byte sectors covering [offset, offset + count) with `read`
// and keeps our part: what unbuffered transfers need. A request that is already whole sectors
// into aligned memory is read in place; any other goes through `scratch`. Returns -1 when there
// is no memory for the span.
template <typename ReadAligned>
int64_t ReadCoveringSectors(int64_t offset, uint8_t* into, int64_t count, int64_t unit,
                            AlignedBuffer& scratch, ReadAligned read) {
  if (offset % unit == 0 && count % unit == 0 && AlignedBuffer::Aligned(into))
    return read(offset, into, count);
  const int64_t first = offset / unit * unit;
  const int64_t last = (offset + count + unit - 1) / unit * unit;
  uint8_t* span = scratch.Reserve(last - first);
  if (span == nullptr) return -1;
  const int64_t got = read(first, span, last - first);
  const int64_t mine = std::clamp<int64_t>(got - (offset - first), 0, count);
  std::copy_n(span + (offset - first), mine, into);
  return mine;
}

#ifdef _WIN32

class RawDisk : public DiskReader {
 public:
  RawDisk(HANDLE handle, std::wstring path, int64_t size, int64_t sector)
      : handle_(handle), path_(std::move(path)), size_(size), sector_(sector) {}
  ~RawDisk() override {
    CloseHandle(handle_);
    if (unbuffered_ != INVALID_HANDLE_VALUE) CloseHandle(unbuffered_);
  }

  int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    // A raw drive refuses a transfer that runs past its last sector instead of delivering what
    // lies before it: ask only for the bytes the drive holds.
    const int64_t held =
        size_ > 0 && offset + count > size_ ? std::max<int64_t>(0, size_ - offset) : count;
    // Windows transfers only whole physical sectors of a raw drive, and some disks (and USB
    // adapters) have 4,096-byte ones: read the covering span of such sectors and keep our part.
    int64_t done;
    if (sector_ > kSectorSize && (offset % sector_ != 0 || held % sector_ != 0)) {
      done = ReadCoveringSectors(offset, into, held, sector_, scratch_,
                                 [&](int64_t at, uint8_t* buf, int64_t n) {
                                   return Transfer(handle_, at, buf, n, error);
                                 });
    } else {
      done = Transfer(handle_, offset, into, held, error);
    }
    if (done < count && error.empty()) error = kPastEndText;
    return std::max<int64_t>(done, 0);
  }

  int64_t ReadUncached(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
    if (unbuffered_ == INVALID_HANDLE_VALUE && !triedUnbuffered_) {
      triedUnbuffered_ = true;
      unbuffered_ = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    }
    if (unbuffered_ == INVALID_HANDLE_VALUE) return ReadAt(offset, into, count, error);
    const int64_t held =
        size_ > 0 && offset + count > size_ ? std::max<int64_t>(0, size_ - offset) : count;
    const int64_t done = ReadCoveringSectors(offset, into, held, sector_, scratch_,
                                             [&](int64_t at, uint8_t* buf, int64_t n) {
                                               return Transfer(unbuffered_, at, buf, n, error);
                                             });
    if (done < count && error.empty()) error = kPastEndText;
    return std::max<int64_t>(done, 0);
  }

  int64_t SizeBytes() const override { return size_; }
  int64_t SectorSize() const override { return sector_; }

 private:
  static int64_t Transfer(HANDLE h, int64_t offset, uint8_t* into, int64_t count,
                          std::string& error) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    if (!SetFilePointerEx(h, position, nullptr, FILE_BEGIN)) {
      error = Win32ErrorText(GetLastError());
      return 0;
    }
    int64_t done = 0;
    while (done < count) {
      const DWORD want = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
      DWORD got = 0;
      if (!ReadFile(h, into + done, want, &got, nullptr)) {
        error = Win32ErrorText(GetLastError());
        break;
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  HANDLE handle_;
  HANDLE unbuffered_ = INVALID_HANDLE_VALUE;
  AlignedBuffer scratch_;
  bool triedUnbuffered_ = false;
  std::wstring path_;
  int64_t size_;
  int64_t sector_;
};

#else

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
      const int64_t held =
          size_ > 0 && offset + count > size_ ? std::max<int64_t>(0, size_ - offset) : count;
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

#endif

}  // namespace

#ifdef _WIN32

// What a user without the rights to read a raw disk can do about it.
constexpr const char* kNoRightsHint =
    " (reading a whole disk needs administrator rights: \"Run as administrator\")";

Status OpenRawDisk(const std::string& path, std::unique_ptr<DiskReader>& disk) {
  disk.reset();
  std::wstring wide = WideFromUtf8(path);
  // Read access only: the recorder disk is never written. Others may keep it open.
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    return Status::Error("cannot open " + path + ": " + Win32ErrorText(err) +
                         (err == ERROR_ACCESS_DENIED ? kNoRightsHint : ""));
  }
  int64_t size = 0;
  LARGE_INTEGER fileSize;
  GET_LENGTH_INFORMATION lengthInfo;
  DWORD returned = 0;
  if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &lengthInfo, sizeof lengthInfo,
                      &returned, nullptr)) {
    size = lengthInfo.Length.QuadPart;
  } else if (GetFileSizeEx(h, &fileSize)) {
    size = fileSize.QuadPart;
  }
  int64_t sector = kSectorSize;
  DISK_GEOMETRY geometry;
  if (DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                      &returned, nullptr) &&
      geometry.BytesPerSector > kSectorSize && geometry.BytesPerSector % kSectorSize == 0) {
    sector = geometry.BytesPerSector;
  }
  disk = std::make_unique<RawDisk>(h, std::move(wide), size, sector);
  return Status::Ok();
}

#else

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
    return Status::Error("cannot open " + path + ": " + std::strerror(err) +
                         (err == EACCES || err == EPERM ? kNoRightsHint : ""));
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

#endif

bool LacksRightsToRead(const std::string& path) {
#ifdef _WIN32
  // Opening for no access at all needs no rights: the disk is there, but it will not be read.
  const std::wstring wide = WideFromUtf8(path);
  HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  return GetLastError() == ERROR_ACCESS_DENIED;
#else
  return access(path.c_str(), F_OK) == 0 && access(path.c_str(), R_OK) != 0 &&
         (errno == EACCES || errno == EPERM);
#endif
}

DiskOpener WithRightsFallback(DiskOpener raw, DiskOpener service,
                              std::function<bool(const std::string&)> lacksRights) {
  return [raw = std::move(raw), service = std::move(service), lacksRights = std::move(lacksRights)](
             const std::string& path, std::unique_ptr<DiskReader>& disk) {
    const Status direct = raw(path, disk);
    if (direct.ok() || !service || !lacksRights(path)) return direct;
    const Status viaService = service(path, disk);
    if (viaService.ok()) return viaService;
    disk.reset();
    return Status::Error(direct.message() + "; the system's disk service did not open it either: " +
                         viaService.message());
  };
}

Status Drive::OpenDrive(std::string_view driveText, const DiskOpener& opener) {
  CloseDrive();
  path_ = ResolveDrivePath(driveText);
  return opener ? opener(path_, disk_) : OpenRawDisk(path_, disk_);
}

void Drive::CloseDrive() {
  disk_.reset();
}

int64_t Drive::Prepare(int64_t offset, int64_t count) {
  // Raw drives only transfer whole sectors: round the request up and keep the first `count`.
  const int64_t whole = WholeSectors(count);
  BlockBuffer.resize(static_cast<size_t>(whole));
  lastReadError_.clear();
  if (offset < 0 || !IsOpen()) std::fill(BlockBuffer.begin(), BlockBuffer.end(), uint8_t{0});
  if (offset < 0) {
    lastReadError_ = "read before the start of the drive";
    return 0;
  }
  if (!IsOpen()) {
    lastReadError_ = "the drive is not open";
    return 0;
  }
  return whole;
}

int64_t Drive::ReadDrive(int64_t offset, int64_t count) {
  return Read(offset, count, false);
}

int64_t Drive::ReadUncached(int64_t offset, int64_t count) {
  return Read(offset, count, true);
}

int64_t Drive::Read(int64_t offset, int64_t count, bool uncached) {
  if (count <= 1) return 0;
  const int64_t whole = Prepare(offset, count);
  int64_t delivered = 0;
  if (whole > 0) {
    uint8_t* into = BlockBuffer.data();
    delivered =
        std::clamp<int64_t>(uncached ? disk_->ReadUncached(offset, into, whole, lastReadError_)
                                     : disk_->ReadAt(offset, into, whole, lastReadError_),
                            0, whole);
    std::fill(BlockBuffer.begin() + delivered, BlockBuffer.end(), uint8_t{0});
  }
  // Only the rounding up to a whole sector came short: every byte asked for is here.
  if (delivered >= count) lastReadError_.clear();
  BlockBuffer.resize(static_cast<size_t>(count));
  return std::min(delivered, count);
}

std::vector<ReadGap> Drive::ReadSalvaging(int64_t offset, int64_t count, bool wholeFirst) {
  std::vector<ReadGap> gaps;
  if (count <= 0) return gaps;
  const int64_t whole = Prepare(offset, std::max<int64_t>(count, 2));
  if (whole == 0) {
    BlockBuffer.resize(static_cast<size_t>(count));
    gaps.push_back({offset, count, lastReadError_});
    return gaps;
  }
  std::string error;
  int64_t at = wholeFirst ? std::clamp<int64_t>(
                                disk_->ReadAt(offset, BlockBuffer.data(), whole, error), 0, whole)
                          : 0;
  if (at < whole) {
    // From the sector that failed on, one logical sector at a time.
    const int64_t unit = std::max<int64_t>(disk_->SectorSize(), kSectorSize);
    at = (offset + at) / unit * unit - offset;
    at = std::max<int64_t>(at, 0);
    while (at < whole) {
      const int64_t next = std::min(whole, ((offset + at) / unit + 1) * unit - offset);
      std::string sectorError;
      const int64_t got = std::clamp<int64_t>(
          disk_->ReadUncached(offset + at, BlockBuffer.data() + at, next - at, sectorError), 0,
          next - at);
      std::fill(BlockBuffer.begin() + at + got, BlockBuffer.begin() + next, uint8_t{0});
      const int64_t lostFrom = at + got;
      if (lostFrom < next && lostFrom < count) {
        const int64_t lostTo = std::min(next, count);
        if (!gaps.empty() && gaps.back().first + gaps.back().bytes == offset + lostFrom &&
            gaps.back().error == sectorError) {
          gaps.back().bytes += lostTo - lostFrom;
        } else {
          gaps.push_back({offset + lostFrom, lostTo - lostFrom, sectorError});
        }
      }
      at = next;
    }
  }
  lastReadError_ = gaps.empty() ? std::string() : gaps.front().error;
  BlockBuffer.resize(static_cast<size_t>(count));
  return gaps;
}

}  // namespace skelbrook
