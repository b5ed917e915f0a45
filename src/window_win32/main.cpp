// skelbrook.exe: one window over the recorder disk. Its settings file and recordings list live
// beside the program for a portable copy (a file named "portable" beside it), otherwise in
// %LOCALAPPDATA%\skelbrook; copies go to the user's Videos folder until one is chosen.
#include <windows.h>
// After windows.h: the common controls and the shell need it.
#include <commctrl.h>
#include <knownfolders.h>
#include <ole2.h>

#include "session/home_folder.h"
#include "session/session_text.h"
#include "window_win32/controls.h"
#include "window_win32/main_window.h"
#include "window_win32/shell.h"
#include "window_win32/system.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  namespace win = skelbrook::window_win32;
  namespace session = skelbrook::session;
  // Run as administrator from a Downloads folder, the program must load no DLL planted beside
  // it: libraries come from System32 only, before anything else is loaded.
  win::LoadLibrariesFromSystemOnly();
  if (FAILED(OleInitialize(nullptr))) return 1;  // the folder browser and the taskbar need it
  const INITCOMMONCONTROLSEX controls{
      sizeof(INITCOMMONCONTROLSEX),
      ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  const std::string config = win::KnownFolder(FOLDERID_LocalAppData) + "\\skelbrook";
  const std::string home = session::HomeFolder(win::ProgramFolder(), "", config);
  const std::string first = session::FirstDestination(
      home, config, win::KnownFolder(FOLDERID_Videos), win::KnownFolder(FOLDERID_Profile));
  int exitCode = 1;
  {
    win::MainWindow window(instance, {home, first});
    if (!window.session().StartupStatus().ok()) {
      MessageBoxW(nullptr, win::W(window.session().StartupStatus().message()).c_str(),
                  win::W(session::text::kCaption).c_str(), MB_OK | MB_ICONERROR);
    } else {
      ShowWindow(window.Handle(), show);
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      exitCode = static_cast<int>(message.wParam);
    }
  }
  OleUninitialize();
  return exitCode;
}
