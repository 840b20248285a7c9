#include "platform/codec/lane_worker.h"

#include <system_error>

namespace codec {

LaneWorker::~LaneWorker() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

bool LaneWorker::Start(std::function<bool()> job) {
  if (!m_thread.joinable()) {
    try {
      m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      return false;
    }
  }
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
    m_job = std::move(job);
    m_busy = true;
  }
  m_changed.notify_all();
  return true;
}

bool LaneWorker::Wait() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return !m_busy; });
  return m_result;
}

void LaneWorker::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_stop || (m_busy && m_job); });
    if (m_stop) return;
    std::function<bool()> job = std::move(m_job);
    m_job = nullptr;
    lock.unlock();
    const bool result = job();
    lock.lock();
    m_result = result;
    m_busy = false;
    m_changed.notify_all();
  }
}

}  // namespace codec
