// Jobs on threads of their own, their results queued back to the window.
#include "window/background.h"

#include <QMetaObject>
#include <QThread>

namespace skelbrook::window {

Background::Background(QObject* owner) : QObject(owner) {}

Background::~Background() {
  WaitForAll();
}

void Background::Run(std::function<void()> work, std::function<void()> done) {
  QThread* thread = QThread::create(std::move(work));
  threads_.insert(thread);
  // Queued to this object's thread: `done` runs there, after the job.
  connect(thread, &QThread::finished, this, [this, thread, done = std::move(done)] {
    threads_.erase(thread);
    thread->deleteLater();
    if (done) done();
  });
  thread->start();
}

void Background::WaitForAll() {
  for (QThread* thread : threads_) {
    disconnect(thread, nullptr, this, nullptr);
    thread->wait();
    delete thread;
  }
  threads_.clear();
}

void Post(QObject* context, std::function<void()> call) {
  QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
}

}  // namespace skelbrook::window
