// Frames of upcoming entries prepared on helper threads while the Make-AVI
// job compresses and writes the current one: loading and composing a
// picture costs several times what writing its frame does, and FFmpeg keeps
// both cores busy on the same work.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "avi_build/frame_compose.h"

namespace avi_build {

// What preparing one entry's frame came to.
enum class PrepareResult {
  Composed,
  Skipped,     // ComposeFrame skipped the picture: the frame is not to be used
  Unloadable,  // LoadPicture gave nothing
};

// Loads the picture at path and composes it into frame. Safe on any thread
// with its own target and frame.
PrepareResult PrepareFrame(const std::string& path, std::int32_t clip, const StretchTarget& target, FrameBuffer& frame);

// Prepares the frames of entries asked for ahead of time. Only the thread
// that owns the prefetcher (the job's) calls its methods; the helpers see
// nothing but the paths they are given, and take the lowest entry waiting
// first. At most `helpers` pictures are loaded at once, and at most
// `lookahead` entries wait or are held. Frame-sized buffers it owns: one a
// held entry, a spare and (stretching) a canvas a helper, so
// lookahead + 2 * helpers at most.
class FramePrefetcher {
 public:
  // Frames of cols x rows, clipped or stretched. Without helpers (0, or
  // when no thread can be started) nothing is prepared ahead and Take
  // always leaves the entry to the caller.
  FramePrefetcher(std::int32_t cols, std::int32_t rows, std::int32_t clip, int helpers, int lookahead);
  // Abandons the work not yet begun and waits for the helpers to finish
  // the pictures they hold; every buffer is freed.
  ~FramePrefetcher();
  FramePrefetcher(const FramePrefetcher&) = delete;
  FramePrefetcher& operator=(const FramePrefetcher&) = delete;

  // Whether another entry may be asked for: there are helpers, and fewer
  // than `lookahead` entries wait or are held.
  bool CanAsk() const;
  // Whether entry n is asked for and not yet taken.
  bool Asked(int n) const;
  // Asks for entry n's frame from path; asked before under another path,
  // that work is dropped first. False (nothing asked) when n is asked for
  // under this path already, or when no more can be asked.
  bool Ask(int n, const std::string& path);

  struct Prepared {
    PrepareResult result;
    FrameBuffer frame;  // give it back through Recycle
  };
  // Entry n's frame, waiting for the helpers to finish it. Nothing when n
  // was not asked for, was asked for under another path (that work is
  // dropped) or its frame could not be allocated: the caller then prepares
  // the entry itself. Entries asked before n and not taken are dropped.
  std::optional<Prepared> Take(int n, const std::string& path);
  // Hands a frame from Take back for a later entry.
  void Recycle(FrameBuffer frame);

 private:
  struct Job;
  void Work();
  using JobList = std::list<std::unique_ptr<Job>>;
  // Under m_mutex: removes a job nobody works on (keeping its frame as a
  // spare) or marks it for its helper to remove; returns the next job.
  JobList::iterator Drop(JobList::iterator job);
  // Under m_mutex: the entries asked for and neither taken nor dropped.
  std::size_t Held() const;

  const std::int32_t m_cols;
  const std::int32_t m_rows;
  const std::int32_t m_clip;
  const std::size_t m_lookahead;
  mutable std::mutex m_mutex;
  std::condition_variable m_wake;  // a job was asked for, or stop
  std::condition_variable m_done;  // a job finished
  bool m_stop = false;
  JobList m_jobs;  // in the order asked
  std::vector<FrameBuffer> m_spare;  // at most one a helper
  std::vector<std::thread> m_helpers;
};

}  // namespace avi_build
