// Jobs on threads of their own, their ends handed back to the window's thread.
#include "session/worker.h"

namespace skelbrook::session {

Worker::~Worker() {
  *alive_ = false;
  for (Job& job : jobs_) {
    if (job.thread.joinable()) job.thread.join();
  }
}

void Worker::PostBack(std::function<void()> call) const {
  post_([alive = alive_, call = std::move(call)] {
    if (*alive) call();
  });
}

void Worker::Run(std::function<void()> work, std::function<void()> done) {
  jobs_.emplace_back();
  const auto job = std::prev(jobs_.end());
  job->thread = std::thread([this, job, alive = alive_, work = std::move(work),
                             done = std::move(done), post = post_]() mutable {
    work();
    // Handed back last thing, so that the thread is all but over when the window joins it.
    post([this, job, alive, done = std::move(done)] {
      if (!*alive) return;
      job->thread.join();
      jobs_.erase(job);
      if (done) done();
    });
  });
}

}  // namespace skelbrook::session
