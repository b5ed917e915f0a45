// Where the controls lie, at the window's size and DPI: the list fills the top, the details box
// lies under it, and the panel takes the bottom: the two bars where the drive row is (that row
// goes once a list is read), the disk line, the status line, the buttons, and the options,
// flowing onto as many lines as the width needs.
#include <algorithm>

#include "window_win32/controls.h"
#include "window_win32/main_window.h"

namespace skelbrook::window_win32 {
namespace {

// At 96 DPI.
constexpr int kMargin = 8;
constexpr int kGap = 6;
constexpr int kControlHeight = 24;
constexpr int kDetailsLines = 4;
constexpr int kStatusLines = 2;
constexpr int kButtonPadding = 24;
constexpr int kCheckBoxRoom = 24;  // the box and the space before its words
constexpr int kSmallestButton = 88;

}  // namespace

int MainWindow::TextWidth(const std::string& words) const {
  HDC dc = GetDC(window_);
  HGDIOBJ before = SelectObject(dc, font_);
  const std::wstring wide = W(words);
  SIZE size{};
  GetTextExtentPoint32W(dc, wide.c_str(), int(wide.size()), &size);
  SelectObject(dc, before);
  ReleaseDC(window_, dc);
  return size.cx;
}

void MainWindow::LayOut() {
  if (!rows_ || font_ == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  const auto s = [this](int value) { return Scaled(value, dpi_); };
  const int margin = s(kMargin), gap = s(kGap), line = s(kControlHeight);
  const int width = std::max(0, int(client.right) - 2 * margin);
  TEXTMETRICW metrics{};
  HDC dc = GetDC(window_);
  HGDIOBJ before = SelectObject(dc, font_);
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, before);
  ReleaseDC(window_, dc);
  const int textLine = metrics.tmHeight + metrics.tmExternalLeading;
  // Whether the control is to be shown (its own style: the window itself may be hidden yet).
  const auto visible = [this](int id) {
    return (GetWindowLongW(Control(id), GWL_STYLE) & WS_VISIBLE) != 0;
  };

  // The options flow left to right, onto a new line when the width is used up.
  struct Placed {
    int id, x, y, w, h;
  };
  std::vector<Placed> placed;
  int optionLines = 0, x = 0;
  for (const int id : {kIdUnlistedBox, kIdDeepBox, kIdNfoBox, kIdSplitBox, kIdRescueBox}) {
    if (!visible(id)) continue;
    // The read options and the copy options each start a line of their own.
    if (id == kIdNfoBox && x > 0) x = width + 1;
    const int w = TextWidth(TextOf(Control(id))) + s(kCheckBoxRoom);
    if (optionLines == 0 || x + w > width) {
      ++optionLines;
      x = 0;
    }
    placed.push_back({id, margin + x, optionLines - 1, w, line});
    x += w + 2 * gap;
  }
  const int panel =
      (visible(kIdRecordingBar) ? line + gap : 0) + (visible(kIdBatchBar) ? line + gap : 0) +
      (visible(kIdDriveEdit) ? line + gap : 0) + (visible(kIdDiskLine) ? textLine + gap : 0) +
      kStatusLines * textLine + gap + line + gap + optionLines * (line + gap);
  const int details = kDetailsLines * textLine + s(8);
  const int listHeight =
      std::max(line * 3, int(client.bottom) - 2 * margin - panel - details - 2 * gap - line);

  HDWP moves = BeginDeferWindowPos(24);
  const auto put = [&](HWND control, int left, int top, int w, int h) {
    moves = DeferWindowPos(moves, control, nullptr, left, top, std::max(0, w), std::max(0, h),
                           SWP_NOZORDER | SWP_NOACTIVATE);
  };
  // Above the list: the search box, and the buttons that tick what it shows.
  int y = margin;
  const auto buttonWidth = [&](int id) {
    return std::max(s(kSmallestButton), TextWidth(TextOf(Control(id))) + s(kButtonPadding));
  };
  const int tickShown = buttonWidth(kIdTickShownButton),
            untickAll = buttonWidth(kIdUntickAllButton);
  put(Control(kIdSearchEdit), margin, y, width - tickShown - untickAll - 2 * gap, line);
  put(Control(kIdTickShownButton), margin + width - tickShown - untickAll - gap, y, tickShown,
      line);
  put(Control(kIdUntickAllButton), margin + width - untickAll, y, untickAll, line);
  y += line + gap;
  put(rows_->Handle(), margin, y, width, listHeight);
  y += listHeight + gap;
  put(Control(kIdDetails), margin, y, width, details);
  y += details + gap;
  for (const auto& [bar, words] :
       {std::pair{kIdRecordingBar, kIdRecordingText}, std::pair{kIdBatchBar, kIdBatchText}}) {
    if (!visible(bar)) continue;
    // A bar draws no words: they stand beside it.
    const int barWidth = width * 11 / 20;
    put(Control(bar), margin, y, barWidth, line);
    put(Control(words), margin + barWidth + gap, y, width - barWidth - gap, line);
    y += line + gap;
  }
  if (visible(kIdDriveEdit)) {
    int left = margin;
    const int label = TextWidth(TextOf(Control(kIdDriveLabel))) + s(4);
    put(Control(kIdDriveLabel), left, y, label, line);
    left += label + gap;
    const int find =
        std::max(s(kSmallestButton), TextWidth(TextOf(Control(kIdFindDisk))) + s(kButtonPadding));
    const int destination = TextWidth(TextOf(Control(kIdDestinationButton))) + s(kButtonPadding);
    const int rest = margin + width - left - find - destination - 3 * gap;
    const int edit = std::clamp(rest / 2, s(120), s(360));
    put(Control(kIdDriveEdit), left, y, edit, line);
    left += edit + gap;
    put(Control(kIdFindDisk), left, y, find, line);
    left += find + gap;
    put(Control(kIdDestinationButton), left, y, destination, line);
    left += destination + gap;
    put(Control(kIdDestinationLabel), left, y, margin + width - left, line);
    y += line + gap;
  }
  if (visible(kIdDiskLine)) {
    put(Control(kIdDiskLine), margin, y, width, textLine);
    y += textLine + gap;
  }
  put(Control(kIdStatus), margin, y, width, kStatusLines * textLine);
  y += kStatusLines * textLine + gap;
  // Stop stands where the read button stands.
  const int first = std::max(buttonWidth(kIdReadButton), buttonWidth(kIdStopButton));
  put(Control(kIdReadButton), margin, y, first, line);
  put(Control(kIdStopButton), margin, y, first, line);
  int left = margin + first + gap;
  for (const int id : {kIdCopyButton, kIdExitButton}) {
    put(Control(id), left, y, buttonWidth(id), line);
    left += buttonWidth(id) + gap;
  }
  y += line + gap;
  for (const Placed& p : placed) put(Control(p.id), p.x, y + p.y * (line + gap), p.w, p.h);
  EndDeferWindowPos(moves);
  InvalidateRect(window_, nullptr, TRUE);
}

}  // namespace skelbrook::window_win32
