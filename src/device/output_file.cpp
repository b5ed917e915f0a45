// Writing one destination file: exclusive creation, sequential writes that are all checked,
// flush and close.
#include "device/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "device/win32_text.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace skelbrook {
namespace {

std::string FullDestinationText() {
  return kDestinationFullText;
}

}  // namespace

OutputFile::~OutputFile() {
  (void)CloseOutput();
}

#ifdef _WIN32

Status OutputFile::CreateExclusive(const std::string& path) {
  (void)CloseOutput();
  written_ = 0;
  const std::wstring wide = WideFromUtf8(path);
  // CREATE_NEW: an existing file is never opened, truncated or overwritten.
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return Status::Error("cannot create " + path + ": " + Win32ErrorText(GetLastError()));
  }
  handle_ = h;
  return Status::Ok();
}

bool OutputFile::IsOpen() const {
  return handle_ != nullptr;
}

Status OutputFile::WriteOutput(const uint8_t* data, int64_t count) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  int64_t done = 0;
  while (done < count) {
    const DWORD want = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    DWORD put = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), data + done, want, &put, nullptr)) {
      const DWORD err = GetLastError();
      written_ += done;
      if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL) {
        return Status::Error(FullDestinationText());
      }
      return Status::Error("writing failed: " + Win32ErrorText(err));
    }
    if (put == 0) {
      // A write that takes nothing would otherwise be retried for ever.
      written_ += done;
      return Status::Error("writing failed: the destination accepted no bytes");
    }
    done += put;
  }
  written_ += done;
  return Status::Ok();
}

Status OutputFile::FlushOutput() {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  if (!FlushFileBuffers(static_cast<HANDLE>(handle_))) {
    return Status::Error("flushing failed: " + Win32ErrorText(GetLastError()));
  }
  return Status::Ok();
}

Status OutputFile::CloseOutput() {
  if (!IsOpen()) return Status::Ok();
  const BOOL ok = CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  if (!ok) return Status::Error("closing failed: " + Win32ErrorText(GetLastError()));
  return Status::Ok();
}

#else

Status OutputFile::CreateExclusive(const std::string& path) {
  (void)CloseOutput();
  written_ = 0;
  int fd;
  // O_EXCL: an existing file is never opened, truncated or overwritten.
  do {
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::Error("cannot create " + path + ": " + std::strerror(errno));
  fd_ = fd;
  return Status::Ok();
}

bool OutputFile::IsOpen() const {
  return fd_ >= 0;
}

Status OutputFile::WriteOutput(const uint8_t* data, int64_t count) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  int64_t done = 0;
  while (done < count) {
    const ssize_t put = write(fd_, data + done, static_cast<size_t>(count - done));
    if (put < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      written_ += done;
      if (err == ENOSPC || err == EDQUOT) return Status::Error(FullDestinationText());
      return Status::Error(std::string("writing failed: ") + std::strerror(err));
    }
    done += put;
  }
  written_ += done;
  return Status::Ok();
}

Status OutputFile::FlushOutput() {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  if (fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
    return Status::Error(std::string("flushing failed: ") + std::strerror(errno));
  }
  return Status::Ok();
}

Status OutputFile::CloseOutput() {
  if (!IsOpen()) return Status::Ok();
  const int rc = close(fd_);
  fd_ = -1;
  if (rc != 0 && errno != EINTR) {
    return Status::Error(std::string("closing failed: ") + std::strerror(errno));
  }
  return Status::Ok();
}

#endif

}  // namespace skelbrook
