#include "avi_build/frame_prefetch.h"

#include <algorithm>
#include <utility>

#include "picture/load_picture.h"
#include "platform/decode_stop.h"
#include "platform/picture_memory.h"
#include "platform/picture_probe.h"

namespace avi_build {

PrepareResult PrepareFrame(const std::string& path, std::int32_t clip, const StretchTarget& target,
                           FrameBuffer& frame, const GreyRange& grey) {
  // The threads that prepare frames load one picture after another.
  KeepPictureMemoryOnThisThread();
  // A stretched picture is only ever drawn at the frame's size, a fitted
  // one at its place in the frame: it is decoded straight to that size.
  std::int32_t fitCols = 0, fitRows = 0;
  PictureProbe probe;
  if (clip == 0) {
    fitCols = frame.header.biWidth, fitRows = frame.header.biHeight;
  } else if (clip == kPlaceFit && ProbePictureFile(path.c_str(), &probe)) {
    const FitArea area =
        FitPlacement(probe.UprightWidth(), probe.UprightHeight(), frame.header.biWidth, frame.header.biHeight);
    fitCols = area.width, fitRows = area.height;
  }
  // A clipped one only for the part the frame shows.
  const std::int32_t clipCols = clip == 1 ? frame.header.biWidth : 0;
  const std::int32_t clipRows = clip == 1 ? frame.header.biHeight : 0;
  std::unique_ptr<Bitmap> picture = LoadPictureClipped(path.c_str(), fitCols, fitRows, clipCols, clipRows, grey);
  if (!picture) return PrepareResult::Unloadable;
  return ComposeFrame(std::move(picture), clip, target, frame) == ComposeResult::Composed ? PrepareResult::Composed
                                                                                           : PrepareResult::Skipped;
}

bool PictureBudget::TryTake(std::uint64_t bytes) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed || !Fits(bytes)) return false;
  m_held += bytes;
  m_peak = std::max(m_peak, m_held);
  return true;
}

bool PictureBudget::Take(std::uint64_t bytes, const std::atomic<bool>& giveUp) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [&] { return m_closed || giveUp || Fits(bytes); });
  if (m_closed || giveUp) return false;
  m_held += bytes;
  m_peak = std::max(m_peak, m_held);
  return true;
}

void PictureBudget::Give(std::uint64_t bytes) {
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_held -= std::min(bytes, m_held);
  }
  m_changed.notify_all();
}

void PictureBudget::Wake() {
  // Under the lock, so that a Take between its check and its wait is not
  // passed over.
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_changed.notify_all();
}

void PictureBudget::Close() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_closed = true;
  m_changed.notify_all();
}

std::uint64_t PictureBudget::Peak() const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_peak;
}

// One entry asked for. entry, path and ticket are the owner's; the rest is
// written by the unit and read by the owner, under m_mutex.
struct FramePrefetcher::Slot {
  Slot(int n, std::string p) : entry(n), path(std::move(p)) {}

  const int entry;
  const std::string path;
  kernel::WorkQueue::Ticket ticket = 0;
  bool dropped = false;  // the unit gives its frame to the spares instead
  bool done = false;
  bool noRoom = false;  // the unit had no frame or canvas for it
  PrepareResult result = PrepareResult::Skipped;
  FrameBuffer frame;
};

FramePrefetcher::FramePrefetcher(std::int32_t cols, std::int32_t rows, std::int32_t clip, int helpers,
                                 int lookahead, std::uint64_t pictureBytes,
                                 std::vector<const std::atomic<bool>*> stopFlags, const GreyRange& grey)
    : m_cols(cols),
      m_rows(rows),
      m_clip(clip),
      m_grey(grey),
      m_helpers(lookahead > 0 ? std::size_t(std::max(helpers, 0)) : 0),
      m_lookahead(std::size_t(std::max(lookahead, 0))),
      m_stopFlags(std::move(stopFlags)),
      m_budget(pictureBytes),
      m_queue(std::max(helpers, 1)) {}

// Units waiting for the budget give up, so that the queue's end (which
// aborts and waits for them) is not held up.
FramePrefetcher::~FramePrefetcher() { m_budget.Close(); }

bool FramePrefetcher::CanAsk() const {
  if (m_helpers == 0) return false;
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_slots.size() < m_lookahead;
}

bool FramePrefetcher::Asked(int n) const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return std::any_of(m_slots.begin(), m_slots.end(), [n](const auto& slot) { return slot->entry == n; });
}

bool FramePrefetcher::Ask(int n, const std::string& path) {
  if (m_helpers == 0) return false;
  auto slot = std::make_shared<Slot>(n, path);
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto asked = std::find_if(m_slots.begin(), m_slots.end(), [n](const auto& s) { return s->entry == n; });
    if (asked != m_slots.end()) {
      if ((*asked)->path == path) return false;
      Drop(asked);
    }
    if (m_slots.size() >= m_lookahead) return false;
  }
  // Posted outside the lock: a unit starting at once takes it at its end.
  slot->ticket = m_queue.Post([this, slot](const std::atomic<bool>& aborted) { Prepare(*slot, aborted); });
  if (slot->ticket == 0) return false;  // no helper could be started
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_slots.push_back(std::move(slot));
  return true;
}

FramePrefetcher::Slots::iterator FramePrefetcher::Drop(Slots::iterator it) {
  Slot& slot = **it;
  slot.dropped = true;
  if (slot.done) KeepSpare(std::move(slot.frame));
  // A unit not yet begun is forgotten; a running one sees its flag and ends
  // (woken if it waits for the budget).
  m_queue.Abort(slot.ticket);
  m_budget.Wake();
  return m_slots.erase(it);
}

void FramePrefetcher::KeepSpare(FrameBuffer frame) {
  if (frame.pixels && m_spareFrames.size() < m_helpers) m_spareFrames.push_back(std::move(frame));
}

std::optional<FramePrefetcher::Prepared> FramePrefetcher::Take(int n, const std::string& path) {
  std::unique_lock<std::mutex> lock(m_mutex);
  auto it = m_slots.begin();
  while (it != m_slots.end() && (*it)->entry != n) it = (*it)->entry < n ? Drop(it) : std::next(it);
  if (it == m_slots.end()) return std::nullopt;
  if ((*it)->path != path) {
    Drop(it);
    return std::nullopt;
  }
  // Only this thread changes the list, so `it` holds while the unit ends.
  const std::shared_ptr<Slot> slot = *it;
  lock.unlock();
  m_queue.Wait(slot->ticket);
  lock.lock();
  if (!slot->done || slot->noRoom) {
    Drop(it);
    return std::nullopt;
  }
  m_slots.erase(it);
  return Prepared{slot->result, std::move(slot->frame)};
}

void FramePrefetcher::Recycle(FrameBuffer frame) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  KeepSpare(std::move(frame));
}

// Runs on a helper thread, with a spare frame and canvas (or new ones).
void FramePrefetcher::Prepare(Slot& slot, const std::atomic<bool>& aborted) {
  FrameBuffer frame;
  std::unique_ptr<StretchTarget> target;
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (slot.dropped) return;
    if (!m_spareFrames.empty()) {
      frame = std::move(m_spareFrames.back());
      m_spareFrames.pop_back();
    }
    if (!m_clip && !m_spareTargets.empty()) {
      target = std::move(m_spareTargets.back());
      m_spareTargets.pop_back();
    }
  }
  if (!target) {
    target = std::make_unique<StretchTarget>();
    if (!m_clip) target->Make(m_cols, m_rows);
  }
  const bool room = (frame.pixels || frame.Make(m_cols, m_rows)) && (m_clip || target->canvas);
  const kernel::DecodeStopScope stop(m_stopFlags);
  const PrepareResult result =
      room && !aborted ? LoadWithin(slot.path, *target, frame, aborted) : PrepareResult::Skipped;

  const std::lock_guard<std::mutex> lock(m_mutex);
  if (target->canvas && m_spareTargets.size() < m_helpers) m_spareTargets.push_back(std::move(target));
  if (slot.dropped) {
    KeepSpare(std::move(frame));
    return;
  }
  slot.frame = std::move(frame);
  slot.result = result;
  slot.noRoom = !room;
  slot.done = true;
}

PrepareResult FramePrefetcher::LoadWithin(const std::string& path, const StretchTarget& target, FrameBuffer& frame,
                                          const std::atomic<bool>& aborted) {
  PictureProbe probe;
  const bool drawn = m_clip == 0 || m_clip == kPlaceFit;
  const std::uint64_t bytes =
      ProbePictureFile(path.c_str(), &probe, drawn ? m_cols : 0, drawn ? m_rows : 0) ? probe.bytes : 0;
  if (!m_budget.Take(bytes, aborted)) return PrepareResult::Skipped;
  const PrepareResult result = PrepareFrame(path, m_clip, target, frame, m_grey);
  m_budget.Give(bytes);
  return result;
}

PrepareResult FramePrefetcher::PrepareHere(const std::string& path, const StretchTarget& target, FrameBuffer& frame) {
  static const std::atomic<bool> kNever{false};
  return LoadWithin(path, target, frame, kNever);
}

}  // namespace avi_build
