// The recorder disk on Windows: a raw drive (\\.\PhysicalDriveN) or an image file, opened for
// reading only, read in whole physical sectors, and again without the system's cache when a
// failed span is read sector by sector or a copy reads in bulk.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>

#include "device/disk_reader.h"
#include "device/sector_reads.h"
#include "device/wide_text.h"

namespace skelbrook {
namespace {

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
    const int64_t held = HeldBytes(size_, offset, count);
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
    const int64_t held = HeldBytes(size_, offset, count);
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

}  // namespace

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
                         (err == ERROR_ACCESS_DENIED && !RunsWithAllRights() ? kNoRightsHint : ""));
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

bool RunsWithAllRights() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated =
      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
      elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

bool LacksRightsToRead(const std::string& path) {
  if (RunsWithAllRights()) return false;  // an administrator's refusal is about something else
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
}

}  // namespace skelbrook
