#include "platform/codec/jpeg_source.h"

#include "platform/codec/jpeg_decoder.h"

namespace codec {

bool JpegSource::Takes(const LibavSource& libav) {
  return libav.decoder().codecId() == AV_CODEC_ID_MJPEG && JpegDecodesFourcc(libav.decoder().fourcc());
}

JpegSource::JpegSource(StreamSamples& samples, std::unique_ptr<LibavSource> libav)
    : FrameSource(libav->width(), libav->height()), m_samples(samples), m_libav(std::move(libav)) {}

LONG JpegSource::Show(LONG s, bool backward, DibImage& out) {
  if (m_samples.Read(s, m_sample) && DecodeJpegSample(m_sample.data(), m_sample.size(), width(), height(), out))
    return s;
  // libavcodec may have gone on to the next sample's picture; that one is
  // libjpeg-turbo's to make when it is asked for, as in any other order.
  return m_libav->Show(s, backward, out) == s ? s : -1;
}

std::function<bool()> JpegSource::PrepareAlone(LONG s, DibImage& out) {
  if (!m_samples.Read(s, m_laneSample)) return {};
  const std::vector<std::uint8_t>* sample = &m_laneSample;
  DibImage* target = &out;
  const int width = this->width(), height = this->height();
  return [sample, target, width, height] {
    return DecodeJpegSample(sample->data(), sample->size(), width, height, *target);
  };
}

}  // namespace codec
