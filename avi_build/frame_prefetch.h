// Frames of upcoming entries prepared on helper threads while the Make-AVI
// job compresses and writes the current one: loading and composing a
// picture costs several times what writing its frame does, and FFmpeg keeps
// both cores busy on the same work.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "avi_build/frame_compose.h"
#include "platform/kernel/work_queue.h"

namespace avi_build {

// What preparing one entry's frame came to.
enum class PrepareResult {
  Composed,
  Skipped,     // ComposeFrame skipped the picture: the frame is not to be used
  Unloadable,  // LoadPicture gave nothing
};

// Loads the picture at path and composes it into frame. Safe on any thread
// with its own target and frame.
[[nodiscard]] PrepareResult PrepareFrame(const std::string& path, std::int32_t clip, const StretchTarget& target,
                                         FrameBuffer& frame);

// Prepares the frames of entries asked for ahead of time, one unit of work
// an entry, in the order asked. Only the thread that owns the prefetcher (the
// job's) calls its methods; the units see nothing but their own entry. At most
// `helpers` pictures are loaded at once, and at most `lookahead` entries wait
// or are held. Frame-sized buffers it owns: one a held entry, a spare and
// (stretching) a canvas a helper, so lookahead + 2 * helpers at most.
class FramePrefetcher {
 public:
  // Frames of cols x rows, clipped or stretched. Without helpers (0, or
  // when no thread can be started) nothing is prepared ahead and Take
  // always leaves the entry to the caller.
  FramePrefetcher(std::int32_t cols, std::int32_t rows, std::int32_t clip, int helpers, int lookahead);
  // Abandons the work not yet begun and waits for the pictures being
  // prepared; every buffer is freed.
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
  [[nodiscard]] bool Ask(int n, const std::string& path);

  struct Prepared {
    PrepareResult result;
    FrameBuffer frame;  // give it back through Recycle
  };
  // Entry n's frame, waiting for its unit to finish. Nothing when n was not
  // asked for, was asked for under another path (that work is dropped) or
  // its frame could not be allocated: the caller then prepares the entry
  // itself. Entries asked before n and not taken are dropped.
  [[nodiscard]] std::optional<Prepared> Take(int n, const std::string& path);
  // Hands a frame from Take back for a later entry.
  void Recycle(FrameBuffer frame);

 private:
  struct Slot;
  using Slots = std::list<std::shared_ptr<Slot>>;
  // Runs on a helper: loads and composes the slot's picture, giving up as
  // soon as the slot is dropped.
  void Prepare(Slot& slot, const std::atomic<bool>& aborted);
  // Under m_mutex: forgets the slot and stops its work; returns the next.
  Slots::iterator Drop(Slots::iterator slot);
  // Under m_mutex: keeps a frame for a later unit, up to one a helper.
  void KeepSpare(FrameBuffer frame);

  const std::int32_t m_cols;
  const std::int32_t m_rows;
  const std::int32_t m_clip;
  const std::size_t m_helpers;
  const std::size_t m_lookahead;
  mutable std::mutex m_mutex;  // guards the slots' results and the spares
  Slots m_slots;               // asked and neither taken nor dropped, in the order asked
  std::vector<FrameBuffer> m_spareFrames;
  std::vector<std::unique_ptr<StretchTarget>> m_spareTargets;
  // Last, so that it is destroyed first: its destructor waits for the units,
  // which use the members above.
  kernel::WorkQueue m_queue;
};

}  // namespace avi_build
