// Uncompressed streams, each sample converted into the output's layout by
// the bitmap core's row conversion, or read straight into it when it
// already has that layout (24 bits bottom-up):
// - BI_RGB and BI_BITFIELDS: 1, 4 and 8-bit palettes, 16, 24 and 32 bits,
//   bottom-up or top-down, rows padded to 4 bytes;
// - the raw FourCCs MEncoder writes: the bit depth (8, 12, 15, 16, 24 or 32)
//   followed by "RGB" for pixels with red in the high bits (stored blue
//   first) or "BGR" for blue in the high bits, rows from the top whatever
//   the height's sign, without padding.
// Internal to platform/codec.
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

  // A sample too short for its picture is no picture: nothing picture-sized
  // is allocated for it.
  LONG Show(LONG s, bool backward, DibImage& out) override;

 private:
  RawSource(StreamSamples& samples, const dib::DibFormat& format, std::size_t stride);
  // Bytes a sample must hold.
  std::size_t SampleBytes() const { return m_stride * static_cast<std::size_t>(height()); }

  StreamSamples& m_samples;
  dib::DibRows m_rows;
  std::size_t m_stride;  // bytes from one stored row to the next
  bool m_bottomUp;
  std::vector<std::uint8_t> m_sample;
};

}  // namespace codec
