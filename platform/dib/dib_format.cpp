#include "platform/dib/dib_format.h"

#include <cstring>

#include "platform/dib/layout.h"
#include "platform/dib/little_endian.h"

namespace dib {

DibRead ReadDibFormat(const std::uint8_t* info, std::size_t size, std::size_t headerSize, ColorTable table,
                      DibFormat* out) {
  if (!info || !out || headerSize > size) return DibRead::kDamaged;
  DibFormat f;
  std::size_t colorsAt = headerSize;
  std::size_t colorBytes = 4;
  std::uint32_t colorsUsed = 0;
  if (headerSize == 12) {
    f.width = GetLE16(info + 4);
    f.height = GetLE16(info + 6);
    f.bitCount = GetLE16(info + 10);
    colorBytes = 3;
  } else if (headerSize >= 16) {
    f.width = static_cast<std::int32_t>(GetLE32(info + 4));
    f.height = static_cast<std::int32_t>(GetLE32(info + 8));
    f.bitCount = GetLE16(info + 14);
    f.compression = headerSize >= 20 ? GetLE32(info + 16) : BI_RGB;
    colorsUsed = headerSize >= 36 ? GetLE32(info + 32) : 0;
    // The 64-byte OS/2 header gives codes 3 and 4 other meanings (Huffman, RLE24).
    if (headerSize == 64 && f.compression >= BI_BITFIELDS) return DibRead::kUnsupported;
    if (f.compression == BI_BITFIELDS || f.compression == kBiAlphaBitfields) {
      // Three or four masks follow a short header, or sit at offset 40 inside
      // a version 4 or 5 one.
      const std::size_t wanted = f.compression == kBiAlphaBitfields ? 4 : 3;
      const std::uint8_t* masks;
      if (headerSize >= 52) {
        masks = info + 40;
        if (headerSize >= 56 || wanted == 4) {
          if (headerSize < 56) return DibRead::kDamaged;
          f.masks[3] = GetLE32(info + 52);
        }
      } else {
        if (size - colorsAt < 4 * wanted) return DibRead::kDamaged;
        masks = info + colorsAt;
        colorsAt += 4 * wanted;
        if (wanted == 4) f.masks[3] = GetLE32(masks + 12);
      }
      for (int i = 0; i < 3; ++i) f.masks[i] = GetLE32(masks + 4 * i);
    } else if (f.compression == BI_RGB && f.bitCount == 16) {
      f.masks[0] = 0x7C00, f.masks[1] = 0x03E0, f.masks[2] = 0x001F;
    } else if (f.compression == BI_RGB && f.bitCount == 32) {
      f.masks[0] = 0xFF0000, f.masks[1] = 0xFF00, f.masks[2] = 0xFF;
    }
  } else {
    return DibRead::kDamaged;
  }

  if (f.bitCount >= 1 && f.bitCount <= 8) {
    const std::uint32_t most = 1u << f.bitCount;
    std::size_t count = colorsUsed == 0 || colorsUsed > most ? most : colorsUsed;
    if ((size - colorsAt) / colorBytes < count) {
      if (table == ColorTable::kWhole) return DibRead::kDamaged;
      count = (size - colorsAt) / colorBytes;
    }
    f.colors.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* c = info + colorsAt + i * colorBytes;
      f.colors[i] = 0xFF000000u | (std::uint32_t{c[2]} << 16) | (std::uint32_t{c[1]} << 8) | c[0];
    }
  }
  *out = std::move(f);
  return DibRead::kOk;
}

bool DibRows::Init(const DibFormat& format, bool contiguousMasks) {
  const DWORD compression = format.compression;
  const bool fields = compression == BI_BITFIELDS || compression == kBiAlphaBitfields;
  if (compression != BI_RGB && !fields) return false;
  switch (format.bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
      if (fields) return false;
      break;
    case 16:
    case 32:
      break;
    default:
      return false;
  }
  m_masked24 = false;
  return Setup(format, contiguousMasks);
}

bool DibRows::InitMasked(const DibFormat& format) {
  const int bits = format.bitCount;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  const std::uint32_t room = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  for (int i = 0; i < 3; ++i)
    if (format.masks[i] == 0 || (format.masks[i] & ~room) != 0) return false;
  if ((format.masks[3] & ~room) != 0) return false;
  m_masked24 = bits == 24 && !(format.masks[0] == 0xFF0000 && format.masks[1] == 0xFF00 && format.masks[2] == 0xFF);
  return Setup(format, true);
}

bool DibRows::Setup(const DibFormat& format, bool contiguousMasks) {
  if (!Fits(format.width, format.rows(), format.bitCount)) return false;
  m_width = static_cast<int>(format.width);
  m_bitCount = format.bitCount;
  m_stride = static_cast<std::size_t>(Stride(format.width, format.bitCount));
  const std::uint32_t keep = m_bitCount == 16 ? 0xFFFF : 0xFFFFFFFF;
  for (int i = 0; i < 4; ++i) {
    m_channels[i] = Channel(format.masks[i] & keep);
    if (contiguousMasks && !m_channels[i].contiguous()) return false;
  }
  const std::uint32_t* m = format.masks;
  m_plainBgrx = m_bitCount == 32 && m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF && (m[3] == 0 || m[3] == 0xFF000000u);

  m_palette.assign(256 * 4, 0);
  for (std::size_t i = 0; i < format.colors.size() && i < 256; ++i) {
    const std::uint32_t c = format.colors[i];
    for (int k = 0; k < 4; ++k) m_palette[4 * i + k] = static_cast<std::uint8_t>(c >> (8 * k));
  }
  for (std::size_t i = format.colors.size(); i < 256; ++i) m_palette[4 * i + 3] = 255;  // missing entries: black
  if (m_bitCount == 8 && m_channels[0].mask != 0) {
    // Masked 8-bit pixels: every value looked up like a palette index.
    for (std::uint32_t v = 0; v < 256; ++v) {
      std::uint8_t* p = &m_palette[4 * v];
      p[0] = m_channels[2].Get(v);
      p[1] = m_channels[1].Get(v);
      p[2] = m_channels[0].Get(v);
      p[3] = m_channels[3].Get(v, 255);
    }
  }
  m_lut16.clear();
  if (m_bitCount == 16) {
    m_lut16.resize(65536 * 4);
    for (std::uint32_t v = 0; v < 65536; ++v) {
      std::uint8_t* p = &m_lut16[4 * v];
      p[0] = m_channels[2].Get(v);
      p[1] = m_channels[1].Get(v);
      p[2] = m_channels[0].Get(v);
      p[3] = m_channels[3].Get(v, 255);
    }
  }
  return true;
}

template <int kOut>
void DibRows::Convert(const std::uint8_t* src, std::uint8_t* dst) const {
  const int w = m_width;
  const auto put = [dst](int x, const std::uint8_t* bgra) {
    std::uint8_t* d = dst + kOut * x;
    d[0] = bgra[0];
    d[1] = bgra[1];
    d[2] = bgra[2];
    if constexpr (kOut == 4) d[3] = bgra[3];
  };
  switch (m_bitCount) {
    case 1:
      for (int x = 0; x < w; ++x) put(x, &m_palette[4 * ((src[x >> 3] >> (7 - (x & 7))) & 1)]);
      return;
    case 4:
      for (int x = 0; x < w; ++x) put(x, &m_palette[4 * ((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15)]);
      return;
    case 8:
      for (int x = 0; x < w; ++x) put(x, &m_palette[4 * src[x]]);
      return;
    case 16:
      for (int x = 0; x < w; ++x) put(x, &m_lut16[4 * (src[2 * x] | (src[2 * x + 1] << 8))]);
      return;
    case 24:
      if (m_masked24) {
        for (int x = 0; x < w; ++x) {
          const std::uint8_t* s = src + 3 * x;
          const std::uint32_t v = s[0] | (std::uint32_t{s[1]} << 8) | (std::uint32_t{s[2]} << 16);
          const std::uint8_t bgra[4] = {m_channels[2].Get(v), m_channels[1].Get(v), m_channels[0].Get(v),
                                        m_channels[3].Get(v, 255)};
          put(x, bgra);
        }
      } else if constexpr (kOut == 3) {
        std::memcpy(dst, src, static_cast<std::size_t>(w) * 3);
      } else {
        for (int x = 0; x < w; ++x) {
          const std::uint8_t bgra[4] = {src[3 * x], src[3 * x + 1], src[3 * x + 2], 255};
          put(x, bgra);
        }
      }
      return;
    case 32:
      if (m_plainBgrx) {
        const bool alpha = m_channels[3].mask != 0;
        for (int x = 0; x < w; ++x) {
          const std::uint8_t* s = src + 4 * x;
          const std::uint8_t bgra[4] = {s[0], s[1], s[2], alpha ? s[3] : std::uint8_t{255}};
          put(x, bgra);
        }
      } else {
        for (int x = 0; x < w; ++x) {
          const std::uint8_t* s = src + 4 * x;
          const std::uint32_t v = GetLE32(s);
          const std::uint8_t bgra[4] = {m_channels[2].Get(v), m_channels[1].Get(v), m_channels[0].Get(v),
                                        m_channels[3].Get(v, 255)};
          put(x, bgra);
        }
      }
      return;
  }
}

void DibRows::ToBgr(const std::uint8_t* row, std::uint8_t* out) const { Convert<3>(row, out); }
void DibRows::ToBgra(const std::uint8_t* row, std::uint8_t* out) const { Convert<4>(row, out); }

}  // namespace dib
