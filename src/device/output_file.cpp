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
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace skelbrook {
namespace {

#ifdef __linux__
// Every this many bytes written, their write-back to the destination is started.
constexpr int64_t kWritebackStep = 8 << 20;
#endif

std::string FullDestinationText() {
  return kDestinationFullText;
}

std::string TooLargeText() {
  return "the destination's file system cannot hold a file that large";
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
  reserved_ = position_ = end_ = writebackFrom_ = 0;
  return Status::Ok();
}

Status OutputFile::OpenExisting(const std::string& path) {
  (void)CloseOutput();
  written_ = 0;
  HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return Status::Error("cannot open " + path + ": " + Win32ErrorText(GetLastError()));
  }
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(h, &length)) {
    const DWORD err = GetLastError();
    CloseHandle(h);
    return Status::Error("cannot open " + path + ": " + Win32ErrorText(err));
  }
  handle_ = h;
  reserved_ = position_ = writebackFrom_ = 0;
  end_ = length.QuadPart;
  return Status::Ok();
}

Status OutputFile::SeekOutput(int64_t position) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  LARGE_INTEGER to{};
  to.QuadPart = position;
  if (!SetFilePointerEx(static_cast<HANDLE>(handle_), to, nullptr, FILE_BEGIN)) {
    return Status::Error("writing failed: " + Win32ErrorText(GetLastError()));
  }
  position_ = position;
  return Status::Ok();
}

Status OutputFile::ReserveOutput(int64_t bytes) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = bytes;
  if (SetFileInformationByHandle(static_cast<HANDLE>(handle_), FileAllocationInfo, &allocation,
                                 sizeof allocation)) {
    // The allocation beyond the file's end is given back when the handle closes.
    reserved_ = bytes;
    return Status::Ok();
  }
  const DWORD err = GetLastError();
  if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL) {
    return Status::Error(FullDestinationText());
  }
  if (err == ERROR_FILE_TOO_LARGE) return Status::Error(TooLargeText());
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
      Advance(done);
      if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL) {
        return Status::Error(FullDestinationText());
      }
      return Status::Error("writing failed: " + Win32ErrorText(err));
    }
    if (put == 0) {
      // A write that takes nothing would otherwise be retried for ever.
      Advance(done);
      return Status::Error("writing failed: the destination accepted no bytes");
    }
    done += put;
  }
  Advance(done);
  return Status::Ok();
}

Status OutputFile::FlushOutput() {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  if (!FlushFileBuffers(static_cast<HANDLE>(handle_))) {
    return Status::Error("flushing failed: " + Win32ErrorText(GetLastError()));
  }
  return Status::Ok();
}

Status OutputFile::SyncData() {
  return FlushOutput();
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
  reserved_ = position_ = end_ = writebackFrom_ = 0;
  return Status::Ok();
}

Status OutputFile::OpenExisting(const std::string& path) {
  (void)CloseOutput();
  written_ = 0;
  int fd;
  do {
    fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::Error("cannot open " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int err = errno;
    close(fd);
    return Status::Error("cannot open " + path + ": " + std::strerror(err));
  }
  fd_ = fd;
  reserved_ = position_ = writebackFrom_ = 0;
  end_ = static_cast<int64_t>(st.st_size);
  return Status::Ok();
}

Status OutputFile::SeekOutput(int64_t position) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  if (lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
    return Status::Error(std::string("writing failed: ") + std::strerror(errno));
  }
  position_ = position;
  return Status::Ok();
}

Status OutputFile::ReserveOutput(int64_t bytes) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
#ifdef __linux__
  // fallocate, not posix_fallocate: where the file system cannot reserve, the C library would
  // write the whole length as zeros instead, which on a slow stick takes as long as the copy.
  int rc;
  do {
    rc = fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes));
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    reserved_ = bytes;
    return Status::Ok();
  }
  if (errno == ENOSPC || errno == EDQUOT) return Status::Error(FullDestinationText());
  if (errno == EFBIG) return Status::Error(TooLargeText());
#else
  (void)bytes;
#endif
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
      Advance(done);
      if (err == ENOSPC || err == EDQUOT) return Status::Error(FullDestinationText());
      return Status::Error(std::string("writing failed: ") + std::strerror(err));
    }
    done += put;
  }
  Advance(done);
#ifdef __linux__
  // Writing back what is written as the copy goes, so that the flush at the end has little left
  // to do: the disk writes while the recorder disk is read. Only a start is asked for; a file
  // system that cannot is flushed at the end all the same.
  if (position_ - writebackFrom_ >= kWritebackStep) {
    (void)sync_file_range(fd_, static_cast<off_t>(writebackFrom_),
                          static_cast<off_t>(position_ - writebackFrom_), SYNC_FILE_RANGE_WRITE);
    writebackFrom_ = position_;
  }
#endif
  return Status::Ok();
}

Status OutputFile::FlushOutput() {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  // Room reserved past the end of what was written is given back (cutting a file at its own
  // length frees what was allocated beyond it).
  if (reserved_ > end_ && ftruncate(fd_, static_cast<off_t>(end_)) != 0) {
    return Status::Error(std::string("flushing failed: ") + std::strerror(errno));
  }
  reserved_ = 0;
  if (fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
    return Status::Error(std::string("flushing failed: ") + std::strerror(errno));
  }
  return Status::Ok();
}

Status OutputFile::SyncData() {
  if (!IsOpen()) return Status::Error("the destination file is not open");
#ifdef __linux__
  const int rc = fdatasync(fd_);
#else
  const int rc = fsync(fd_);
#endif
  if (rc != 0 && errno != EINVAL && errno != EROFS) {
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
