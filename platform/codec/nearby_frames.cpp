#include "platform/codec/nearby_frames.h"

#include <atomic>
#include <utility>

#include "platform/codec/picture_limits.h"

namespace codec {

NearbyFrames::NearbyFrames(std::unique_ptr<FrameSource> source, LONG length, DibImage::Layout layout)
    : m_source(std::move(source)), m_length(length), m_keeps(m_source->KeepPicturesIn(&m_cache)), m_laneDib(layout) {}

LONG NearbyFrames::Show(LONG s, bool backward, DibImage& out) {
  if (m_keeps) {
    const AVFrame* kept = m_cache.Find(s);
    if (kept && m_source->ShowKept(*kept, out)) return s;
  }
  // While the lane works on a frame just ahead, this one decodes beside it.
  const LONG step = backward ? -1 : 1;
  const LONG ahead = (m_lanePosition - s) * step;
  const bool laneAhead = m_lanePosition >= 0 && ahead > 0 && ahead <= 2;
  if (laneAhead || !TakeFromLane(s, out)) {
    const LONG shown = m_source->Show(s, backward, out);
    if (shown != s) return shown;
  }
  StartLane(s, step, out);
  return s;
}

// Takes the picture of s when the lane made it; otherwise only waits for the
// lane so it is free again.
bool NearbyFrames::TakeFromLane(LONG s, DibImage& out) {
  if (m_lanePosition < 0) return false;
  m_lane.Wait(m_laneTicket);
  const bool hit = m_laneMade && m_lanePosition == s;
  m_lanePosition = -1;
  if (!hit) return false;
  std::swap(out, m_laneDib);
  return true;
}

void NearbyFrames::StartLane(LONG s, LONG step, const DibImage& like) {
  const LONG next = s + 2 * step;
  if (m_laneFailed || m_lanePosition >= 0 || next < 0 || next >= m_length) return;
  // A second picture of a size few streams have is not worth its memory.
  if (std::int64_t{like.width()} * like.height() > kAnyStreamPixels) return;
  std::function<bool()> make = m_source->PrepareAlone(next, m_laneDib);
  if (!make) return;
  if (!m_laneDib.Allocate(like.width(), like.height())) {
    m_laneFailed = true;
    return;
  }
  // One picture is one step: the unit has nothing to abort between.
  m_laneMade = false;
  m_laneTicket = m_lane.Post([this, make = std::move(make)](const std::atomic<bool>&) { m_laneMade = make(); });
  if (m_laneTicket == 0) return;  // no thread to be had: the frame decodes when asked for
  m_lanePosition = next;
}

}  // namespace codec
