// Worker threads started by the dialog: counted so that closing can wait
// for them while the UI thread keeps handling their requests.
#pragma once

#include <QObject>
#include <functional>

namespace ui {

class WorkerSet : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~WorkerSet() override;

  // Runs work on a new thread. UI thread only.
  void Start(std::function<void()> work);
  int Running() const { return m_running; }
  // Returns once every worker has ended, handling events meanwhile (the
  // workers may be waiting on the UI thread). UI thread only.
  void WaitAll();

 signals:
  // A worker ended (delivered on the UI thread).
  void WorkerEnded();

 private:
  int m_running = 0;
};

}  // namespace ui
