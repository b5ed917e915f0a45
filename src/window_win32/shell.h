// What the Windows window asks of the shell: the folder chooser, the folders the system keeps for
// the user (local application data, Videos, the profile), the program's own folder, and the
// progress on the program's taskbar button.
#pragma once

#include <windows.h>
// After windows.h: the shell's interfaces need it.
#include <shobjidl.h>

#include <string>

#include "session/screen.h"

namespace skelbrook::window_win32 {

// The shell folder browser, new-style, file-system folders only, owned by `owner` and opened at
// `start`; "" when the user cancels.
std::string BrowseForFolder(HWND owner, const std::string& title, const std::string& start);

// A folder the system keeps for the user (FOLDERID_LocalAppData, FOLDERID_Videos, ...), UTF-8;
// "" when there is none.
std::string KnownFolder(REFKNOWNFOLDERID id);

// The folder skelbrook.exe was started from.
std::string ProgramFolder();

// The program's button on the taskbar showing a copy's progress: red when a row failed, paused
// while the disk keeps a read waiting. Quietly nothing where the taskbar has no such button.
class TaskbarProgress {
 public:
  ~TaskbarProgress();
  // The taskbar made the window's button (its "TaskbarButtonCreated" message).
  void ButtonCreated(HWND window);
  void Show(const session::Taskbar& taskbar);

 private:
  HWND window_ = nullptr;
  ITaskbarList3* taskbar_ = nullptr;
  session::Taskbar shown_;
};

}  // namespace skelbrook::window_win32
