// Uncompressed DIB samples (BI_RGB and BI_BITFIELDS: 1, 4 and 8-bit palettes,
// 16, 24 and 32 bits, bottom-up or top-down) into the 24-bit bottom-up output
// frame, through the bitmap core's row conversion. Internal to platform/codec.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/codec/dib_image.h"
#include "platform/dib/dib_format.h"

namespace codec {

class RgbConverter {
 public:
  // Reads a stream format (BITMAPINFOHEADER, then masks or colour table).
  // False when it is not an uncompressed format handled here, or its size is
  // not positive or its output frame would exceed dib::kMaxPixelBytes.
  [[nodiscard]] bool Init(const std::uint8_t* format, std::size_t size);

  int width() const { return m_width; }
  int height() const { return m_height; }
  // Bytes a sample must hold.
  std::size_t sampleBytes() const { return m_rows.stride() * static_cast<std::size_t>(m_height); }
  // The sample already is the output's pixel rows (24-bit, bottom-up): it may
  // be read straight into the output.
  bool identity() const { return m_rows.bitCount() == 24 && m_bottomUp; }

  // Converts one sample into out, which must be allocated to width x height.
  // False when the sample is shorter than sampleBytes().
  [[nodiscard]] bool Convert(const std::uint8_t* sample, std::size_t size, DibImage& out) const;

 private:
  int m_width = 0;
  int m_height = 0;
  bool m_bottomUp = true;
  dib::DibRows m_rows;
};

}  // namespace codec
