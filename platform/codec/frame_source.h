// How a frame decoder makes a stream's pictures, chosen once when the stream
// is opened: uncompressed samples converted by our own code (raw_source.h),
// Motion JPEG through libjpeg-turbo (jpeg_source.h), anything else through
// libavcodec (libav_source.h). NearbyFrames wraps a source with what serves
// pictures before they are asked for. Internal to platform/codec.
//
// A source is called on the decoder's calling thread only, except for the
// units it prepares for the second lane (PrepareAlone).
#pragma once

#include <functional>

#include "platform/codec/av_handles.h"
#include "platform/codec/dib_image.h"
#include "platform/wintypes.h"

namespace codec {

class PictureCache;

class FrameSource {
 public:
  FrameSource(int width, int height) : m_width(width), m_height(height) {}
  virtual ~FrameSource() = default;
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  // The size of the stream's pictures.
  int width() const { return m_width; }
  int height() const { return m_height; }

  // Makes the picture of sample s, one that holds data, in out, allocating
  // it to the picture size (DibImage::Allocate) only once a picture is at
  // hand. backward: s lies behind the sample asked for before.
  // Returns the sample whose picture out holds afterwards: s; a later one
  // when s's picture was lost on the way (the next request is most likely
  // for it); -1 when out holds nothing usable.
  [[nodiscard]] virtual LONG Show(LONG s, bool backward, DibImage& out) = 0;

  // Sources that decode runs of samples from a key frame keep the pictures a
  // run backwards decodes on its way in cache. True when this one does.
  [[nodiscard]] virtual bool KeepPicturesIn(PictureCache* /*cache*/) { return false; }
  // Makes a picture kept in that cache into out.
  [[nodiscard]] virtual bool ShowKept(const AVFrame& /*picture*/, DibImage& /*out*/) { return false; }

  // Work for the second lane: makes sample s's picture in out on its own,
  // touching nothing but out and decoders of its own (the sample is read
  // now, on the calling thread). Out is allocated before the unit runs and
  // left alone by the caller until it has ended. Empty when s cannot be
  // made that way.
  [[nodiscard]] virtual std::function<bool()> PrepareAlone(LONG /*s*/, DibImage& /*out*/) { return {}; }

 private:
  int m_width;
  int m_height;
};

}  // namespace codec
