// Units of work run on helper threads of their own, in the manner of a render
// thread: a unit is handed over under a lock, carries an abort flag of its own
// that it polls between its steps, and the queue's destructor aborts what is
// left and waits for its helpers. The look-ahead of the Make-AVI job, the
// frame export and the frame decoder's second lane run on it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kernel {

class WorkQueue {
 public:
  // A unit polls `aborted` and returns early once it is true.
  using Unit = std::function<void(const std::atomic<bool>& aborted)>;
  // Names a posted unit; 0 names none.
  using Ticket = std::uint64_t;

  // At most `helpers` units run at once, each on its own thread, started at
  // the first Post that needs it. With `capacity` above 0, Post waits while
  // that many units wait to begin.
  explicit WorkQueue(int helpers = 1, std::size_t capacity = 0);
  // Drops the units not yet begun, aborts the running ones and waits for the
  // helpers to end.
  ~WorkQueue();
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Queues unit behind those posted before. Returns its ticket, or 0 when no
  // helper runs and none could be started: the caller then does the work
  // itself. Called by the queue's owner only.
  [[nodiscard]] Ticket Post(Unit unit);
  // Drops the unit if it has not begun, else raises its abort flag.
  void Abort(Ticket ticket);
  // Returns once the unit has ended or been dropped (at once for 0 or an
  // unknown ticket).
  void Wait(Ticket ticket);
  // Returns once every unit posted has ended or been dropped.
  void WaitAll();
  // Whether a unit waits to begin or runs.
  bool Busy() const;

 private:
  struct Job {
    Ticket ticket;
    Unit unit;
    std::atomic<bool> aborted{false};
    bool running = false;
  };
  void Work();
  bool Pending(Ticket ticket) const;  // under m_mutex

  const std::size_t m_maxHelpers;
  const std::size_t m_capacity;
  mutable std::mutex m_mutex;
  std::condition_variable m_wake;  // a unit was posted, or the queue ends
  std::condition_variable m_done;  // a unit ended or was dropped
  std::list<std::unique_ptr<Job>> m_jobs;  // waiting ones first, in the order posted
  std::size_t m_waiting = 0;
  std::size_t m_idle = 0;  // helpers waiting for a unit
  Ticket m_lastTicket = 0;
  bool m_ending = false;
  std::vector<std::thread> m_helpers;
};

}  // namespace kernel
