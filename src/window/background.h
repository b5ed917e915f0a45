// Disk work off the window's thread: each job runs on a thread of its own and hands its result
// back to the window's thread, so that a read that blocks for a minute on a failing disk never
// stops the window from repainting or answering the user.
#pragma once

#include <QObject>
#include <functional>
#include <set>

class QThread;

namespace skelbrook::window {

class Background : public QObject {
  Q_OBJECT

 public:
  explicit Background(QObject* owner);
  // Waits for every job still running (they are asked to stop by their own means first).
  ~Background() override;

  // Runs `work` on a thread of its own, then `done` on the owner's thread, unless the owner is
  // gone by then.
  void Run(std::function<void()> work, std::function<void()> done);
  // Whether a job is running.
  bool Busy() const { return !threads_.empty(); }
  // Waits until no job runs; `done` of the jobs that end meanwhile is not called.
  void WaitForAll();

 private:
  std::set<QThread*> threads_;
};

// Calls `call` on `context`'s thread as soon as that thread's event loop gets to it.
void Post(QObject* context, std::function<void()> call);

}  // namespace skelbrook::window
