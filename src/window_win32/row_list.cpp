// The list view, its image list and its info tips.
#include "window_win32/row_list.h"

#include "catalogue/recording.h"
#include "session/session_text.h"
#include "window_win32/controls.h"
#include "window_win32/resource.h"

namespace skelbrook::window_win32 {
namespace {

namespace text = session::text;

enum Column { kName, kSize, kChannelAndTimes };
// The picture after the row icons: the warning sign of a row read in part.
constexpr int kWarningPicture = static_cast<int>(std::size(kRowIcons));
constexpr int kIconPixels = 16;  // at 96 DPI

// The check box's state image: 1 unticked, 2 ticked.
UINT CheckState(bool ticked) {
  return INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
}

}  // namespace

RowList::RowList(HWND parent, HINSTANCE instance, UINT dpi) : instance_(instance) {
  list_ = CreateWindowExW(
      WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0, 0, 0,
      0, parent, reinterpret_cast<HMENU>(kIdList), instance, nullptr);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT |
                                               LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER |
                                               LVS_EX_SUBITEMIMAGES | LVS_EX_LABELTIP);
  const struct {
    const char* title;
    int format;
  } columns[] = {{text::kColumnName, LVCFMT_LEFT},
                 {text::kColumnSize, LVCFMT_RIGHT},
                 {text::kColumnChannelAndTimes, LVCFMT_LEFT}};
  for (int c = 0; c < 3; ++c) {
    std::wstring title = W(columns[c].title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = columns[c].format;
    column.pszText = title.data();
    column.cx = 100;
    column.iSubItem = c;
    ListView_InsertColumn(list_, c, &column);
  }
  SetDpi(dpi);
}

// The list view owns the image list it shows and destroys it with itself.
RowList::~RowList() = default;

void RowList::SetDpi(UINT dpi) {
  const int size = Scaled(kIconPixels, dpi);
  HIMAGELIST icons = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, kWarningPicture + 1, 0);
  for (const RowIcon key : kRowIcons) {
    auto* icon =
        static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kRowIconResource + int(key)),
                                      IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ImageList_AddIcon(icons, icon);
    DestroyIcon(icon);
  }
  // The system's own warning sign, shared: not to be destroyed.
  ImageList_AddIcon(icons, static_cast<HICON>(LoadImageW(nullptr, IDI_WARNING, IMAGE_ICON, size,
                                                         size, LR_SHARED)));
  // The list it gave up is ours to destroy.
  if (HIMAGELIST before = ListView_SetImageList(list_, icons, LVSIL_SMALL); before != nullptr)
    ImageList_Destroy(before);
  const int widths[] = {Scaled(380, dpi), Scaled(130, dpi), Scaled(200, dpi)};
  for (int c = 0; c < 3; ++c) ListView_SetColumnWidth(list_, c, widths[c]);
}

void RowList::Fill(int item, const session::RowView& row) {
  const std::wstring name = W(row.name), size = W(row.size), times = W(row.channelAndTimes);
  LVITEMW it{};
  it.mask = LVIF_TEXT | LVIF_IMAGE;
  it.iItem = item;
  it.pszText = const_cast<wchar_t*>(name.c_str());
  it.iImage = static_cast<int>(row.icon);
  ListView_SetItem(list_, &it);
  ListView_SetItemText(list_, item, kSize, const_cast<wchar_t*>(size.c_str()));
  LVITEMW third{};
  third.mask = LVIF_TEXT | LVIF_IMAGE;
  third.iItem = item;
  third.iSubItem = kChannelAndTimes;
  third.pszText = const_cast<wchar_t*>(times.c_str());
  third.iImage = row.warning ? kWarningPicture : -1;
  ListView_SetItem(list_, &third);
  ListView_SetItemState(list_, item, CheckState(row.ticked), LVIS_STATEIMAGEMASK);
  if (row.row >= tips_.size()) tips_.resize(row.row + 1);
  tips_[row.row] = row.nameTip;
}

void RowList::ShowRows(const std::vector<session::RowView>& rows) {
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(list_);
  tips_.assign(rows.size(), std::string());
  for (size_t i = 0; i < rows.size(); ++i) {
    LVITEMW it{};
    it.mask = LVIF_PARAM | LVIF_TEXT;
    it.iItem = static_cast<int>(i);
    it.pszText = const_cast<wchar_t*>(L"");
    it.lParam = static_cast<LPARAM>(rows[i].row);
    const int item = ListView_InsertItem(list_, &it);
    Fill(item, rows[i]);
  }
  if (!sized_ && !rows.empty()) {
    sized_ = true;
    ListView_SetColumnWidth(list_, kSize, LVSCW_AUTOSIZE_USEHEADER);
    ListView_SetColumnWidth(list_, kChannelAndTimes, LVSCW_AUTOSIZE_USEHEADER);
  }
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

int RowList::ItemOf(size_t row) const {
  LVFINDINFOW find{};
  find.flags = LVFI_PARAM;
  find.lParam = static_cast<LPARAM>(row);
  return ListView_FindItem(list_, -1, &find);
}

void RowList::ShowRow(const session::RowView& row) {
  if (const int item = ItemOf(row.row); item >= 0) Fill(item, row);
}

void RowList::MakeCurrent(size_t row) {
  const int item = ItemOf(row);
  if (item < 0 || ListView_GetNextItem(list_, -1, LVNI_FOCUSED) == item) return;
  ListView_SetItemState(list_, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list_, item, FALSE);
}

void RowList::ShowOrder(SortKey key, bool descending) {
  HWND header = ListView_GetHeader(list_);
  const int sorted = key == SortKey::Name    ? kName
                     : key == SortKey::Size  ? kSize
                     : key == SortKey::Start ? kChannelAndTimes
                                             : -1;
  for (int c = 0; c < 3; ++c) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    Header_GetItem(header, c, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (c == sorted) item.fmt |= descending ? HDF_SORTDOWN : HDF_SORTUP;
    Header_SetItem(header, c, &item);
  }
}

SortKey RowList::KeyOf(int column) {
  return column == kName ? SortKey::Name : column == kSize ? SortKey::Size : SortKey::Start;
}

std::optional<size_t> RowList::RowOf(int item) const {
  if (item < 0) return std::nullopt;
  LVITEMW it{};
  it.mask = LVIF_PARAM;
  it.iItem = item;
  if (!ListView_GetItem(list_, &it)) return std::nullopt;
  return static_cast<size_t>(it.lParam);
}

std::string RowList::TipOf(int item) const {
  const std::optional<size_t> row = RowOf(item);
  return row && *row < tips_.size() ? tips_[*row] : std::string();
}

}  // namespace skelbrook::window_win32
