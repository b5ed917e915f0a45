// The disks of a Windows system, as the system lists them: every disk the SetupAPI's disk
// interface knows, by its \\.\PhysicalDriveN number (IOCTL_STORAGE_GET_DEVICE_NUMBER), with its
// friendly name and size; the disk Windows runs from is marked. Where the disk interface lists
// none, the drive numbers are tried in turn instead.
#include <windows.h>
// After windows.h: the SetupAPI and the I/O controls need it.
#include <devguid.h>
#include <initguid.h>
#include <setupapi.h>
#include <winioctl.h>

#include <algorithm>
#include <vector>

#include "device/drive.h"
#include "device/wide_text.h"
#include "disk/disk_finder.h"

namespace skelbrook {
namespace {

// Windows numbers its physical drives from 0; more than this many is unheard of.
constexpr int kWindowsDriveCount = 32;

struct Found {
  DiskCandidate disk;
  DWORD number = 0;
};

// A handle for asking the device questions. Its length wants read access; without the rights
// for that (not run as administrator) the number can still be asked with no access at all.
HANDLE OpenForQuestions(const std::wstring& path) {
  for (const DWORD access : {DWORD(GENERIC_READ), DWORD(0)}) {
    HANDLE h = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
  }
  return INVALID_HANDLE_VALUE;
}

// The number of the physical drive Windows itself runs from; -1 when it cannot be told.
long SystemDiskNumber() {
  wchar_t windows[MAX_PATH] = {};
  if (GetSystemWindowsDirectoryW(windows, MAX_PATH) < 2 || windows[1] != L':') return -1;
  const std::wstring volume = std::wstring(L"\\\\.\\") + windows[0] + L":";
  HANDLE h = OpenForQuestions(volume);
  if (h == INVALID_HANDLE_VALUE) return -1;
  VOLUME_DISK_EXTENTS extents{};
  DWORD got = 0;
  const bool asked = DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &extents,
                                     sizeof extents, &got, nullptr);
  CloseHandle(h);
  return asked && extents.NumberOfDiskExtents > 0 ? long(extents.Extents[0].DiskNumber) : -1;
}

// What the system calls the device: its friendly name, or its description.
std::string NameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
  for (const DWORD property : {DWORD(SPDRP_FRIENDLYNAME), DWORD(SPDRP_DEVICEDESC)}) {
    wchar_t name[256] = {};
    if (SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                          reinterpret_cast<BYTE*>(name), sizeof name - 2, nullptr))
      return Utf8FromWide(name);
  }
  return "";
}

// Its number and size through the device interface's path; false when it has no drive number.
bool AskDevice(const std::wstring& path, Found& found) {
  HANDLE h = OpenForQuestions(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  STORAGE_DEVICE_NUMBER number{};
  DWORD got = 0;
  const bool numbered = DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                                        sizeof number, &got, nullptr);
  GET_LENGTH_INFORMATION length{};
  if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &got,
                      nullptr))
    found.disk.sizeBytes = length.Length.QuadPart;
  CloseHandle(h);
  found.number = number.DeviceNumber;
  return numbered;
}

std::vector<Found> ThroughTheDiskInterface() {
  std::vector<Found> found;
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_DISK, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return found;
  for (DWORD i = 0;; ++i) {
    SP_DEVICE_INTERFACE_DATA face{};
    face.cbSize = sizeof face;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, i, &face)) break;
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &face, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    std::vector<uint64_t> room((size + 7) / 8);  // aligned as the structure wants
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(room.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiGetDeviceInterfaceDetailW(set, &face, detail, size, nullptr, &device)) continue;
    Found disk;
    if (!AskDevice(detail->DevicePath, disk)) continue;
    disk.disk.path = DriveNumberPath(disk.number);
    disk.disk.model = NameOf(set, device);
    found.push_back(disk);
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

// Where the disk interface lists nothing: the drive numbers that open, or that refuse for want of
// rights (they are there).
std::vector<Found> ByNumber() {
  std::vector<Found> found;
  for (int n = 0; n < kWindowsDriveCount; ++n) {
    Found disk;
    disk.number = DWORD(n);
    disk.disk.path = DriveNumberPath(disk.number);
    HANDLE h = OpenForQuestions(WideFromUtf8(disk.disk.path));
    if (h == INVALID_HANDLE_VALUE) continue;
    CloseHandle(h);
    found.push_back(disk);
  }
  return found;
}

}  // namespace

std::vector<DiskCandidate> FindDisks(const DiskPlaces&) {
  std::vector<Found> found = ThroughTheDiskInterface();
  if (found.empty()) found = ByNumber();
  std::sort(found.begin(), found.end(),
            [](const Found& a, const Found& b) { return a.number < b.number; });
  const long system = SystemDiskNumber();
  std::vector<DiskCandidate> disks;
  for (Found& f : found) {
    f.disk.systemDisk = long(f.number) == system;
    LookAtDisk(f.disk);  // sector 16 only, read-only
    disks.push_back(f.disk);
  }
  return disks;
}

}  // namespace skelbrook
