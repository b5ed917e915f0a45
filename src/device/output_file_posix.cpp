// Writing one destination file on Linux and other POSIX systems: O_EXCL, checked writes, room
// reserved with fallocate, write-back started as the copy goes, fsync.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/output_file.h"

namespace skelbrook {
namespace {

#ifdef __linux__
// Every this many bytes written, their write-back to the destination is started.
constexpr int64_t kWritebackStep = 8 << 20;
#endif

int Fd(intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

Status OutputFile::CreateExclusive(const std::string& path) {
  (void)Close();  // a file still open from an earlier use was flushed or given up already
  written_ = 0;
  int fd;
  // O_EXCL: an existing file is never opened, truncated or overwritten.
  do {
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::Error("cannot create " + path + ": " + std::strerror(errno));
  handle_ = fd;
  reserved_ = position_ = end_ = writebackFrom_ = 0;
  return Status::Ok();
}

Status OutputFile::OpenExisting(const std::string& path) {
  (void)Close();  // a file still open from an earlier use was flushed or given up already
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
  handle_ = fd;
  reserved_ = position_ = writebackFrom_ = 0;
  end_ = static_cast<int64_t>(st.st_size);
  return Status::Ok();
}

Status OutputFile::Seek(int64_t position) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  if (lseek(Fd(handle_), static_cast<off_t>(position), SEEK_SET) < 0) {
    return Status::Error(std::string("writing failed: ") + std::strerror(errno));
  }
  position_ = position;
  return Status::Ok();
}

Status OutputFile::Reserve(int64_t bytes) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
#ifdef __linux__
  // fallocate, not posix_fallocate: where the file system cannot reserve, the C library would
  // write the whole length as zeros instead, which on a slow stick takes as long as the copy.
  int rc;
  do {
    rc = fallocate(Fd(handle_), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes));
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    reserved_ = bytes;
    return Status::Ok();
  }
  if (errno == ENOSPC || errno == EDQUOT) return Status::Error(FullText());
  if (errno == EFBIG) return Status::Error(TooLargeText());
#else
  (void)bytes;
#endif
  return Status::Ok();
}

Status OutputFile::Write(const uint8_t* data, int64_t count) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  int64_t done = 0;
  while (done < count) {
    const ssize_t put = write(Fd(handle_), data + done, static_cast<size_t>(count - done));
    if (put < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      Advance(done);
      if (err == ENOSPC || err == EDQUOT) return Status::Error(FullText());
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
    (void)sync_file_range(Fd(handle_), static_cast<off_t>(writebackFrom_),
                          static_cast<off_t>(position_ - writebackFrom_), SYNC_FILE_RANGE_WRITE);
    writebackFrom_ = position_;
  }
#endif
  return Status::Ok();
}

Status OutputFile::Flush() {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  // Room reserved past the end of what was written is given back (cutting a file at its own
  // length frees what was allocated beyond it).
  if (reserved_ > end_ && ftruncate(Fd(handle_), static_cast<off_t>(end_)) != 0) {
    return Status::Error(std::string("flushing failed: ") + std::strerror(errno));
  }
  reserved_ = 0;
  if (fsync(Fd(handle_)) != 0 && errno != EINVAL && errno != EROFS) {
    return Status::Error(std::string("flushing failed: ") + std::strerror(errno));
  }
  return Status::Ok();
}

Status OutputFile::SyncData() {
  if (!IsOpen()) return Status::Error("the destination file is not open");
#ifdef __linux__
  const int rc = fdatasync(Fd(handle_));
#else
  const int rc = fsync(Fd(handle_));
#endif
  if (rc != 0 && errno != EINVAL && errno != EROFS) {
    return Status::Error(std::string("flushing failed: ") + std::strerror(errno));
  }
  return Status::Ok();
}

Status OutputFile::Close() {
  if (!IsOpen()) return Status::Ok();
  const int rc = close(Fd(handle_));
  handle_ = kNoHandle;
  if (rc != 0 && errno != EINTR) {
    return Status::Error(std::string("closing failed: ") + std::strerror(errno));
  }
  return Status::Ok();
}

}  // namespace skelbrook
