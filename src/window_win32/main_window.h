// The main window on Windows: the recordings list, the details box and the control panel, built
// from the common controls. It is a view of the session (session/session.h): it creates the
// controls, forwards what the user does and shows what the session describes; every rule and
// every word is the session's.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "session/session.h"
#include "session/view.h"
#include "window_win32/row_list.h"
#include "window_win32/shell.h"

namespace skelbrook::window_win32 {

class MainWindow : public session::View {
 public:
  // Creates the window (not shown yet), its controls and its session.
  MainWindow(HINSTANCE instance, const session::Places& places, session::Seams seams = {});
  // Stops any disk work at its next step, waits for it, and destroys the window.
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return window_; }
  session::Session& session() { return *session_; }
  // What the message loop asks first of every message: the keyboard's way through the controls
  // (Tab, Space, the arrow keys). True when the message was dealt with.
  bool PreTranslate(MSG& message);

  // What waits on the user, replaceable where nobody is there to answer: the question before
  // quitting during a copy, the fatal message box, the folder chooser (opened at `start`, ""
  // on cancel), and the end of the program.
  std::function<bool(const std::string& question)> askYesNo;
  std::function<void(const std::string& text)> showMessage;
  std::function<std::string(const std::string& title, const std::string& start)> chooseFolder;
  std::function<void(int exitCode)> endProgram;

  // session::View
  void Post(std::function<void()> call) override;
  void ShowScreen(const session::Screen& screen) override;
  void ShowRows(const std::vector<session::RowView>& rows) override;
  void ShowRow(const session::RowView& row) override;
  void ShowDisks(const std::vector<session::DiskChoice>& disks) override;
  void FocusList() override;
  bool AskYesNo(const std::string& question) override;
  void ShowFatalMessage(const std::string& text) override;
  std::string ChooseFolder(const std::string& title, const std::string& start) override;
  void EndProgram(int exitCode) override;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK DriveEditProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR self);
  static LRESULT CALLBACK SearchProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK DetailsProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(int id, int code);
  LRESULT OnNotify(const NMHDR& header, LPARAM lParam);

  void CreateControls();
  HWND Add(const wchar_t* kind, const std::string& text, DWORD style, int id);
  HWND Control(int id) const { return GetDlgItem(window_, id); }
  void AddTip(int id, const std::string& tip);
  void SetTip(int id, const std::string& tip);
  void SetFonts();
  void LayOut();
  int TextWidth(const std::string& text) const;
  void ShowBar(int bar, int text, const session::Bar& shown);
  // A control's tooltip, set again only when it changes.
  void ShowTip(int id, const std::string& tip, const std::string& before);
  void OpenDiskMenu();
  void KeepFocusOffDisabled();
  void DropPendingCalls();

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HWND tips_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  UINT taskbarButtonCreated_ = 0;
  std::unique_ptr<RowList> rows_;
  TaskbarProgress taskbar_;
  session::Screen shown_;  // what the controls show now
  bool shownOnce_ = false;
  std::vector<session::DiskChoice> disks_;
  bool diskMenuWanted_ = false;  // Find disk was pressed: the menu opens when the disks are in
  bool applying_ = false;        // the session's state is being shown: no events go back to it
  int exitCode_ = 0;
  HWND focusBeforeLeaving_ = nullptr;
  std::unique_ptr<session::Session> session_;  // last: it goes first, stopping its work
};

}  // namespace skelbrook::window_win32
