// The Windows window's controls by number, and the little that every file of the window shares:
// text between the session's UTF-8 and the wide-character API, and sizes at the window's DPI.
#pragma once

#include <windows.h>

#include <string>

#include "device/wide_text.h"

namespace skelbrook::window_win32 {

// Control numbers (GetDlgItem): a test finds the controls by them, as a user finds them by sight.
enum ControlId : int {
  kIdList = 100,
  kIdDetails,
  kIdDriveLabel,
  kIdDriveEdit,
  kIdFindDisk,
  kIdDestinationButton,
  kIdDestinationLabel,
  kIdDiskLine,
  kIdStatus,
  kIdRecordingBar,
  kIdRecordingText,
  kIdBatchBar,
  kIdBatchText,
  kIdReadButton,
  kIdStopButton,
  kIdCopyButton,
  kIdExitButton,
  kIdUnlistedBox,
  kIdDeepBox,
  kIdNfoBox,
  kIdSplitBox,
  kIdRescueBox,
  kIdSearchEdit,
  kIdTickShownButton,
  kIdUntickAllButton,
  kIdFirstDisk = 1000,  // the disk finder's menu: kIdFirstDisk + the line's number
};

// The message that carries a call to the window's thread (its LPARAM owns a std::function).
inline constexpr UINT kRunCallMessage = WM_APP + 1;

inline std::wstring W(const std::string& utf8) {
  return WideFromUtf8(utf8);
}

// The text of a control, as UTF-8.
inline std::string TextOf(HWND control) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), int(text.size()))));
  return Utf8FromWide(text);
}

// Sets a control's text only when it changes: an unchanged text is not drawn again.
inline void SetText(HWND control, const std::wstring& text) {
  std::wstring now(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  now.resize(static_cast<size_t>(GetWindowTextW(control, now.data(), int(now.size()))));
  if (now != text) SetWindowTextW(control, text.c_str());
}

// `value` pixels at 96 DPI, at `dpi`.
inline int Scaled(int value, UINT dpi) {
  return MulDiv(value, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

}  // namespace skelbrook::window_win32
