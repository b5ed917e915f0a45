// The recordings list of the Windows window: a list view in report view with a check box and a
// small icon per row and three resizable columns, the rows' pictures in an image list, and the
// rows' tooltips (info tips). Each item carries the index of its recording in the session's list.
#pragma once

#include <windows.h>
// After windows.h: the common controls need it.
#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "session/screen.h"

namespace skelbrook::window_win32 {

class RowList {
 public:
  // Creates the list as a child of `parent`.
  RowList(HWND parent, HINSTANCE instance, UINT dpi);
  ~RowList();
  RowList(const RowList&) = delete;
  RowList& operator=(const RowList&) = delete;

  HWND Handle() const { return list_; }
  // The pictures and the columns' first widths at the window's DPI.
  void SetDpi(UINT dpi);

  void ShowRows(const std::vector<session::RowView>& rows);
  void ShowRow(const session::RowView& row);
  // Makes the row the current (selected, focused) one and scrolls it into view.
  void MakeCurrent(size_t row);
  // The arrow in the title of the column the list is in the order of; none for the catalogue's.
  void ShowOrder(SortKey key, bool descending);

  // The order a click on column `column`'s title asks for.
  static SortKey KeyOf(int column);
  // The recording of the list's item `item`; none for no item.
  std::optional<size_t> RowOf(int item) const;
  // The tooltip of the item `item`.
  std::string TipOf(int item) const;

 private:
  int ItemOf(size_t row) const;
  void Fill(int item, const session::RowView& row);

  HWND list_ = nullptr;
  HINSTANCE instance_ = nullptr;
  std::vector<std::string> tips_;  // by recording
  bool sized_ = false;
};

}  // namespace skelbrook::window_win32
