// Compressed streams through libavcodec, frame-exact: the next frame costs
// one decode; any other is decoded forward from the key frame at or before
// it. Pictures that come out in another order than their samples (B-frames)
// are numbered in display order. Internal to platform/codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/codec/frame_source.h"
#include "platform/codec/stream_samples.h"
#include "platform/codec/video_decoder.h"

namespace codec {

class LibavSource final : public FrameSource {
 public:
  // Null when libavcodec has no decoder for the stream format, or its
  // pictures are too large (VideoDecoder::Open).
  [[nodiscard]] static std::unique_ptr<LibavSource> Open(StreamSamples& samples, std::vector<std::uint8_t> format);

  const VideoDecoder& decoder() const { return *m_decoder; }

  LONG Show(LONG s, bool backward, DibImage& out) override;
  bool KeepPicturesIn(PictureCache* cache) override;
  bool ShowKept(const AVFrame& picture, DibImage& out) override;
  // Key frames of streams without reordering, when libavcodec does not
  // already decode several frames at once on threads of its own.
  std::function<bool()> PrepareAlone(LONG s, DibImage& out) override;

 private:
  // Run's result when the run must start afresh: B-frames showed up.
  static constexpr LONG kRenumbered = -2;
  // DisplayPosition's result for a picture the run cannot place.
  static constexpr LONG kLost = -3;
  // Key frames a jump may go back past the nearest one before giving up.
  static constexpr int kMaxBackOff = 8;
  // Errors a drained decoder may report before its end counts as reached.
  static constexpr int kMaxErrorsAfterEnd = 64;

  LibavSource(StreamSamples& samples, std::unique_ptr<VideoDecoder> decoder, std::vector<std::uint8_t> format);
  void Restart(LONG from, LONG key);
  LONG Run(LONG s, bool keep, DibImage& out);
  int Feed();
  LONG DisplayPosition(const AVFrame& picture);

  StreamSamples& m_samples;
  std::unique_ptr<VideoDecoder> m_decoder;
  std::vector<std::uint8_t> m_format;
  PictureCache* m_kept = nullptr;

  bool m_started = false;  // the decoder has been fed from a key frame on
  bool m_drained = false;  // it was told the stream ended
  LONG m_runStart = 0;     // the key frame the decoder was last started at
  LONG m_nextSend = 0;     // next sample to feed
  LONG m_nextOut = 0;      // display position of the next picture, counted
  LONG m_lastOut = -1;     // display position of the last picture out
  LONG m_exhaustedFrom = -1;  // the start of the last run that reached the end,
  LONG m_exhaustedAfter = -1;  // and its last picture's position
  int m_backOff = 0;       // key frames before the nearest one a jump starts at
  // Streams whose pictures come out in another order than their samples are
  // numbered by counting pictures in display order from a key frame, the
  // anchor. With open GOPs the pictures stored after a key frame but shown
  // before it ("leading") need the previous GOP, so a run starts one key
  // frame earlier unless the anchor's position is already known.
  bool m_reordering = false;
  LONG m_anchor = 0;
  bool m_anchorSeen = false;
  LONG m_leading = 0;       // leading pictures out so far
  LONG m_leadingNext = 0;   // and the position of the next, empty samples skipped
  std::vector<LONG> m_position;  // display position of a sample's picture, -1 unknown

  // The second lane's decoder, without threads of its own: it decodes a key
  // frame ahead while this one decodes the frames between.
  std::unique_ptr<VideoDecoder> m_laneDecoder;
  bool m_laneFailed = false;
};

}  // namespace codec
