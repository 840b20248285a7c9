// Our own conversion of uncompressed DIB samples (BI_RGB and BI_BITFIELDS:
// 1, 4 and 8-bit palettes, 16, 24 and 32 bits, bottom-up or top-down) into
// the 24-bit bottom-up output frame. Internal to platform/codec.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/codec/dib_image.h"

namespace codec {

class RgbConverter {
 public:
  // Reads a stream format (BITMAPINFOHEADER, then masks or colour table).
  // False when it is not an uncompressed format handled here, or its size is
  // not positive or exceeds kMaxDibPixelBytes once converted.
  bool Init(const std::uint8_t* format, std::size_t size);

  int width() const { return m_width; }
  int height() const { return m_height; }
  // Bytes a sample must hold.
  std::size_t sampleBytes() const { return m_sampleStride * static_cast<std::size_t>(m_height); }
  // The sample already is the output's pixel rows (24-bit, bottom-up): it may
  // be read straight into the output.
  bool identity() const { return m_bitCount == 24 && m_bottomUp; }

  // Converts one sample into out, which must be allocated to width x height.
  // False when the sample is shorter than sampleBytes().
  bool Convert(const std::uint8_t* sample, std::size_t size, DibImage& out) const;

 private:
  struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
  };
  bool InitMasks(const std::uint8_t* format, std::size_t size, DWORD compression);
  std::uint8_t Expand(std::uint32_t pixel, const Channel& c) const;
  void ConvertRow(const std::uint8_t* src, std::uint8_t* dst) const;

  int m_width = 0;
  int m_height = 0;
  int m_bitCount = 0;
  bool m_bottomUp = true;
  std::size_t m_sampleStride = 0;
  std::array<Channel, 3> m_channels{};  // red, green, blue
  bool m_plainBgrx = false;             // 32-bit with the usual byte order
  std::array<std::uint8_t, 256 * 3> m_palette{};  // B, G, R per entry
  std::vector<std::uint8_t> m_lut16;              // 16-bit value -> B, G, R
};

}  // namespace codec
