// The Windows window, created for real and driven by the messages a user's clicks and keys send:
// the demo disk read by its image's path, rows read back off the list view, ticked with the mouse
// and the keyboard, copied with the button and compared with the recordings; Stop during a slow
// copy; the close box during a copy asks; and the layout at 100 % and 150 % on a 1,280 x 720
// screen. The rules themselves are tested on the session (tests/session).
#include <windows.h>
// After windows.h: the common controls need it.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "controls.h"
#include "main_window.h"
#include "mkimage/image_writer.h"
#include "support/failing_disk.h"
#include "support/test_support.h"

namespace skelbrook::test {
namespace {

namespace win = window_win32;
namespace mk = mkimage;

class Win32Window : public ::testing::Test {
 protected:
  Win32Window() {
    window = std::make_unique<win::MainWindow>(GetModuleHandleW(nullptr),
                                               session::Places{home.path(), ""});
    window->chooseFolder = [this](const std::string&, const std::string&) { return dest.path(); };
    window->askYesNo = [this](const std::string& question) {
      questions.push_back(question);
      return answer;
    };
    window->endProgram = [this](int code) { endings.push_back(code); };
    ShowWindow(window->Handle(), SW_SHOW);
    UpdateWindow(window->Handle());
  }

  HWND Control(int id) const { return GetDlgItem(window->Handle(), id); }
  HWND List() const { return Control(win::kIdList); }
  std::string Text(int id) const { return win::TextOf(Control(id)); }
  bool Shown(int id) const { return IsWindowVisible(Control(id)) != FALSE; }
  bool Live(int id) const { return Shown(id) && IsWindowEnabled(Control(id)); }

  // Runs the window's messages, as its message loop does, until `done` or half a minute.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (window->PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
  }
  bool Pump(std::chrono::milliseconds time) {
    const auto until = std::chrono::steady_clock::now() + time;
    return PumpUntil([until] { return std::chrono::steady_clock::now() > until; });
  }
  // A key pressed and let go while `control` has the keyboard, through the message loop.
  void Key(HWND control, WPARAM key) {
    SetFocus(control);
    PostMessageW(control, WM_KEYDOWN, key, 1);
    if (key == VK_SPACE) PostMessageW(control, WM_CHAR, L' ', 1);
    PostMessageW(control, WM_KEYUP, key, 0xC0000001);
    Pump(std::chrono::milliseconds(50));
  }
  // A key pressed with Ctrl held, while `control` has the keyboard.
  void CtrlKey(HWND control, WPARAM key) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    Key(control, key);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
  }
  // A click on the title of the list's column `column`.
  void ClickTitle(int column) {
    HWND header = ListView_GetHeader(List());
    RECT title{};
    Header_GetItemRect(header, column, &title);
    const LPARAM at = MAKELPARAM((title.left + title.right) / 2, (title.top + title.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
    Pump(std::chrono::milliseconds(50));
  }
  // The first three letters of every row's name, in the order shown.
  std::string Shown() const {
    std::string names;
    for (int i = 0; i < ListView_GetItemCount(List()); ++i)
      names += (i > 0 ? " " : "") + Cell(i, 0).substr(0, 3);
    return names;
  }
  void Click(int id) { SendMessageW(Control(id), BM_CLICK, 0, 0); }
  // A click of the mouse on the check box of the list's item `item`.
  void ClickCheckBox(int item) {
    RECT icon{};
    ListView_GetItemRect(List(), item, &icon, LVIR_ICON);
    const LPARAM at = MAKELPARAM(icon.left - 8, (icon.top + icon.bottom) / 2);
    SendMessageW(List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(List(), WM_LBUTTONUP, 0, at);
    Pump(std::chrono::milliseconds(50));
  }
  std::string Cell(int item, int column) const {
    wchar_t text[512] = {};
    ListView_GetItemText(List(), item, column, text, 512);
    return Utf8FromWide(text);
  }
  bool Ticked(int item) const { return ListView_GetCheckState(List(), item) != FALSE; }
  int Picture(int item) const {
    LVITEMW it{};
    it.mask = LVIF_IMAGE;
    it.iItem = item;
    ListView_GetItem(List(), &it);
    return it.iImage;
  }
  // Types the disk's path in the drive box and presses Enter there; waits for the list.
  void ReadByKeyboard(const std::string& disk) {
    Click(win::kIdDestinationButton);
    SetWindowTextW(Control(win::kIdDriveEdit), WideFromUtf8(disk).c_str());
    Key(Control(win::kIdDriveEdit), VK_RETURN);
    ASSERT_TRUE(
        PumpUntil([this] { return window->session().CurrentPhase() == session::Phase::Listed; }));
  }
  bool CopyNow() {
    Click(win::kIdCopyButton);
    return PumpUntil([this] {
      return window->session().CurrentPhase() != session::Phase::Copying &&
             window->session().CurrentPhase() != session::Phase::Stopping;
    });
  }
  std::vector<std::string> DestFiles() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(PathFromUtf8(dest.path())))
      names.push_back(Utf8FromPath(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir home, dest, disks;
  std::unique_ptr<win::MainWindow> window;
  std::vector<std::string> questions;
  bool answer = true;
  std::vector<int> endings;
};

TEST_F(Win32Window, AUserReadsTheDiskByItsPathTicksWithMouseAndKeysAndCopies) {
  wchar_t caption[128] = {};
  GetWindowTextW(window->Handle(), caption, 128);
  EXPECT_EQ(Utf8FromWide(caption), "9200TSkelbrook 0.89  (oska)");
  std::string captions;
  for (const int id : {win::kIdDriveLabel, win::kIdReadButton, win::kIdCopyButton,
                       win::kIdExitButton, win::kIdDestinationButton, win::kIdFindDisk})
    captions += Text(id) + "|";
  EXPECT_EQ(captions,
            "\\\\.\\PhysicalDrive|Read filelist from 9200T|Copy files to PC|Exit|Destination "
            "folder|Find disk|");
  for (int c = 0; c < 3; ++c) {
    wchar_t title[64] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = 64;
    ListView_GetColumn(List(), c, &column);
    captions += Utf8FromWide(title) + "|";
  }
  EXPECT_TRUE(captions.ends_with("Programme name|File size|Status|")) << captions;
  EXPECT_TRUE(Live(win::kIdReadButton) && !Live(win::kIdCopyButton) && !Shown(win::kIdStopButton));
  EXPECT_EQ(GetFocus(), Control(win::kIdDriveEdit));

  ReadByKeyboard(WriteTestImage(disks, ThreeRecordings()));
  ASSERT_EQ(ListView_GetItemCount(List()), 3);
  EXPECT_EQ(Cell(0, 0), "003_073005Mar_Morning Show.ts");
  EXPECT_EQ(Cell(0, 1), "780,048 Bytes");
  EXPECT_EQ(Cell(0, 2), "ONE 07:30~08:15");
  EXPECT_EQ(Cell(1, 0), "011_210521Nov_Film_ Night Train.ts");
  EXPECT_EQ(GetFocus(), List());  // never Exit, which one Space would press
  EXPECT_FALSE(Shown(win::kIdDriveEdit) || Shown(win::kIdFindDisk) || Live(win::kIdReadButton));
  EXPECT_TRUE(Shown(win::kIdDiskLine));

  ClickCheckBox(0);
  EXPECT_TRUE(Ticked(0));
  EXPECT_TRUE(Text(win::kIdStatus).starts_with("1 file selected totaling 780048 bytes. "));
  EXPECT_EQ(Text(win::kIdDetails), "Breakfast and the news.");
  EXPECT_TRUE(Live(win::kIdCopyButton));
  Key(List(), VK_DOWN);  // the details follow the arrow keys
  EXPECT_EQ(Text(win::kIdDetails), "A thriller on rails.");
  Key(List(), VK_SPACE);
  EXPECT_TRUE(Ticked(1));
  EXPECT_TRUE(Text(win::kIdStatus).starts_with("2 files selected totaling 1170072 bytes. "));
  // A row's tooltip, as the list asks for it when the mouse rests on the row.
  wchar_t tip[256] = {};
  NMLVGETINFOTIPW ask{};
  ask.hdr = {List(), UINT_PTR(win::kIdList), UINT(LVN_GETINFOTIPW)};
  ask.pszText = tip;
  ask.cchTextMax = 256;
  ask.iItem = 1;
  SendMessageW(window->Handle(), WM_NOTIFY, win::kIdList, reinterpret_cast<LPARAM>(&ask));
  EXPECT_EQ(Utf8FromWide(tip), "011_210521Nov_Film_ Night Train.ts");

  ASSERT_TRUE(CopyNow());
  EXPECT_FALSE(Ticked(0) || Ticked(1));
  EXPECT_EQ(Picture(0), int(RowIcon::Downloaded));
  EXPECT_EQ(Picture(2), int(RowIcon::Default));
  EXPECT_EQ(Text(win::kIdBatchText), "All ticked recordings: 100%");
  EXPECT_EQ(SendMessageW(Control(win::kIdBatchBar), PBM_GETPOS, 0, 0), 100);
  EXPECT_TRUE(Text(win::kIdStatus).ends_with(". 2 copied")) << Text(win::kIdStatus);
  EXPECT_FALSE(Live(win::kIdCopyButton));
  EXPECT_EQ(DestFiles(), (std::vector<std::string>{"003_073005Mar_Morning Show.ts",
                                                   "011_210521Nov_Film_ Night Train.ts"}));
  EXPECT_EQ(ReadWholeFile(dest.file("003_073005Mar_Morning Show.ts")),
            mk::RecordingBytes(31, 0, 780048));
  EXPECT_EQ(ReadWholeFile(dest.file("011_210521Nov_Film_ Night Train.ts")),
            mk::RecordingBytes(32, 0, 390024));
}

TEST_F(Win32Window, StopEndsASlowCopyAndTheCloseBoxAsksFirst) {
  ReadByKeyboard(WriteTestImage(disks, ThreeRecordings(12 * 780048)));
  window->session().SeamsInUse().openDisk = Slow(std::chrono::milliseconds(150));
  ClickCheckBox(0);
  Click(win::kIdCopyButton);
  ASSERT_TRUE(PumpUntil(
      [this] { return SendMessageW(Control(win::kIdRecordingBar), PBM_GETPOS, 0, 0) > 0; }));
  EXPECT_TRUE(Live(win::kIdStopButton) && !Shown(win::kIdReadButton));
  Click(win::kIdStopButton);
  ASSERT_TRUE(
      PumpUntil([this] { return window->session().CurrentPhase() == session::Phase::Listed; }));
  EXPECT_TRUE(DestFiles().empty());
  EXPECT_TRUE(Text(win::kIdStatus).starts_with("Stopped - End time: ")) << Text(win::kIdStatus);
  EXPECT_TRUE(Ticked(0) && Live(win::kIdCopyButton) && !Shown(win::kIdStopButton));

  // The close box during a copy asks; No leaves it running with the keyboard on the list, Yes
  // stops it and the program ends once it has stopped.
  answer = false;
  Click(win::kIdCopyButton);
  ASSERT_TRUE(PumpUntil(
      [this] { return SendMessageW(Control(win::kIdRecordingBar), PBM_GETPOS, 0, 0) > 0; }));
  SetFocus(Control(win::kIdExitButton));
  SendMessageW(window->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(questions, std::vector<std::string>{"A copy is running. Stop it and quit?"});
  EXPECT_EQ(window->session().CurrentPhase(), session::Phase::Copying);
  EXPECT_EQ(GetFocus(), List());
  answer = true;
  SendMessageW(window->Handle(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([this] { return !endings.empty(); }));
  EXPECT_EQ(endings, std::vector<int>{0});
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_TRUE(DestFiles().empty());
}

// The window gone, its message loop is told to end, though calls from the work were still waiting
// for it: those are dropped, never run, and what they carried is freed.
TEST_F(Win32Window, ClosingTheWindowEndsTheMessageLoop) {
  auto carried = std::make_shared<int>(0);
  const std::weak_ptr<int> held = carried;
  window->Post([carried] { ++*carried; });
  window->Post([carried] { ++*carried; });
  carried.reset();
  DestroyWindow(window->Handle());
  EXPECT_TRUE(held.expired());  // both calls were dropped, and what they carried freed
  MSG quit{};
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.message, UINT(WM_QUIT));
}

// A long list: a column's title puts it in order (again, the other way round); Ctrl+F reaches the
// search box, which shows what holds every word, and Esc clears it; Ctrl+A in the list and the
// buttons above it tick what is shown.
TEST_F(Win32Window, TheListIsSortedSearchedAndTickedWithMouseAndKeys) {
  ReadByKeyboard(WriteTestImage(disks, ThreeRecordings()));
  ClickTitle(1);  // File size: 389,024 < 390,024 < 780,048
  EXPECT_EQ(Shown(), "007 011 003");
  ClickTitle(1);
  EXPECT_EQ(Shown(), "003 011 007");
  ClickTitle(0);  // by title: Film: Night Train, Late News, Morning Show
  EXPECT_EQ(Shown(), "011 007 003");
  HDITEMW title{};
  title.mask = HDI_FORMAT;
  Header_GetItem(ListView_GetHeader(List()), 0, &title);
  EXPECT_TRUE(title.fmt & HDF_SORTUP);

  CtrlKey(List(), 'F');
  EXPECT_EQ(GetFocus(), Control(win::kIdSearchEdit));
  SetWindowTextW(Control(win::kIdSearchEdit), L"NEWS");  // Late News; Morning Show by its guide
  EXPECT_EQ(Shown(), "007 003");
  EXPECT_TRUE(Text(win::kIdStatus).ends_with("Showing 2 of 3 recordings.")) << Text(win::kIdStatus);
  Key(Control(win::kIdSearchEdit), VK_ESCAPE);
  EXPECT_EQ(Text(win::kIdSearchEdit), "");
  EXPECT_EQ(Shown(), "011 007 003");

  SetWindowTextW(Control(win::kIdSearchEdit), L"show");
  CtrlKey(List(), 'A');
  EXPECT_TRUE(Ticked(0));
  EXPECT_TRUE(Text(win::kIdStatus).starts_with("1 file selected totaling 780048 bytes."));
  SetWindowTextW(Control(win::kIdSearchEdit), L"");
  Click(win::kIdTickShownButton);
  EXPECT_TRUE(Text(win::kIdStatus).starts_with("3 files selected totaling 1559096 bytes."));
  Click(win::kIdUntickAllButton);
  EXPECT_EQ(Text(win::kIdStatus), "Check the items required for transfer.");
  EXPECT_FALSE(Live(win::kIdCopyButton));
}

// On a 1,280 x 720 screen, at 100 % and at 150 %, every control the window shows lies inside it
// and none lies over another.
TEST_F(Win32Window, TheControlsFitA1280By720ScreenAt100And150Percent) {
  window->session().SeamsInUse().queryVolume = [](const std::string&) {
    return VolumeInfo{"FAT32", -1, kFatLargestFile, -1};
  };
  Click(win::kIdDestinationButton);  // the FAT32 box shows too
  ASSERT_TRUE(PumpUntil([this] { return Shown(win::kIdSplitBox); }));
  for (const UINT dpi : {96u, 144u}) {
    RECT screen{0, 0, 1280, 680};  // the screen less its taskbar
    SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&screen));
    Pump(std::chrono::milliseconds(100));
    RECT client{};
    GetClientRect(window->Handle(), &client);
    std::vector<std::pair<int, RECT>> shown;
    for (HWND c = GetWindow(window->Handle(), GW_CHILD); c != nullptr;
         c = GetWindow(c, GW_HWNDNEXT)) {
      if (!IsWindowVisible(c)) continue;
      RECT r{};
      GetWindowRect(c, &r);
      MapWindowPoints(nullptr, window->Handle(), reinterpret_cast<POINT*>(&r), 2);
      const int id = GetDlgCtrlID(c);
      EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
          << "control " << id << " at " << dpi << " DPI lies outside the window";
      for (const auto& [other, o] : shown) {
        RECT both{};
        EXPECT_FALSE(IntersectRect(&both, &r, &o))
            << "controls " << id << " and " << other << " overlap at " << dpi << " DPI";
      }
      shown.emplace_back(id, r);
    }
    EXPECT_GE(shown.size(), 12u);
  }
}

}  // namespace
}  // namespace skelbrook::test
