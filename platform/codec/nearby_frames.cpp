#include "platform/codec/nearby_frames.h"

#include <utility>

namespace codec {

NearbyFrames::NearbyFrames(std::unique_ptr<FrameSource> source, LONG length)
    : m_source(std::move(source)), m_length(length), m_keeps(m_source->KeepPicturesIn(&m_cache)) {}

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
  const bool done = m_lane.Wait();
  const bool hit = done && m_lanePosition == s;
  m_lanePosition = -1;
  if (!hit) return false;
  std::swap(out, m_laneDib);
  return true;
}

void NearbyFrames::StartLane(LONG s, LONG step, const DibImage& like) {
  const LONG next = s + 2 * step;
  if (m_laneFailed || m_lanePosition >= 0 || next < 0 || next >= m_length) return;
  std::function<bool()> job = m_source->PrepareAlone(next, m_laneDib);
  if (!job) return;
  if (!m_laneDib.Allocate(like.width(), like.height())) {
    m_laneFailed = true;
    return;
  }
  if (!m_lane.Start(std::move(job))) return;  // no thread to be had: the frame decodes when asked for
  m_lanePosition = next;
}

}  // namespace codec
