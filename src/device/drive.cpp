// Reading the recorder disk: one read-only handle, whole-sector reads, zeros where the disk
// delivered nothing, and an honest count of what it did deliver.
#include "device/drive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
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

Drive::~Drive() { CloseDrive(); }

int64_t Drive::ReadDrive(int64_t offset, int64_t count) {
  if (count <= 1) return 0;
  // Raw drives only transfer whole sectors: round the request up and keep the first `count`.
  const int64_t whole = (count + kSectorSize - 1) / kSectorSize * kSectorSize;
  BlockBuffer.resize(static_cast<size_t>(whole));
  lastReadError_.clear();
  int64_t delivered = 0;
  if (offset < 0) {
    lastReadError_ = "read before the start of the drive";
  } else if (!IsOpen()) {
    lastReadError_ = "the drive is not open";
  } else {
    delivered = ReadRaw(offset, BlockBuffer.data(), whole);
  }
  if (delivered < whole) {
    std::fill(BlockBuffer.begin() + delivered, BlockBuffer.end(), uint8_t{0});
  }
  // Only the rounding up to a whole sector came short: every byte asked for is here.
  if (delivered >= count) lastReadError_.clear();
  BlockBuffer.resize(static_cast<size_t>(count));
  return std::min(delivered, count);
}

// Reads until `count` bytes are in or the drive stops delivering; returns what came in.
// Applies the test seam's injected failures first.
int64_t Drive::ReadRaw(int64_t offset, uint8_t* into, int64_t count) {
  if (faults.failReadAt >= 0 && faults.failReadAt >= offset && faults.failReadAt < offset + count) {
    if (!faults.shortRead) {
      lastReadError_ = "Input/output error";
      return 0;
    }
    count = faults.failReadAt - offset;
    lastReadError_ = "Input/output error";
  }
  int64_t done = 0;
#ifdef _WIN32
  // A raw drive refuses a transfer that runs past its last sector instead of delivering what
  // lies before it: ask only for the bytes the drive holds.
  int64_t held = count;
  if (size_ > 0 && offset + count > size_) held = std::max<int64_t>(0, size_ - offset);
  // Windows transfers only whole physical sectors of a raw drive, and some disks (and USB
  // adapters) have 4,096-byte ones: read the covering span of such sectors and keep our part.
  const int64_t unit = physicalSector_;
  if (unit > kSectorSize && (offset % unit != 0 || held % unit != 0)) {
    const int64_t first = offset / unit * unit;
    int64_t last = (offset + held + unit - 1) / unit * unit;
    if (size_ > 0) last = std::min(last, std::max(size_, first));
    std::vector<uint8_t> span(static_cast<size_t>(last - first));
    const int64_t got = ReadWin32(first, span.data(), last - first);
    done = std::clamp<int64_t>(got - (offset - first), 0, held);
    std::copy_n(span.begin() + (offset - first), done, into);
  } else {
    done = ReadWin32(offset, into, held);
  }
#else
  while (done < count) {
    const ssize_t got = pread(fd_, into + done, static_cast<size_t>(count - done), offset + done);
    if (got < 0) {
      if (errno == EINTR) continue;
      lastReadError_ = std::strerror(errno);
      break;
    }
    if (got == 0) break;
    done += got;
  }
#endif
  if (done < count && lastReadError_.empty()) lastReadError_ = "read past the end of the drive";
  return done;
}

#ifdef _WIN32

int64_t Drive::ReadWin32(int64_t offset, uint8_t* into, int64_t count) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (!SetFilePointerEx(static_cast<HANDLE>(handle_), position, nullptr, FILE_BEGIN)) {
    lastReadError_ = Win32ErrorText(GetLastError());
    return 0;
  }
  int64_t done = 0;
  while (done < count) {
    const DWORD want = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), into + done, want, &got, nullptr)) {
      lastReadError_ = Win32ErrorText(GetLastError());
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

Status Drive::OpenDrive(std::string_view driveText) {
  CloseDrive();
  path_ = ResolveDrivePath(driveText);
  const std::wstring wide = WideFromUtf8(path_);
  // Read access only: the recorder disk is never written. Others may keep it open.
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return Status::Error("cannot open " + path_ + ": " + Win32ErrorText(GetLastError()));
  }
  handle_ = h;
  size_ = 0;
  LARGE_INTEGER fileSize;
  GET_LENGTH_INFORMATION lengthInfo;
  DWORD returned = 0;
  if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &lengthInfo, sizeof lengthInfo,
                      &returned, nullptr)) {
    size_ = lengthInfo.Length.QuadPart;
  } else if (GetFileSizeEx(h, &fileSize)) {
    size_ = fileSize.QuadPart;
  }
  physicalSector_ = kSectorSize;
  DISK_GEOMETRY geometry;
  if (DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                      &returned, nullptr) &&
      geometry.BytesPerSector > kSectorSize && geometry.BytesPerSector % kSectorSize == 0) {
    physicalSector_ = geometry.BytesPerSector;
  }
  return Status::Ok();
}

void Drive::CloseDrive() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  size_ = 0;
}

bool Drive::IsOpen() const { return handle_ != nullptr; }

#else

Status Drive::OpenDrive(std::string_view driveText) {
  CloseDrive();
  path_ = ResolveDrivePath(driveText);
  // Read-only: the recorder disk is never written.
  int fd;
  do {
    fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::Error("cannot open " + path_ + ": " + std::strerror(errno));
  fd_ = fd;
  size_ = 0;
  struct stat st {};
  if (fstat(fd_, &st) == 0) {
    if (S_ISREG(st.st_mode)) {
      size_ = st.st_size;
    } else {
#ifdef BLKGETSIZE64
      uint64_t bytes = 0;
      if (ioctl(fd_, BLKGETSIZE64, &bytes) == 0) size_ = static_cast<int64_t>(bytes);
#endif
      if (size_ == 0) {
        const off_t end = lseek(fd_, 0, SEEK_END);
        if (end > 0) size_ = end;
      }
    }
  }
  posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return Status::Ok();
}

void Drive::CloseDrive() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  size_ = 0;
}

bool Drive::IsOpen() const { return fd_ >= 0; }

#endif

}  // namespace skelbrook
