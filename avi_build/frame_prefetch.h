// Frames of upcoming entries prepared on helper threads while the Make-AVI
// job compresses and writes the current one: loading and composing a
// picture costs several times what writing its frame does, and FFmpeg keeps
// both cores busy on the same work.
#pragma once

#include <atomic>
#include <condition_variable>
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

// The bytes of the pictures loaded at once by one job, on its helpers and on
// its own thread: a picture waits while those held and its own would pass
// the budget, unless nothing else is held, so that a picture larger than the
// budget loads alone and the job never holds more than its largest picture
// or the budget. Holders never wait on anything, so every wait ends. Any
// thread may call it.
class PictureBudget {
 public:
  explicit PictureBudget(std::uint64_t bytes) : m_budget(bytes) {}
  // Takes `bytes` when it can without waiting.
  [[nodiscard]] bool TryTake(std::uint64_t bytes);
  // Waits until it can take `bytes`; false, with nothing taken, once
  // `giveUp` is true at a wake-up or after Close.
  [[nodiscard]] bool Take(std::uint64_t bytes, const std::atomic<bool>& giveUp);
  void Give(std::uint64_t bytes);
  // Has the waiting Takes look at their giveUp flags again.
  void Wake();
  // Every Take from now on gives up.
  void Close();
  // The most bytes held at once so far.
  std::uint64_t Peak() const;

 private:
  bool Fits(std::uint64_t bytes) const { return bytes == 0 || m_held == 0 || m_held + bytes <= m_budget; }

  const std::uint64_t m_budget;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::uint64_t m_held = 0;
  std::uint64_t m_peak = 0;
  bool m_closed = false;
};

// Prepares the frames of entries asked for ahead of time, one unit of work
// an entry, in the order asked. Only the thread that owns the prefetcher (the
// job's) calls its methods; the units see nothing but their own entry. At most
// `helpers` pictures are loaded at once, and at most `lookahead` entries wait
// or are held. Frame-sized buffers it owns: one a held entry, a spare and
// (stretching) a canvas a helper, so lookahead + 2 * helpers at most. The
// pictures loaded for its frames, here and through PrepareHere, share one
// PictureBudget of `pictureBytes`, each counted as its header tells.
class FramePrefetcher {
 public:
  // Frames of cols x rows, clipped or stretched. Without helpers (0, or
  // when no thread can be started) nothing is prepared ahead and Take
  // always leaves the entry to the caller. Setting one of stopFlags ends
  // the decodes in progress on the helpers (as dropping their entries does).
  FramePrefetcher(std::int32_t cols, std::int32_t rows, std::int32_t clip, int helpers, int lookahead,
                  std::uint64_t pictureBytes = kPictureBytes, std::vector<const std::atomic<bool>*> stopFlags = {});
  // The pictures' budget a job uses, beside the frames held ahead.
  static constexpr std::uint64_t kPictureBytes = std::uint64_t{128} << 20;
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
  // PrepareFrame on the calling thread, within the pictures' budget: for
  // the entries Take leaves to the caller.
  [[nodiscard]] PrepareResult PrepareHere(const std::string& path, const StretchTarget& target, FrameBuffer& frame);
  // The most picture bytes held at once so far.
  std::uint64_t PeakPictureBytes() const { return m_budget.Peak(); }

 private:
  struct Slot;
  using Slots = std::list<std::shared_ptr<Slot>>;
  // Runs on a helper: loads and composes the slot's picture, giving up as
  // soon as the slot is dropped.
  void Prepare(Slot& slot, const std::atomic<bool>& aborted);
  // Loads and composes path within the budget; Skipped, with nothing
  // loaded, when `aborted` turns true while it waits.
  [[nodiscard]] PrepareResult LoadWithin(const std::string& path, const StretchTarget& target, FrameBuffer& frame,
                                         const std::atomic<bool>& aborted);
  // Under m_mutex: forgets the slot and stops its work; returns the next.
  Slots::iterator Drop(Slots::iterator slot);
  // Under m_mutex: keeps a frame for a later unit, up to one a helper.
  void KeepSpare(FrameBuffer frame);

  const std::int32_t m_cols;
  const std::int32_t m_rows;
  const std::int32_t m_clip;
  const std::size_t m_helpers;
  const std::size_t m_lookahead;
  const std::vector<const std::atomic<bool>*> m_stopFlags;
  mutable std::mutex m_mutex;  // guards the slots' results and the spares
  Slots m_slots;               // asked and neither taken nor dropped, in the order asked
  std::vector<FrameBuffer> m_spareFrames;
  std::vector<std::unique_ptr<StretchTarget>> m_spareTargets;
  PictureBudget m_budget;
  // Last, so that it is destroyed first: its destructor waits for the units,
  // which use the members above.
  kernel::WorkQueue m_queue;
};

}  // namespace avi_build
