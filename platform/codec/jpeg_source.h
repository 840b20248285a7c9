// Motion JPEG streams: every sample is a picture of its own, decoded by
// libjpeg-turbo straight into the output (jpeg_decoder.h); libavcodec takes
// the samples that path leaves, so every stream it plays still plays the
// same. Internal to platform/codec.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/codec/frame_source.h"
#include "platform/codec/libav_source.h"
#include "platform/codec/stream_samples.h"

namespace codec {

class JpegSource final : public FrameSource {
 public:
  // Whether libjpeg-turbo may go before libav on its stream.
  static bool Takes(const LibavSource& libav);

  JpegSource(StreamSamples& samples, std::unique_ptr<LibavSource> libav);

  LONG Show(LONG s, bool backward, DibImage& out) override;
  bool KeepPicturesIn(PictureCache* cache) override { return m_libav->KeepPicturesIn(cache); }
  bool ShowKept(const AVFrame& picture, DibImage& out) override { return m_libav->ShowKept(picture, out); }
  // Any sample: each decodes alone.
  std::function<bool()> PrepareAlone(LONG s, DibImage& out) override;

 private:
  StreamSamples& m_samples;
  std::unique_ptr<LibavSource> m_libav;
  std::vector<std::uint8_t> m_sample;
  std::vector<std::uint8_t> m_laneSample;  // the second lane's
};

}  // namespace codec
