// Disk work off the window's thread: each job runs on a thread of its own and hands its end back
// to the window's thread through the view's Post, so that a read that blocks for a minute on a
// failing disk never stops the window from repainting or answering the user.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace skelbrook::session {

class Worker {
 public:
  using Post = std::function<void(std::function<void()>)>;
  explicit Worker(Post post) : post_(std::move(post)) {}
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  // Waits for every job still running (they are asked to stop by their own means first); the
  // ends of jobs that had not been handed back by then are never run.
  ~Worker();

  // Runs `work` on a thread of its own, then `done` on the window's thread.
  void Run(std::function<void()> work, std::function<void()> done);
  // Hands `call` to the window's thread, from any thread; it is dropped if this worker is gone
  // by the time the window gets to it.
  void PostBack(std::function<void()> call) const;
  // Whether a job is running or its end has not been handed back yet.
  bool Busy() const { return !jobs_.empty(); }

 private:
  struct Job {
    std::thread thread;
  };
  Post post_;
  std::list<Job> jobs_;  // touched on the window's thread only
  // Whether this worker is still there when a job's end reaches the window's thread.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The latest of a stream of values a job reports (its progress), handed to the window's thread
// at most one message at a time: however fast the job reports, the window gets the newest value
// and is never flooded.
template <typename T>
class Latest {
 public:
  // Keeps `value` as the latest, and unless a message is on its way already, sends one that
  // calls `deliver` with the latest value when the window gets to it.
  void Send(const T& value, const Worker& worker, std::function<void(const T&)> deliver) {
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      shared_->value = value;
      if (shared_->onItsWay) return;
      shared_->onItsWay = true;
    }
    worker.PostBack([shared = shared_, deliver = std::move(deliver)] {
      T latest;
      {
        std::lock_guard<std::mutex> lock(shared->mutex);
        latest = shared->value;
        shared->onItsWay = false;
      }
      deliver(latest);
    });
  }

 private:
  struct Shared {
    std::mutex mutex;
    T value{};
    bool onItsWay = false;
  };
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace skelbrook::session
