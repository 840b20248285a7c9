#include "avi_build/frame_prefetch.h"

#include <algorithm>
#include <system_error>

#include "picture/load_picture.h"

namespace avi_build {

PrepareResult PrepareFrame(const std::string& path, std::int32_t clip, const StretchTarget& target,
                           FrameBuffer& frame) {
  std::unique_ptr<Bitmap> picture = LoadPicture(path.c_str());
  if (!picture) return PrepareResult::Unloadable;
  return ComposeFrame(std::move(picture), clip, target, frame) == ComposeResult::Composed ? PrepareResult::Composed
                                                                                           : PrepareResult::Skipped;
}

struct FramePrefetcher::Job {
  enum class State { Waiting, Working, Done };
  Job(int n, std::string p) : entry(n), path(std::move(p)) {}

  const int entry;
  const std::string path;  // read by the helper without the lock: never changes
  State state = State::Waiting;
  bool dropped = false;  // unwanted while a helper works on it: the helper disposes of it
  bool noRoom = false;   // the helper had no frame or canvas for it
  PrepareResult result = PrepareResult::Skipped;
  FrameBuffer frame;
};

FramePrefetcher::FramePrefetcher(std::int32_t cols, std::int32_t rows, std::int32_t clip, int helpers,
                                 int lookahead)
    : m_cols(cols), m_rows(rows), m_clip(clip), m_lookahead(std::size_t(std::max(lookahead, 0))) {
  if (m_lookahead == 0) return;
  for (int i = 0; i < helpers; ++i) {
    // Fewer helpers (or none) only cost speed.
    try {
      m_helpers.emplace_back(&FramePrefetcher::Work, this);
    } catch (const std::system_error&) {
      break;
    }
  }
}

FramePrefetcher::~FramePrefetcher() {
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  for (std::thread& helper : m_helpers) helper.join();
}

bool FramePrefetcher::CanAsk() const {
  if (m_helpers.empty()) return false;
  const std::lock_guard<std::mutex> lock(m_mutex);
  return Held() < m_lookahead;
}

std::size_t FramePrefetcher::Held() const {
  return std::size_t(std::count_if(m_jobs.begin(), m_jobs.end(), [](const auto& job) { return !job->dropped; }));
}

bool FramePrefetcher::Asked(int n) const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return std::any_of(m_jobs.begin(), m_jobs.end(), [n](const auto& job) { return !job->dropped && job->entry == n; });
}

bool FramePrefetcher::Ask(int n, const std::string& path) {
  if (m_helpers.empty()) return false;
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto asked = std::find_if(m_jobs.begin(), m_jobs.end(),
                                    [n](const auto& job) { return !job->dropped && job->entry == n; });
    if (asked != m_jobs.end()) {
      if ((*asked)->path == path) return false;
      Drop(asked);
    }
    if (Held() >= m_lookahead) return false;
    m_jobs.push_back(std::make_unique<Job>(n, path));
  }
  m_wake.notify_one();
  return true;
}

FramePrefetcher::JobList::iterator FramePrefetcher::Drop(JobList::iterator it) {
  Job& job = **it;
  if (job.state == Job::State::Working) {
    job.dropped = true;
    return std::next(it);
  }
  if (job.frame.pixels && m_spare.size() < m_helpers.size()) m_spare.push_back(std::move(job.frame));
  return m_jobs.erase(it);
}

std::optional<FramePrefetcher::Prepared> FramePrefetcher::Take(int n, const std::string& path) {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (auto it = m_jobs.begin(); it != m_jobs.end();) {
    Job& job = **it;
    if (job.dropped || job.entry > n) {
      ++it;
      continue;
    }
    if (job.entry < n) {
      it = Drop(it);
      continue;
    }
    if (job.path != path) {
      Drop(it);
      return std::nullopt;
    }
    // Other jobs may be erased meanwhile; this one stays, so `it` holds.
    m_done.wait(lock, [&job] { return job.state == Job::State::Done; });
    if (job.noRoom) {
      Drop(it);
      return std::nullopt;
    }
    Prepared prepared{job.result, std::move(job.frame)};
    m_jobs.erase(it);
    return prepared;
  }
  return std::nullopt;
}

void FramePrefetcher::Recycle(FrameBuffer frame) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (frame.pixels && m_spare.size() < m_helpers.size()) m_spare.push_back(std::move(frame));
}

// Runs on a helper thread: takes the first job nobody has begun, prepares
// it with the helper's own canvas, and hands it back.
void FramePrefetcher::Work() {
  StretchTarget target;
  if (!m_clip) target.Make(m_cols, m_rows);
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    // The entry the owner will want soonest: the lowest one waiting.
    auto waiting = m_jobs.end();
    m_wake.wait(lock, [&] {
      for (auto it = m_jobs.begin(); it != m_jobs.end(); ++it)
        if ((*it)->state == Job::State::Waiting && (waiting == m_jobs.end() || (*it)->entry < (*waiting)->entry))
          waiting = it;
      return m_stop || waiting != m_jobs.end();
    });
    if (m_stop) return;
    Job* job = waiting->get();
    job->state = Job::State::Working;
    FrameBuffer frame;
    if (!m_spare.empty()) {
      frame = std::move(m_spare.back());
      m_spare.pop_back();
    }
    lock.unlock();

    const bool room = (frame.pixels || frame.Make(m_cols, m_rows)) && (m_clip || target.canvas);
    const PrepareResult result = room ? PrepareFrame(job->path, m_clip, target, frame) : PrepareResult::Skipped;

    lock.lock();
    job->frame = std::move(frame);
    job->result = result;
    job->noRoom = !room;
    job->state = Job::State::Done;
    if (job->dropped) {
      const auto it = std::find_if(m_jobs.begin(), m_jobs.end(), [job](const auto& j) { return j.get() == job; });
      Drop(it);
    }
    m_done.notify_all();
  }
}

}  // namespace avi_build
