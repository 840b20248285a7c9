// Frames near the one asked for, made before they are asked: the pictures a
// run backwards decodes on its way to a frame, kept within a budget so that
// the steps back that follow come from memory, and the frame after next in
// the direction of play, decoded on a second lane while the calling thread
// decodes the one between, so two frames decode at once. Wraps any frame
// source; the source says what it keeps and what it can decode alone.
// Internal to platform/codec; called on the decoder's calling thread.
#pragma once

#include <memory>

#include "platform/codec/dib_image.h"
#include "platform/codec/frame_source.h"
#include "platform/codec/picture_cache.h"
#include "platform/kernel/work_queue.h"

namespace codec {

class NearbyFrames {
 public:
  // Pictures are made in `layout`, the layout of every out passed to Show.
  NearbyFrames(std::unique_ptr<FrameSource> source, LONG length, DibImage::Layout layout);

  // The pictures kept for steps back; null when the source keeps none.
  PictureCache* kept() { return m_keeps ? &m_cache : nullptr; }

  // Makes the picture of sample s in out, from memory when it is there;
  // otherwise as FrameSource::Show, whose result it returns.
  [[nodiscard]] LONG Show(LONG s, bool backward, DibImage& out);

 private:
  [[nodiscard]] bool TakeFromLane(LONG s, DibImage& out);
  void StartLane(LONG s, LONG step, const DibImage& like);

  std::unique_ptr<FrameSource> m_source;
  LONG m_length;
  PictureCache m_cache;
  bool m_keeps;
  DibImage m_laneDib;
  LONG m_lanePosition = -1;  // the frame the lane decodes or holds, -1 none
  kernel::WorkQueue::Ticket m_laneTicket = 0;
  bool m_laneMade = false;  // written by the lane's unit, read once it has ended
  bool m_laneFailed = false;
  kernel::WorkQueue m_lane;  // last: it stops before what its units touch goes
};

}  // namespace codec
