// One worker thread that runs one job at a time for its owner, started
// lazily and kept for the owner's life. Internal to platform/codec.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace codec {

class LaneWorker {
 public:
  LaneWorker() = default;
  ~LaneWorker();
  LaneWorker(const LaneWorker&) = delete;
  LaneWorker& operator=(const LaneWorker&) = delete;

  // Runs job on the worker, after the previous one has ended. False when
  // no thread could be started.
  bool Start(std::function<bool()> job);
  // Waits for the job started last and returns its result.
  bool Wait();

 private:
  void Run();

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::function<bool()> m_job;
  bool m_busy = false;
  bool m_result = false;
  bool m_stop = false;
  std::thread m_thread;
};

}  // namespace codec
