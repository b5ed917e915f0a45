// What the Windows window asks of the system that newer Windows versions answer better: the DPI
// a window is shown at, and the message font at a DPI. Looked up when the program runs, so that
// it starts on Windows 7 and 8 as well, where the older answers serve.
#pragma once

#include <windows.h>

namespace skelbrook::window_win32 {

// The window's DPI (per monitor, Windows 10 1607 and later); the screen's on older Windows.
UINT WindowDpi(HWND window);

// The system's message font, sized for `dpi`.
LOGFONTW MessageFont(UINT dpi);

// Libraries load from System32 only, never from the folder the program was started from (a
// Downloads folder may hold anything): where Windows allows it, before anything else loads.
void LoadLibrariesFromSystemOnly();

}  // namespace skelbrook::window_win32
