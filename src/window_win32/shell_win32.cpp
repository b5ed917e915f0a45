// The shell's folder browser, known folders and taskbar.
#include <windows.h>
// After windows.h: the shell's own headers need it.
#include <knownfolders.h>
#include <shlobj.h>

#include "window_win32/controls.h"
#include "window_win32/shell.h"

namespace skelbrook::window_win32 {
namespace {

// Opens the browser at the folder the callback's data names.
int CALLBACK OpenAt(HWND browser, UINT message, LPARAM, LPARAM start) {
  if (message == BFFM_INITIALIZED && start != 0)
    SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, start);
  return 0;
}

}  // namespace

std::string BrowseForFolder(HWND owner, const std::string& title, const std::string& start) {
  const std::wstring wideTitle = W(title);
  std::wstring from = W(start);
  while (from.size() > 3 && from.back() == L'\\') from.pop_back();  // "D:\TV\" opens as "D:\TV"
  wchar_t name[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pszDisplayName = name;
  info.lpszTitle = wideTitle.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = OpenAt;
  info.lParam = reinterpret_cast<LPARAM>(from.c_str());
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (chosen == nullptr) return "";
  std::wstring path(32768, L'\0');
  const bool got = SHGetPathFromIDListEx(chosen, path.data(), DWORD(path.size()), GPFIDL_DEFAULT);
  CoTaskMemFree(chosen);
  if (!got) return "";
  path.resize(wcslen(path.c_str()));
  return Utf8FromWide(path);
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)) && path != nullptr)
    folder = Utf8FromWide(path);
  CoTaskMemFree(path);
  return folder;
}

std::string ProgramFolder() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
  const size_t slash = path.find_last_of(L"\\/");
  return Utf8FromWide(slash == std::wstring::npos ? L"." : path.substr(0, slash));
}

TaskbarProgress::~TaskbarProgress() {
  if (taskbar_ != nullptr) taskbar_->Release();
}

void TaskbarProgress::ButtonCreated(HWND window) {
  window_ = window;
  if (taskbar_ != nullptr) return;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(&taskbar_))) ||
      FAILED(taskbar_->HrInit())) {
    if (taskbar_ != nullptr) taskbar_->Release();
    taskbar_ = nullptr;
  }
  shown_ = {};
}

void TaskbarProgress::Show(const session::Taskbar& taskbar) {
  if (taskbar_ == nullptr || (taskbar.state == shown_.state && taskbar.percent == shown_.percent))
    return;
  shown_ = taskbar;
  TBPFLAG state = TBPF_NOPROGRESS;
  switch (taskbar.state) {
    case session::TaskbarState::None:
      break;
    case session::TaskbarState::Normal:
      state = TBPF_NORMAL;
      break;
    case session::TaskbarState::Error:
      state = TBPF_ERROR;
      break;
    case session::TaskbarState::Paused:
      state = TBPF_PAUSED;
      break;
  }
  taskbar_->SetProgressState(window_, state);
  if (state != TBPF_NOPROGRESS)
    taskbar_->SetProgressValue(window_, ULONGLONG(taskbar.percent), 100);
}

}  // namespace skelbrook::window_win32
