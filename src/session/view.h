// What the session needs of a window: a way to run a call on the window's own thread, and the
// means to show what the session describes and to ask the user. A Qt window, a Win32 window and
// the tests' stand-in each implement it; none holds a rule of its own.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "session/screen.h"

namespace skelbrook::session {

// The long work the session runs off the window's thread.
enum class Work { ReadList, Copy, FindDisks, DescribeDestination };

class View {
 public:
  virtual ~View() = default;

  // Runs `call` on the window's thread as soon as its event loop gets to it. Called from any
  // thread; never runs `call` before returning.
  virtual void Post(std::function<void()> call) = 0;

  // The controls, bars and words as they are now.
  virtual void ShowScreen(const Screen& screen) = 0;
  // The whole list, in the order it is shown (after a read).
  virtual void ShowRows(const std::vector<RowView>& rows) = 0;
  // One row changed (its icon, tick or tooltip).
  virtual void ShowRow(const RowView& row) = 0;
  // The disk finder's list (the lines to choose from).
  virtual void ShowDisks(const std::vector<DiskChoice>& disks) = 0;
  // The keyboard goes to the list (after a read, a batch, a "No"): never left on Exit, where one
  // more key press would quit.
  virtual void FocusList() = 0;

  // Asks a yes-or-no question, No being the answer a stray Enter gives.
  virtual bool AskYesNo(const std::string& question) = 0;
  // Says something the program cannot go on after (one OK button).
  virtual void ShowFatalMessage(const std::string& text) = 0;
  // The folder chooser, opened at `start`; "" when the user cancels.
  virtual std::string ChooseFolder(const std::string& title, const std::string& start) = 0;
  // The window goes and the program ends with `exitCode`.
  virtual void EndProgram(int exitCode) = 0;

  // A piece of long work ended (the window may tell whoever waits for it).
  virtual void WorkEnded(Work /*work*/) {}
};

}  // namespace skelbrook::session
