// Writing one destination file on Windows: CREATE_NEW, checked writes, room reserved with
// FileAllocationInfo, FlushFileBuffers.
#include <windows.h>

#include <algorithm>

#include "device/output_file.h"
#include "device/wide_text.h"

namespace skelbrook {
namespace {

HANDLE AsHandle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

Status OutputFile::CreateExclusive(const std::string& path) {
  (void)Close();  // a file still open from an earlier use was flushed or given up already
  written_ = 0;
  const std::wstring wide = WideFromUtf8(path);
  // CREATE_NEW: an existing file is never opened, truncated or overwritten.
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    return Status::Error("cannot create " + path + ": " + Win32ErrorText(GetLastError()));
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  reserved_ = position_ = end_ = writebackFrom_ = 0;
  return Status::Ok();
}

Status OutputFile::OpenExisting(const std::string& path) {
  (void)Close();  // a file still open from an earlier use was flushed or given up already
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
  handle_ = reinterpret_cast<intptr_t>(h);
  reserved_ = position_ = writebackFrom_ = 0;
  end_ = length.QuadPart;
  return Status::Ok();
}

Status OutputFile::Seek(int64_t position) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  LARGE_INTEGER to{};
  to.QuadPart = position;
  if (!SetFilePointerEx(AsHandle(handle_), to, nullptr, FILE_BEGIN)) {
    return Status::Error("writing failed: " + Win32ErrorText(GetLastError()));
  }
  position_ = position;
  return Status::Ok();
}

Status OutputFile::Reserve(int64_t bytes) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = bytes;
  if (SetFileInformationByHandle(AsHandle(handle_), FileAllocationInfo, &allocation,
                                 sizeof allocation)) {
    // The allocation beyond the file's end is given back when the handle closes.
    reserved_ = bytes;
    return Status::Ok();
  }
  const DWORD err = GetLastError();
  if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL) {
    return Status::Error(FullText());
  }
  if (err == ERROR_FILE_TOO_LARGE) return Status::Error(TooLargeText());
  return Status::Ok();
}

Status OutputFile::Write(const uint8_t* data, int64_t count) {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  int64_t done = 0;
  while (done < count) {
    const DWORD want = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30));
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), data + done, want, &put, nullptr)) {
      const DWORD err = GetLastError();
      Advance(done);
      if (err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL) {
        return Status::Error(FullText());
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

Status OutputFile::Flush() {
  if (!IsOpen()) return Status::Error("the destination file is not open");
  if (!FlushFileBuffers(AsHandle(handle_))) {
    return Status::Error("flushing failed: " + Win32ErrorText(GetLastError()));
  }
  return Status::Ok();
}

Status OutputFile::SyncData() {
  return Flush();
}

Status OutputFile::Close() {
  if (!IsOpen()) return Status::Ok();
  const BOOL ok = CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
  if (!ok) return Status::Error("closing failed: " + Win32ErrorText(GetLastError()));
  return Status::Ok();
}

}  // namespace skelbrook
