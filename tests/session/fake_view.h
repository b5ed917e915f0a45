// A stand-in for a window, for testing the session without a display: it keeps what the session
// showed, answers its questions as the test says, and runs the calls handed to the window's
// thread on the test's own thread, as an event loop does, until what the test waits for happens.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "session/view.h"

namespace skelbrook::test {

class FakeView : public session::View {
 public:
  void Post(std::function<void()> call) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(call));
    }
    posted_.notify_one();
  }
  void ShowScreen(const session::Screen& s) override {
    screen = s;
    for (Trigger& t : triggers_) {
      if (!t.fired && t.when(s)) {
        t.fired = true;
        Post(t.action);  // as a user's click arrives: after this repaint
      }
    }
  }
  void ShowRows(const std::vector<session::RowView>& r) override { rows = r; }
  void ShowRow(const session::RowView& r) override {
    for (session::RowView& row : rows) {
      if (row.row == r.row) row = r;
    }
    if (r.icon == RowIcon::Downloading) copied.push_back(r.row);
  }
  void ShowDisks(const std::vector<session::DiskChoice>& d) override { disks = d; }
  void FocusList() override { ++focusedList; }
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    if (whileAsking) whileAsking();
    return answer;
  }
  void ShowFatalMessage(const std::string& text) override { messages.push_back(text); }
  std::string ChooseFolder(const std::string&, const std::string& start) override {
    folderStart = start;
    return folderAnswer;
  }
  void EndProgram(int exitCode) override { endings.push_back(exitCode); }
  void WorkEnded(session::Work work) override { ++ended[work]; }

  // Forgets what was shown and asked, as a new window would not know it.
  void Reset() {
    screen = {};
    rows.clear();
    disks.clear();
    focusedList = 0;
    questions.clear();
    messages.clear();
    answer = true;
    whileAsking = nullptr;
    endings.clear();
    ended.clear();
    copied.clear();
    triggers_.clear();
  }
  // Runs `action` once, after the first screen for which `when` holds.
  void When(std::function<bool(const session::Screen&)> when, std::function<void()> action) {
    triggers_.push_back({std::move(when), std::move(action), false});
  }
  // Runs the calls handed to the window's thread until `done` holds, asking at least every
  // 10 ms, as a window's timer would; false when it did not within `limit`.
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::function<void()> call;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!posted_.wait_for(lock, std::chrono::milliseconds(10),
                              [this] { return !queue_.empty(); }))
          continue;
        call = std::move(queue_.front());
        queue_.pop_front();
      }
      call();
    }
    return true;
  }
  // Runs `start`, then the window's calls until `work` has ended once more.
  bool Await(session::Work work, const std::function<void()>& start) {
    const int before = ended[work];
    start();
    return RunUntil([this, work, before] { return ended[work] > before; });
  }

  session::Screen screen;
  std::vector<session::RowView> rows;
  std::vector<session::DiskChoice> disks;
  int focusedList = 0;
  std::vector<std::string> questions, messages;
  bool answer = true;                 // to every yes-or-no question
  std::function<void()> whileAsking;  // what the window does while the question waits
  std::string folderAnswer, folderStart;
  std::vector<int> endings;
  std::map<session::Work, int> ended;
  std::vector<size_t> copied;  // the rows a batch started on, in the order it did

 private:
  struct Trigger {
    std::function<bool(const session::Screen&)> when;
    std::function<void()> action;
    bool fired;
  };
  std::vector<Trigger> triggers_;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace skelbrook::test
