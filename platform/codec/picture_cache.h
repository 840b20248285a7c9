// Decoded pictures a frame decoder keeps so that stepping backwards is served
// from memory instead of decoding again from the key frame. Internal to
// platform/codec.
#pragma once

#include <cstddef>
#include <deque>

#include "platform/codec/av_handles.h"
#include "platform/vfw.h"

namespace codec {

// What a frame decoder may hold: about 120 pictures of 1280 x 1024 in 4:2:0.
constexpr std::size_t kPictureCacheBudget = std::size_t{256} << 20;

// Pictures by display position, added in rising order; the lowest positions
// go first when the bytes held would exceed the budget. The pictures are
// references to the decoder's own buffers, so keeping one copies nothing.
class PictureCache {
 public:
  explicit PictureCache(std::size_t budget = kPictureCacheBudget) : m_budget(budget) {}

  // Keeps a reference to picture as position, which must lie above every
  // position held (otherwise the cache starts afresh). A picture larger than
  // the whole budget is not kept.
  void Add(LONG position, const AVFrame& picture);
  // The picture of position, or null.
  const AVFrame* Find(LONG position) const;
  void Clear();

  std::size_t budget() const { return m_budget; }
  // Changes the budget, dropping pictures to meet it.
  void SetBudget(std::size_t bytes);
  std::size_t bytes() const { return m_bytes; }
  // The most bytes held at once since the cache was made.
  std::size_t peakBytes() const { return m_peak; }
  std::size_t size() const { return m_pictures.size(); }

 private:
  struct Entry {
    LONG position;
    FramePtr picture;
    std::size_t bytes;
  };
  void DropUntilRoomFor(std::size_t bytes);

  std::deque<Entry> m_pictures;
  std::size_t m_budget;
  std::size_t m_bytes = 0;
  std::size_t m_peak = 0;
};

// The cache of an open frame decoder, null for streams without one
// (uncompressed); for tests, which lower its budget and read its peak.
PictureCache* FrameDecoderCache(PGETFRAME pg);

}  // namespace codec
