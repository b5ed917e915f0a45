// Newer system calls looked up at run time, with the older ones where they are missing.
#include "window_win32/system.h"

namespace skelbrook::window_win32 {
namespace {

// `name` in the system library `library`, as the function type `Function`; none where this
// Windows lacks it.
template <typename Function>
Function Lookup(const wchar_t* library, const char* name) {
  HMODULE module = GetModuleHandleW(library);
  FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
  // By way of the generic function type, which any function pointer may be converted through.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

UINT ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto forWindow = Lookup<GetDpiForWindowFunction>(L"user32.dll", "GetDpiForWindow");
  const UINT dpi = forWindow != nullptr ? forWindow(window) : 0;
  return dpi != 0 ? dpi : ScreenDpi();
}

LOGFONTW MessageFont(UINT dpi) {
  using ForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  static const auto forDpi = Lookup<ForDpiFunction>(L"user32.dll", "SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (forDpi != nullptr && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
    return metrics.lfMessageFont;
  // The older call gives the font at the screen's DPI.
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  metrics.lfMessageFont.lfHeight =
      MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
  return metrics.lfMessageFont;
}

void LoadLibrariesFromSystemOnly() {
  using SetDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const auto setDirectories =
      Lookup<SetDirectoriesFunction>(L"kernel32.dll", "SetDefaultDllDirectories");
  if (setDirectories != nullptr) setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");  // and not the current folder, on any Windows
}

}  // namespace skelbrook::window_win32
