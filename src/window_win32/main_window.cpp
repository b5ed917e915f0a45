// The main window: creating it and its controls, turning the session's screen into the controls'
// states and the user's clicks, keys and ticks into the session's calls. Where the controls lie
// is in main_window_layout.cpp.
#include "window_win32/main_window.h"

#include <commctrl.h>

#include <optional>
#include <string_view>

#include "session/session_text.h"
#include "window_win32/controls.h"
#include "window_win32/resource.h"
#include "window_win32/system.h"

namespace skelbrook::window_win32 {
namespace {

namespace text = session::text;

constexpr const wchar_t* kWindowClass = L"SkelbrookMainWindow";
// How often the window asks the session whether a read of the disk has waited long.
constexpr UINT kTickMilliseconds = 250;
constexpr UINT_PTR kTickTimer = 1;
constexpr int kTipWidth = 480;  // at 96 DPI: long tooltips wrap

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW kind{};
  kind.cbSize = sizeof kind;
  kind.lpfnWndProc = procedure;
  kind.hInstance = instance;
  kind.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kProgramIcon));
  kind.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  kind.lpszClassName = kWindowClass;
  RegisterClassExW(&kind);  // a second window finds the class there already
}

// The edit box shows its lines with the line ends it knows.
std::wstring WithCrLf(const std::string& utf8) {
  std::wstring text;
  for (const wchar_t c : W(utf8)) {
    if (c == L'\n') text += L'\r';
    text += c;
  }
  return text;
}

// Only what changes is touched: a control told its state again would be drawn again.
void ShowControl(HWND control, const session::Control& state) {
  const bool visible = (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
  if (visible != state.visible) ShowWindow(control, state.visible ? SW_SHOWNA : SW_HIDE);
  if ((IsWindowEnabled(control) != FALSE) != state.enabled) EnableWindow(control, state.enabled);
}

void ShowCheck(HWND box, bool checked) {
  if ((SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) != checked)
    SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, const session::Places& places, session::Seams seams)
    : instance_(instance) {
  askYesNo = [this](const std::string& question) {
    // No is the default: a stray Enter never ends a copy.
    return MessageBoxW(window_, W(question).c_str(), W(text::kCaption).c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
  };
  showMessage = [this](const std::string& message) {
    MessageBoxW(window_, W(message).c_str(), W(text::kCaption).c_str(), MB_OK | MB_ICONERROR);
  };
  chooseFolder = [this](const std::string& title, const std::string& start) {
    return BrowseForFolder(window_, title, start);
  };
  endProgram = [this](int exitCode) {
    exitCode_ = exitCode;
    DestroyWindow(window_);
  };

  RegisterWindowClass(instance, Procedure);
  taskbarButtonCreated_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
  window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, W(text::kCaption).c_str(),
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
  // Explorer tells an elevated window that its taskbar button is there only if it may.
  ChangeWindowMessageFilterEx(window_, taskbarButtonCreated_, MSGFLT_ALLOW, nullptr);
  dpi_ = WindowDpi(window_);
  // The first size: as the window was always shown, but never more than the screen holds.
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int width = std::min(Scaled(880, dpi_), int(work.right - work.left));
  const int height = std::min(Scaled(620, dpi_), int(work.bottom - work.top));
  SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER);
  CreateControls();
  SetFonts();
  focusBeforeLeaving_ = Control(kIdDriveEdit);  // where the keyboard starts
  session_ = std::make_unique<session::Session>(*this, places, std::move(seams));
  LayOut();
  SetFocus(Control(kIdDriveEdit));
  SetTimer(window_, kTickTimer, kTickMilliseconds, nullptr);
}

MainWindow::~MainWindow() {
  session_.reset();
  if (IsWindow(window_)) DestroyWindow(window_);
  if (font_ != nullptr) DeleteObject(font_);
}

void MainWindow::DropPendingCalls() {
  // Calls handed to the window that it will never run own what they carry. Peeking takes the
  // program's quit message too, whatever the filter: it is put back for the loop.
  MSG pending;
  std::optional<int> quit;
  while (PeekMessageW(&pending, window_, kRunCallMessage, kRunCallMessage, PM_REMOVE)) {
    if (pending.message == WM_QUIT)
      quit = int(pending.wParam);
    else
      delete reinterpret_cast<std::function<void()>*>(pending.lParam);
  }
  if (quit) PostQuitMessage(*quit);
}

// ---- Creating the controls --------------------------------------------------------------------

HWND MainWindow::Add(const wchar_t* kind, const std::string& caption, DWORD style, int id) {
  // Boxes to type or read in are sunk into the panel, as the list is.
  const DWORD sunk = std::wstring_view(kind) == WC_EDITW ? WS_EX_CLIENTEDGE : 0;
  return CreateWindowExW(sunk, kind, W(caption).c_str(), WS_CHILD | style, 0, 0, 0, 0, window_,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
}

void MainWindow::CreateControls() {
  // In the keyboard's order: the search row, the list, then the panel from top to bottom, left
  // to right.
  HWND search = Add(WC_EDITW, "", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, kIdSearchEdit);
  SendMessageW(search, EM_SETCUEBANNER, TRUE,
               reinterpret_cast<LPARAM>(W(text::kSearchHint).c_str()));
  SetWindowSubclass(search, SearchProcedure, 1, 0);
  Add(WC_BUTTONW, text::kTickShownButton, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
      kIdTickShownButton);
  Add(WC_BUTTONW, text::kUntickAllButton, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
      kIdUntickAllButton);
  rows_ = std::make_unique<RowList>(window_, instance_, dpi_);
  HWND details = Add(WC_EDITW, "",
                     WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY, kIdDetails);
  SetWindowSubclass(details, DetailsProcedure, 1, 0);
  Add(WC_STATICW, "", WS_VISIBLE | SS_NOPREFIX | SS_CENTERIMAGE, kIdDriveLabel);
  HWND drive = Add(WC_EDITW, "", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, kIdDriveEdit);
  SetWindowSubclass(drive, DriveEditProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
  Add(WC_BUTTONW, text::kFindDiskButton, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kIdFindDisk);
  Add(WC_BUTTONW, text::kDestinationButton, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
      kIdDestinationButton);
  Add(WC_STATICW, "", WS_VISIBLE | SS_NOPREFIX | SS_NOTIFY | SS_ENDELLIPSIS | SS_CENTERIMAGE,
      kIdDestinationLabel);
  Add(WC_STATICW, "", SS_NOPREFIX | SS_NOTIFY | SS_ENDELLIPSIS, kIdDiskLine);
  Add(WC_STATICW, "", WS_VISIBLE | SS_NOPREFIX | SS_NOTIFY | SS_CENTER, kIdStatus);
  for (const auto& [bar, words] :
       {std::pair{kIdRecordingBar, kIdRecordingText}, std::pair{kIdBatchBar, kIdBatchText}}) {
    SendMessageW(Add(PROGRESS_CLASSW, "", 0, bar), PBM_SETRANGE32, 0, 100);
    Add(WC_STATICW, "", SS_NOPREFIX | SS_CENTERIMAGE, words);
  }
  Add(WC_BUTTONW, text::kReadButton, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kIdReadButton);
  Add(WC_BUTTONW, text::kStopButton, WS_TABSTOP | BS_PUSHBUTTON, kIdStopButton);
  Add(WC_BUTTONW, text::kCopyButton, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kIdCopyButton);
  Add(WC_BUTTONW, text::kExitButton, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kIdExitButton);
  const std::pair<int, const char*> options[] = {{kIdUnlistedBox, text::kUnlistedBox},
                                                 {kIdDeepBox, text::kDeepBox},
                                                 {kIdNfoBox, text::kNfoBox},
                                                 {kIdSplitBox, text::kSplitBox},
                                                 {kIdRescueBox, text::kRescueBox}};
  for (const auto& [id, caption] : options)
    Add(WC_BUTTONW, caption, WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, id);

  tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP | TTS_NOPREFIX,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                          nullptr, instance_, nullptr);
  for (const int id : {kIdDriveEdit, kIdDestinationLabel, kIdDiskLine, kIdStatus}) AddTip(id, "");
  AddTip(kIdFindDisk, text::kDoNotInitialise);
  AddTip(kIdStopButton, text::kStopTip);
  AddTip(kIdUnlistedBox, text::kUnlistedTip);
  AddTip(kIdDeepBox, text::kDeepTip);
  AddTip(kIdSplitBox, text::kSplitTip);
  AddTip(kIdRescueBox, text::kRescueTip);
  AddTip(kIdSearchEdit, text::kSearchTip);
  AddTip(kIdTickShownButton, text::kTickShownTip);
  AddTip(kIdUntickAllButton, text::kUntickAllTip);
}

void MainWindow::AddTip(int id, const std::string& tip) {
  std::wstring words = W(tip);
  TOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = window_;
  info.uId = reinterpret_cast<UINT_PTR>(Control(id));
  info.lpszText = words.data();
  SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void MainWindow::SetTip(int id, const std::string& tip) {
  std::wstring words = W(tip);
  TOOLINFOW info{};
  info.cbSize = sizeof info;
  info.hwnd = window_;
  info.uId = reinterpret_cast<UINT_PTR>(Control(id));
  info.lpszText = words.data();
  SendMessageW(tips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

void MainWindow::SetFonts() {
  const LOGFONTW message = MessageFont(dpi_);
  HFONT font = CreateFontIndirectW(&message);
  for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT))
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  SendMessageW(tips_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, Scaled(kTipWidth, dpi_));
  if (font_ != nullptr) DeleteObject(font_);
  font_ = font;
}

// ---- Messages ---------------------------------------------------------------------------------

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return self != nullptr ? self->OnMessage(message, wParam, lParam)
                         : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::DriveEditProcedure(HWND edit, UINT message, WPARAM wParam,
                                                LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  // Enter in the drive box reads the list.
  if (message == WM_GETDLGCODE && wParam == VK_RETURN)
    return DefSubclassProc(edit, message, wParam, lParam) | DLGC_WANTALLKEYS;
  if (message == WM_KEYDOWN && wParam == VK_RETURN) {
    reinterpret_cast<MainWindow*>(self)->session_->ReadList();
    return 0;
  }
  if (message == WM_CHAR && wParam == L'\r') return 0;  // no beep
  return DefSubclassProc(edit, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::DetailsProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR, DWORD_PTR) {
  // Read only: Tab and Enter go on through the window, as from any other control.
  if (message == WM_GETDLGCODE)
    return DefSubclassProc(edit, message, wParam, lParam) & ~(DLGC_WANTTAB | DLGC_WANTALLKEYS);
  return DefSubclassProc(edit, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::SearchProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR) {
  // Esc clears the search.
  if (message == WM_GETDLGCODE && wParam == VK_ESCAPE)
    return DefSubclassProc(edit, message, wParam, lParam) | DLGC_WANTALLKEYS;
  if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
    SetWindowTextW(edit, L"");
    return 0;
  }
  if (message == WM_CHAR && wParam == 27) return 0;  // no beep
  return DefSubclassProc(edit, message, wParam, lParam);
}

bool MainWindow::PreTranslate(MSG& message) {
  if (!IsWindow(window_)) return false;
  // Ctrl+F: to the search box; Ctrl+A in the list: tick what it shows.
  if (message.message == WM_KEYDOWN && GetKeyState(VK_CONTROL) < 0 &&
      (message.hwnd == window_ || IsChild(window_, message.hwnd))) {
    if (message.wParam == 'F') {
      SetFocus(Control(kIdSearchEdit));
      SendMessageW(Control(kIdSearchEdit), EM_SETSEL, 0, -1);
      return true;
    }
    if (message.wParam == 'A' && message.hwnd == rows_->Handle()) {
      session_->TickShown();
      return true;
    }
  }
  return IsDialogMessageW(window_, &message);
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kRunCallMessage: {
      std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lParam));
      (*call)();
      return 0;
    }
    case WM_TIMER:
      if (wParam == kTickTimer && session_) session_->Tick();
      return 0;
    case WM_SIZE:
      LayOut();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = {Scaled(560, dpi_), Scaled(440, dpi_)};
      return 0;
    }
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wParam);
      SetFonts();
      rows_->SetDpi(dpi_);
      const RECT* suggested = reinterpret_cast<RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      LayOut();
      return 0;
    }
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<NMHDR*>(lParam), lParam);
    case WM_CLOSE:  // the close box, Alt+F4, or the system
      if (session_->Close()) endProgram(0);
      return 0;
    case WM_DESTROY:
      KillTimer(window_, kTickTimer);
      PostQuitMessage(exitCode_);
      return 0;
    case WM_NCDESTROY:
      DropPendingCalls();
      return DefWindowProcW(window_, message, wParam, lParam);
    case WM_ACTIVATE:
      // The keyboard goes back to the control that had it when the window was left (a message
      // box, another program), as in a dialog; the list when there was none.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus)) focusBeforeLeaving_ = focus;
      } else {
        HWND back = focusBeforeLeaving_ != nullptr && IsWindow(focusBeforeLeaving_) &&
                            IsWindowEnabled(focusBeforeLeaving_) &&
                            IsWindowVisible(focusBeforeLeaving_)
                        ? focusBeforeLeaving_
                        : (rows_ ? rows_->Handle() : nullptr);
        if (back != nullptr) SetFocus(back);
      }
      return 0;
    default:
      if (message == taskbarButtonCreated_ && message != 0) {
        taskbar_.ButtonCreated(window_);
        return 0;
      }
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

void MainWindow::OnCommand(int id, int code) {
  if (applying_ || !session_) return;
  if (id >= kIdFirstDisk) return session_->ChooseDisk(static_cast<size_t>(id - kIdFirstDisk));
  if (id == kIdDriveEdit && code == EN_CHANGE) return session_->SetDriveText(TextOf(Control(id)));
  if (id == kIdSearchEdit && code == EN_CHANGE) return session_->SetSearch(TextOf(Control(id)));
  if (code != BN_CLICKED) return;
  const auto option = [&](session::OptionBox box) {
    session_->SetOption(box, SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED);
  };
  switch (id) {
    case kIdFindDisk:
      diskMenuWanted_ = true;
      return session_->FindDisks();
    case kIdDestinationButton:
      return session_->ChooseDestination();
    case kIdReadButton:
      return session_->ReadList();
    case kIdStopButton:
      return session_->Stop();
    case kIdCopyButton:
      return session_->Copy();
    case kIdExitButton:
      return session_->Exit();
    case kIdUnlistedBox:
      return option(session::OptionBox::Unlisted);
    case kIdDeepBox:
      return option(session::OptionBox::Deep);
    case kIdNfoBox:
      return option(session::OptionBox::Nfo);
    case kIdSplitBox:
      return option(session::OptionBox::Split);
    case kIdRescueBox:
      return option(session::OptionBox::Rescue);
    case kIdTickShownButton:
      return session_->TickShown();
    case kIdUntickAllButton:
      return session_->UntickAll();
    default:
      return;
  }
}

LRESULT MainWindow::OnNotify(const NMHDR& header, LPARAM lParam) {
  if (header.idFrom != kIdList || !session_) return 0;
  if (header.code == LVN_GETINFOTIPW) {
    auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(lParam);
    const std::wstring words = W(rows_->TipOf(tip->iItem));
    if (tip->cchTextMax > 0) lstrcpynW(tip->pszText, words.c_str(), tip->cchTextMax);
    return 0;
  }
  if (header.code == LVN_COLUMNCLICK) {  // a column's title: the list in its order
    session_->SortBy(RowList::KeyOf(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem));
    return 0;
  }
  if (header.code != LVN_ITEMCHANGED || applying_) return 0;
  const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
  const std::optional<size_t> row = rows_->RowOf(change->iItem);
  if (!row || (change->uChanged & LVIF_STATE) == 0) return 0;
  const UINT checkBefore = change->uOldState & LVIS_STATEIMAGEMASK;
  const UINT checkNow = change->uNewState & LVIS_STATEIMAGEMASK;
  if (checkNow != checkBefore && checkBefore != 0) {
    session_->TickRow(*row, checkNow == INDEXTOSTATEIMAGEMASK(2));
  } else if ((change->uNewState & LVIS_FOCUSED) && !(change->uOldState & LVIS_FOCUSED)) {
    session_->SelectRow(*row);  // a click, or the arrow keys: the details follow
  }
  return 0;
}

// ---- Showing the session's screen -------------------------------------------------------------

void MainWindow::ShowBar(int bar, int words, const session::Bar& shown) {
  ShowControl(Control(bar), {shown.visible, true});
  ShowControl(Control(words), {shown.visible, true});
  if (SendMessageW(Control(bar), PBM_GETPOS, 0, 0) != shown.percent)
    SendMessageW(Control(bar), PBM_SETPOS, WPARAM(shown.percent), 0);
  SetText(Control(words), W(shown.text));
}

void MainWindow::ShowTip(int id, const std::string& tip, const std::string& before) {
  if (tip != before || !shownOnce_) SetTip(id, tip);
}

void MainWindow::ShowScreen(const session::Screen& s) {
  applying_ = true;
  const bool moved = s.driveRow.visible != shown_.driveRow.visible ||
                     s.diskLineVisible != shown_.diskLineVisible ||
                     s.recordingBar.visible != shown_.recordingBar.visible ||
                     s.batchBar.visible != shown_.batchBar.visible ||
                     s.splitBox.visible != shown_.splitBox.visible;
  SetText(Control(kIdDriveLabel), W(s.driveLabel));
  SetText(Control(kIdDriveEdit), W(s.driveText));
  ShowTip(kIdDriveEdit, s.driveTip, shown_.driveTip);
  SetText(Control(kIdDestinationLabel), W(s.destination));
  ShowTip(kIdDestinationLabel, s.destinationTip, shown_.destinationTip);
  for (const int id :
       {kIdDriveLabel, kIdDriveEdit, kIdFindDisk, kIdDestinationButton, kIdDestinationLabel})
    ShowControl(Control(id), s.driveRow);
  ShowControl(Control(kIdDiskLine), {s.diskLineVisible, true});
  SetText(Control(kIdDiskLine), W(s.diskLine));
  ShowTip(kIdDiskLine, s.diskLine, shown_.diskLine);
  SetText(Control(kIdStatus), W(s.status));
  ShowTip(kIdStatus, s.status, shown_.status);
  ShowBar(kIdRecordingBar, kIdRecordingText, s.recordingBar);
  ShowBar(kIdBatchBar, kIdBatchText, s.batchBar);
  ShowControl(Control(kIdReadButton), s.readButton);
  ShowControl(Control(kIdStopButton), s.stopButton);
  ShowControl(Control(kIdCopyButton), s.copyButton);
  ShowControl(Control(kIdExitButton), s.exitButton);
  for (const auto& [id, option] :
       {std::pair{kIdUnlistedBox, s.unlistedBox}, std::pair{kIdDeepBox, s.deepBox},
        std::pair{kIdNfoBox, s.nfoBox}, std::pair{kIdSplitBox, s.splitBox},
        std::pair{kIdRescueBox, s.rescueBox}}) {
    ShowControl(Control(id), {option.visible, option.enabled});
    ShowCheck(Control(id), option.checked);
  }
  SetText(Control(kIdDetails), WithCrLf(s.details));
  ShowControl(Control(kIdSearchEdit), s.searchBox);
  ShowControl(Control(kIdTickShownButton), s.tickShownButton);
  ShowControl(Control(kIdUntickAllButton), s.untickAllButton);
  SetText(Control(kIdSearchEdit), W(s.search));
  if (!shownOnce_ || s.sortKey != shown_.sortKey || s.sortDescending != shown_.sortDescending)
    rows_->ShowOrder(s.sortKey, s.sortDescending);
  if (s.currentRow) rows_->MakeCurrent(*s.currentRow);
  taskbar_.Show(s.taskbar);
  shown_ = s;
  shownOnce_ = true;
  applying_ = false;
  if (moved) LayOut();
  KeepFocusOffDisabled();
}

void MainWindow::KeepFocusOffDisabled() {
  // A control that goes off or away with the keyboard would leave it nowhere, or hand it on to
  // Exit: the list keeps it instead, so that one more key press never quits.
  HWND focus = GetFocus();
  if (focus != nullptr && focus != rows_->Handle() && GetParent(focus) == window_ &&
      (!IsWindowEnabled(focus) || !IsWindowVisible(focus)))
    SetFocus(rows_->Handle());
}

void MainWindow::ShowRows(const std::vector<session::RowView>& rows) {
  applying_ = true;
  rows_->ShowRows(rows);
  applying_ = false;
}

void MainWindow::ShowRow(const session::RowView& row) {
  applying_ = true;
  rows_->ShowRow(row);
  applying_ = false;
}

// ---- The disk finder --------------------------------------------------------------------------

void MainWindow::ShowDisks(const std::vector<session::DiskChoice>& disks) {
  disks_ = disks;
  // While the disks are looked at, the button says so; the menu opens when they are in, so that
  // the window stays live meanwhile.
  const bool looking = disks.size() == 1 && disks[0].text == text::kLookingForDisks;
  SetText(Control(kIdFindDisk), W(looking ? text::kLookingForDisks : text::kFindDiskButton));
  if (looking) return;
  LayOut();
  if (diskMenuWanted_) OpenDiskMenu();
}

void MainWindow::OpenDiskMenu() {
  diskMenuWanted_ = false;
  HMENU menu = CreatePopupMenu();
  for (size_t i = 0; i < disks_.size(); ++i) {
    AppendMenuW(menu, MF_STRING | (disks_[i].path.empty() ? MF_GRAYED : 0),
                kIdFirstDisk + static_cast<UINT_PTR>(i), W(disks_[i].text).c_str());
  }
  // The first recorder disk stands out (in bold, as the menu's default line).
  for (size_t i = 0; i < disks_.size(); ++i) {
    if (!disks_[i].recorderDisk) continue;
    SetMenuDefaultItem(menu, kIdFirstDisk + static_cast<UINT>(i), FALSE);
    break;
  }
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, W(text::kDoNotInitialise).c_str());
  RECT button{};
  GetWindowRect(Control(kIdFindDisk), &button);
  const UINT chosen = UINT(TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD,
                                          button.left, button.bottom, 0, window_, nullptr));
  DestroyMenu(menu);
  if (chosen >= kIdFirstDisk) session_->ChooseDisk(chosen - kIdFirstDisk);
}

// ---- What the session asks of the window ------------------------------------------------------

void MainWindow::Post(std::function<void()> call) {
  auto* carried = new std::function<void()>(std::move(call));
  if (!PostMessageW(window_, kRunCallMessage, 0, reinterpret_cast<LPARAM>(carried)))
    delete carried;  // the window is gone: nobody is left to run it
}

void MainWindow::FocusList() {
  SetFocus(rows_->Handle());
}

bool MainWindow::AskYesNo(const std::string& question) {
  return askYesNo(question);
}

void MainWindow::ShowFatalMessage(const std::string& message) {
  showMessage(message);
}

std::string MainWindow::ChooseFolder(const std::string& title, const std::string& start) {
  return chooseFolder(title, start);
}

void MainWindow::EndProgram(int exitCode) {
  ShowWindow(window_, SW_HIDE);
  endProgram(exitCode);
}

}  // namespace skelbrook::window_win32
