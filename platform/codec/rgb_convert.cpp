#include "platform/codec/rgb_convert.h"

#include <bit>
#include <climits>
#include <cstring>

namespace codec {

namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

bool RgbConverter::Init(const std::uint8_t* format, std::size_t size) {
  if (!format || size < sizeof(BITMAPINFOHEADER)) return false;
  BITMAPINFOHEADER bih;
  std::memcpy(&bih, format, sizeof bih);
  if (bih.biCompression != BI_RGB && bih.biCompression != BI_BITFIELDS) return false;
  if (bih.biWidth <= 0 || bih.biHeight == 0 || bih.biHeight == INT_MIN) return false;
  m_width = bih.biWidth;
  m_height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
  m_bottomUp = bih.biHeight > 0;
  m_bitCount = bih.biBitCount;
  if (!DibFits(m_width, m_height)) return false;

  switch (m_bitCount) {
    case 1:
    case 4:
    case 8: {
      if (bih.biCompression != BI_RGB) return false;
      // The colour table follows the header; entries it lacks stay black.
      std::size_t tableAt = bih.biSize >= sizeof bih && bih.biSize <= size ? bih.biSize : sizeof bih;
      std::size_t entries = std::size_t{1} << m_bitCount;
      if (bih.biClrUsed != 0 && bih.biClrUsed < entries) entries = bih.biClrUsed;
      if ((size - tableAt) / 4 < entries) entries = (size - tableAt) / 4;
      m_palette.fill(0);
      for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t* q = format + tableAt + 4 * i;
        m_palette[3 * i] = q[0];
        m_palette[3 * i + 1] = q[1];
        m_palette[3 * i + 2] = q[2];
      }
      break;
    }
    case 16:
    case 32:
      if (!InitMasks(format, size, bih.biCompression)) return false;
      break;
    case 24:
      if (bih.biCompression != BI_RGB) return false;
      break;
    default:
      return false;
  }
  m_sampleStride = static_cast<std::size_t>(DibStride(m_width, m_bitCount));
  return true;
}

bool RgbConverter::InitMasks(const std::uint8_t* format, std::size_t size, DWORD compression) {
  std::uint32_t masks[3];
  if (compression == BI_BITFIELDS) {
    // Three DWORD masks follow a 40-byte header, or sit at the same offset
    // inside a version 4 or 5 header.
    if (size < sizeof(BITMAPINFOHEADER) + 12) return false;
    for (int i = 0; i < 3; ++i) masks[i] = ReadU32(format + sizeof(BITMAPINFOHEADER) + 4 * i);
  } else if (m_bitCount == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else {
    masks[0] = 0xFF0000;
    masks[1] = 0x00FF00;
    masks[2] = 0x0000FF;
  }
  for (int i = 0; i < 3; ++i) {
    std::uint32_t m = masks[i];
    if (m_bitCount == 16) m &= 0xFFFF;
    Channel& c = m_channels[i];
    c = Channel{};
    if (m == 0) continue;  // a missing channel reads as 0
    c.mask = m;
    c.shift = std::countr_zero(m);
    c.bits = std::popcount(m);
    if (!std::has_single_bit((std::uint64_t{m} >> c.shift) + 1)) return false;  // not contiguous
  }
  m_plainBgrx = m_bitCount == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
  if (m_bitCount == 16) {
    m_lut16.resize(65536 * 3);
    for (std::uint32_t v = 0; v < 65536; ++v) {
      m_lut16[3 * v] = Expand(v, m_channels[2]);
      m_lut16[3 * v + 1] = Expand(v, m_channels[1]);
      m_lut16[3 * v + 2] = Expand(v, m_channels[0]);
    }
  }
  return true;
}

// Scales a channel to 8 bits: wider ones keep their top bits, narrower ones
// repeat their bits (31 -> 255, 16 -> 132), as libswscale does.
std::uint8_t RgbConverter::Expand(std::uint32_t pixel, const Channel& c) const {
  if (c.bits == 0) return 0;
  std::uint32_t v = (pixel & c.mask) >> c.shift;
  if (c.bits >= 8) return static_cast<std::uint8_t>(v >> (c.bits - 8));
  std::uint32_t out = 0;
  for (int filled = 0; filled < 8; filled += c.bits) out |= (v << (8 - c.bits)) >> filled;
  return static_cast<std::uint8_t>(out);
}

void RgbConverter::ConvertRow(const std::uint8_t* src, std::uint8_t* dst) const {
  const int w = m_width;
  switch (m_bitCount) {
    case 1:
      for (int x = 0; x < w; ++x) {
        const std::uint8_t* p = &m_palette[3 * ((src[x >> 3] >> (7 - (x & 7))) & 1)];
        dst[3 * x] = p[0];
        dst[3 * x + 1] = p[1];
        dst[3 * x + 2] = p[2];
      }
      break;
    case 4:
      for (int x = 0; x < w; ++x) {
        const std::uint8_t* p = &m_palette[3 * ((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15)];
        dst[3 * x] = p[0];
        dst[3 * x + 1] = p[1];
        dst[3 * x + 2] = p[2];
      }
      break;
    case 8:
      for (int x = 0; x < w; ++x) {
        const std::uint8_t* p = &m_palette[3 * src[x]];
        dst[3 * x] = p[0];
        dst[3 * x + 1] = p[1];
        dst[3 * x + 2] = p[2];
      }
      break;
    case 16:
      for (int x = 0; x < w; ++x) {
        const std::uint8_t* p = &m_lut16[3 * (src[2 * x] | (src[2 * x + 1] << 8))];
        dst[3 * x] = p[0];
        dst[3 * x + 1] = p[1];
        dst[3 * x + 2] = p[2];
      }
      break;
    case 24:
      std::memcpy(dst, src, static_cast<std::size_t>(w) * 3);
      break;
    case 32:
      if (m_plainBgrx) {
        for (int x = 0; x < w; ++x) {
          dst[3 * x] = src[4 * x];
          dst[3 * x + 1] = src[4 * x + 1];
          dst[3 * x + 2] = src[4 * x + 2];
        }
      } else {
        for (int x = 0; x < w; ++x) {
          const std::uint32_t v = ReadU32(src + 4 * x);
          dst[3 * x] = Expand(v, m_channels[2]);
          dst[3 * x + 1] = Expand(v, m_channels[1]);
          dst[3 * x + 2] = Expand(v, m_channels[0]);
        }
      }
      break;
  }
}

bool RgbConverter::Convert(const std::uint8_t* sample, std::size_t size, DibImage& out) const {
  if (!sample || size < sampleBytes() || out.width() != m_width || out.height() != m_height) return false;
  for (int y = 0; y < m_height; ++y) {
    const int srcRow = m_bottomUp ? m_height - 1 - y : y;
    ConvertRow(sample + static_cast<std::size_t>(srcRow) * m_sampleStride, out.rowFromTop(y));
  }
  return true;
}

}  // namespace codec
