// File-system services on Windows: renaming with and without replacing, file dates, and what the
// destination's volume is (GetVolumeInformationW) and holds.
#include <windows.h>

#include "device/file_system.h"
#include "device/wide_text.h"

namespace skelbrook {

char FolderSeparator() {
  return '\\';
}

Status RenameNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
  if (!MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(), 0)) {
    return Status::Error("cannot rename to " + to + ": " + Win32ErrorText(GetLastError()));
  }
  return Status::Ok();
}

void MakeWritable(const std::string& path) {
  SetFileAttributesW(WideFromUtf8(path).c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

Status RenameReplacing(const std::string& from, const std::string& to) {
  if (!MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Status::Error("cannot write " + to + ": " + Win32ErrorText(GetLastError()));
  }
  return Status::Ok();
}

Status SetFileTimes(const std::string& path, int64_t unixSeconds) {
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
}

VolumeInfo QueryVolume(const std::string& folder) {
  VolumeInfo info;
  std::string where = folder.empty() ? std::string(".") : folder;
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
  return info;
}

}  // namespace skelbrook
