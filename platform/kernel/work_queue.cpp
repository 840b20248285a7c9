#include "platform/kernel/work_queue.h"

#include <algorithm>
#include <system_error>

#include "platform/decode_stop.h"

namespace kernel {

WorkQueue::WorkQueue(int helpers, std::size_t capacity)
    : m_maxHelpers(std::size_t(std::max(helpers, 1))), m_capacity(capacity) {}

WorkQueue::~WorkQueue() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ending = true;
    m_jobs.remove_if([](const std::unique_ptr<Job>& job) { return !job->running; });
    m_waiting = 0;
    for (auto& job : m_jobs) job->aborted = true;
  }
  m_wake.notify_all();
  m_done.notify_all();
  for (std::thread& helper : m_helpers) helper.join();
}

WorkQueue::Ticket WorkQueue::Post(Unit unit) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (m_capacity > 0) m_done.wait(lock, [&] { return m_waiting < m_capacity; });
  if (m_waiting + 1 > m_idle && m_helpers.size() < m_maxHelpers) {
    try {
      m_helpers.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      if (m_helpers.empty()) return 0;
    }
  }
  auto job = std::make_unique<Job>();
  job->ticket = ++m_lastTicket;
  job->unit = std::move(unit);
  m_jobs.push_back(std::move(job));
  ++m_waiting;
  m_wake.notify_one();
  return m_lastTicket;
}

void WorkQueue::Abort(Ticket ticket) {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto it = m_jobs.begin(); it != m_jobs.end(); ++it) {
    if ((*it)->ticket != ticket) continue;
    if ((*it)->running) {
      (*it)->aborted = true;
    } else {
      m_jobs.erase(it);
      --m_waiting;
      m_done.notify_all();
    }
    return;
  }
}

bool WorkQueue::Pending(Ticket ticket) const {
  return std::any_of(m_jobs.begin(), m_jobs.end(),
                     [&](const std::unique_ptr<Job>& job) { return job->ticket == ticket; });
}

void WorkQueue::Wait(Ticket ticket) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_done.wait(lock, [&] { return !Pending(ticket); });
}

void WorkQueue::WaitAll() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_done.wait(lock, [&] { return m_jobs.empty(); });
}

bool WorkQueue::Busy() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return !m_jobs.empty();
}

void WorkQueue::Work() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    ++m_idle;
    m_wake.wait(lock, [&] { return m_ending || m_waiting > 0; });
    --m_idle;
    if (m_ending) return;
    auto job = std::find_if(m_jobs.begin(), m_jobs.end(), [](const std::unique_ptr<Job>& j) { return !j->running; });
    (*job)->running = true;
    --m_waiting;
    m_done.notify_all();  // a place to wait has come free
    lock.unlock();
    {
      // Aborting a unit also ends a picture decode it is in the middle of.
      const DecodeStopScope stop((*job)->aborted);
      (*job)->unit((*job)->aborted);
    }
    lock.lock();
    m_jobs.erase(job);  // list iterators outlive other erasures
    m_done.notify_all();
  }
}

}  // namespace kernel
