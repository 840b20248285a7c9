// Uncompressed streams (BI_RGB and BI_BITFIELDS: 1, 4 and 8-bit palettes, 16,
// 24 and 32 bits, bottom-up or top-down): each sample converted into the
// 24-bit bottom-up output by the bitmap core's row conversion, or read
// straight into it when it already has that layout. Internal to
// platform/codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/codec/frame_source.h"
#include "platform/codec/stream_samples.h"
#include "platform/dib/dib_format.h"

namespace codec {

class RawSource final : public FrameSource {
 public:
  // Null when the stream format is not an uncompressed one handled here, or
  // its pictures would exceed dib::kMaxPixelBytes once converted.
  [[nodiscard]] static std::unique_ptr<RawSource> Open(StreamSamples& samples, const std::uint8_t* format, std::size_t size);

  LONG Show(LONG s, bool backward, DibImage& out) override;

 private:
  RawSource(StreamSamples& samples, const dib::DibFormat& format);
  // Bytes a sample must hold.
  std::size_t SampleBytes() const { return m_rows.stride() * static_cast<std::size_t>(height()); }

  StreamSamples& m_samples;
  dib::DibRows m_rows;
  bool m_bottomUp;
  std::vector<std::uint8_t> m_sample;
};

}  // namespace codec
