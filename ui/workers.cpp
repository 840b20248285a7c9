#include "ui/workers.h"

#include <QEventLoop>
#include <QThread>

namespace ui {

WorkerSet::~WorkerSet() { WaitAll(); }

void WorkerSet::Start(std::function<void()> work) {
  QThread* thread = QThread::create(std::move(work));
  ++m_running;
  connect(thread, &QThread::finished, this, [this, thread] {
    thread->wait();
    delete thread;
    --m_running;
    emit WorkerEnded();
  });
  thread->start();
}

void WorkerSet::WaitAll() {
  while (m_running > 0) {
    QEventLoop loop;
    connect(this, &WorkerSet::WorkerEnded, &loop, &QEventLoop::quit);
    loop.exec();
  }
}

}  // namespace ui
