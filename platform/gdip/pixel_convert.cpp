#include "platform/gdip/pixel_convert.h"

#include <algorithm>
#include <cstring>

#include "platform/dib/channel.h"
#include "platform/gdip/bitmap.h"

namespace gdip {

int FormatBits(PixelFormat format) {
  switch (format) {
    case PixelFormat1bppIndexed:
      return 1;
    case PixelFormat4bppIndexed:
      return 4;
    case PixelFormat8bppIndexed:
      return 8;
    case PixelFormat16bppRGB555:
    case PixelFormat16bppRGB565:
    case PixelFormat16bppARGB1555:
      return 16;
    case PixelFormat24bppRGB:
      return 24;
    case PixelFormat32bppRGB:
    case PixelFormat32bppARGB:
    case PixelFormat32bppPARGB:
      return 32;
    default:
      return 0;
  }
}

bool IsIndexed(PixelFormat format) {
  return format == PixelFormat1bppIndexed || format == PixelFormat4bppIndexed ||
         format == PixelFormat8bppIndexed;
}

bool HasAlpha(PixelFormat format) {
  return format == PixelFormat32bppARGB || format == PixelFormat32bppPARGB ||
         format == PixelFormat16bppARGB1555;
}

namespace {

inline void PutArgb(ARGB c, BYTE* out) {
  out[0] = static_cast<BYTE>(c);
  out[1] = static_cast<BYTE>(c >> 8);
  out[2] = static_cast<BYTE>(c >> 16);
  out[3] = static_cast<BYTE>(c >> 24);
}

inline unsigned IndexAt(PixelFormat format, const BYTE* row, INT x) {
  switch (format) {
    case PixelFormat1bppIndexed:
      return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case PixelFormat4bppIndexed:
      return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    default:
      return row[x];
  }
}

inline void SetIndexAt(PixelFormat format, BYTE* row, INT x, unsigned index) {
  switch (format) {
    case PixelFormat1bppIndexed: {
      const BYTE bit = static_cast<BYTE>(0x80u >> (x & 7));
      row[x >> 3] = static_cast<BYTE>(index ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
      break;
    }
    case PixelFormat4bppIndexed:
      row[x >> 1] = static_cast<BYTE>((x & 1) ? ((row[x >> 1] & 0xF0u) | (index & 0x0Fu))
                                             : ((row[x >> 1] & 0x0Fu) | (index << 4)));
      break;
    default:
      row[x] = static_cast<BYTE>(index);
  }
}

void ReadBgraFormat(PixelFormat format, const ARGB* palette, const BYTE* row, INT x, INT count,
                    BYTE* out) {
  switch (format) {
    case PixelFormat1bppIndexed:
    case PixelFormat4bppIndexed:
    case PixelFormat8bppIndexed:
      for (INT i = 0; i < count; ++i) PutArgb(palette[IndexAt(format, row, x + i)], out + 4 * i);
      return;
    case PixelFormat16bppRGB555:
    case PixelFormat16bppARGB1555:
    case PixelFormat16bppRGB565: {
      const BYTE* p = row + 2 * x;
      for (INT i = 0; i < count; ++i, p += 2, out += 4) {
        const unsigned v = p[0] | (p[1] << 8);
        if (format == PixelFormat16bppRGB565) {
          out[0] = dib::ExpandChannel(v & 31, 5), out[1] = dib::ExpandChannel((v >> 5) & 63, 6);
          out[2] = dib::ExpandChannel(v >> 11, 5);
          out[3] = 255;
        } else {
          out[0] = dib::ExpandChannel(v & 31, 5), out[1] = dib::ExpandChannel((v >> 5) & 31, 5);
          out[2] = dib::ExpandChannel((v >> 10) & 31, 5);
          out[3] = (format == PixelFormat16bppRGB555 || (v & 0x8000)) ? 255 : 0;
        }
      }
      return;
    }
    case PixelFormat24bppRGB: {
      const BYTE* p = row + 3 * x;
      for (INT i = 0; i < count; ++i, p += 3, out += 4) out[0] = p[0], out[1] = p[1], out[2] = p[2], out[3] = 255;
      return;
    }
    case PixelFormat32bppRGB: {
      const BYTE* p = row + 4 * x;
      for (INT i = 0; i < count; ++i, p += 4, out += 4) out[0] = p[0], out[1] = p[1], out[2] = p[2], out[3] = 255;
      return;
    }
    case PixelFormat32bppARGB:
      std::memcpy(out, row + 4 * x, static_cast<std::size_t>(count) * 4);
      return;
    case PixelFormat32bppPARGB: {
      const BYTE* p = row + 4 * x;
      for (INT i = 0; i < count; ++i, p += 4, out += 4) {
        const unsigned a = p[3];
        if (a == 0) {
          out[0] = out[1] = out[2] = out[3] = 0;
          continue;
        }
        for (int c = 0; c < 3; ++c) out[c] = static_cast<BYTE>(std::min(255u, (p[c] * 255u + a / 2) / a));
        out[3] = static_cast<BYTE>(a);
      }
      return;
    }
    default:
      std::memset(out, 0, static_cast<std::size_t>(count) * 4);
  }
}

// Same-format copies; sub-byte formats starting mid-byte go pixel by pixel.
void CopySameFormat(PixelFormat format, const BYTE* src, INT srcX, BYTE* dst, INT dstX, INT width) {
  const int bits = FormatBits(format);
  INT done = 0;
  if ((static_cast<std::int64_t>(srcX) * bits) % 8 == 0 && (static_cast<std::int64_t>(dstX) * bits) % 8 == 0) {
    const std::size_t whole = static_cast<std::size_t>(width) * bits / 8;
    std::memcpy(dst + static_cast<std::size_t>(dstX) * bits / 8, src + static_cast<std::size_t>(srcX) * bits / 8, whole);
    done = static_cast<INT>(whole * 8 / bits);
  }
  for (INT i = done; i < width; ++i) SetIndexAt(format, dst, dstX + i, IndexAt(format, src, srcX + i));
}

}  // namespace

void ReadBgra(const GpBitmap& source, const BYTE* row, INT x, INT count, BYTE* out) {
  ReadBgraFormat(source.format, source.palette.data(), row, x, count, out);
}

bool CanWrite(PixelFormat format) {
  return FormatBits(format) >= 16;
}

void WriteBgra(const BYTE* in, INT count, PixelFormat format, BYTE* out) {
  switch (format) {
    case PixelFormat24bppRGB:
      for (INT i = 0; i < count; ++i, in += 4, out += 3) out[0] = in[0], out[1] = in[1], out[2] = in[2];
      return;
    case PixelFormat32bppRGB:
      for (INT i = 0; i < count; ++i, in += 4, out += 4) out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 255;
      return;
    case PixelFormat32bppARGB:
      std::memcpy(out, in, static_cast<std::size_t>(count) * 4);
      return;
    case PixelFormat32bppPARGB:
      for (INT i = 0; i < count; ++i, in += 4, out += 4) {
        const unsigned a = in[3];
        for (int c = 0; c < 3; ++c) out[c] = static_cast<BYTE>((in[c] * a + 127) / 255);
        out[3] = static_cast<BYTE>(a);
      }
      return;
    case PixelFormat16bppRGB555:
    case PixelFormat16bppARGB1555:
    case PixelFormat16bppRGB565:
      for (INT i = 0; i < count; ++i, in += 4, out += 2) {
        unsigned v;
        if (format == PixelFormat16bppRGB565)
          v = ((in[2] >> 3) << 11) | ((in[1] >> 2) << 5) | (in[0] >> 3);
        else
          v = ((in[2] >> 3) << 10) | ((in[1] >> 3) << 5) | (in[0] >> 3) |
              ((format == PixelFormat16bppARGB1555 && in[3] < 128) ? 0 : 0x8000u);
        if (format == PixelFormat16bppRGB555) v &= 0x7FFF;
        out[0] = static_cast<BYTE>(v), out[1] = static_cast<BYTE>(v >> 8);
      }
      return;
    default:
      return;
  }
}

void ConvertArea(const GpBitmap& source, const GpRect& area, PixelFormat format, BYTE* dest,
                 std::ptrdiff_t destStride) {
  for (INT y = 0; y < area.Height; ++y, dest += destStride) {
    const BYTE* row = source.Row(area.Y + y);
    if (format == source.format) {
      CopySameFormat(format, row, area.X, dest, 0, area.Width);
      continue;
    }
    // The conversions that stretching and frame composition meet every frame.
    if (format == PixelFormat24bppRGB && (source.format == PixelFormat32bppRGB || source.format == PixelFormat32bppARGB)) {
      const BYTE* p = row + 4 * area.X;
      BYTE* d = dest;
      for (INT i = 0; i < area.Width; ++i, p += 4, d += 3) d[0] = p[0], d[1] = p[1], d[2] = p[2];
      continue;
    }
    if (format == PixelFormat32bppRGB && source.format == PixelFormat24bppRGB) {
      const BYTE* p = row + 3 * area.X;
      BYTE* d = dest;
      for (INT i = 0; i < area.Width; ++i, p += 3, d += 4) d[0] = p[0], d[1] = p[1], d[2] = p[2], d[3] = 255;
      continue;
    }
    if (format == PixelFormat24bppRGB && source.format == PixelFormat8bppIndexed) {
      const BYTE* p = row + area.X;
      BYTE* d = dest;
      for (INT i = 0; i < area.Width; ++i, d += 3) {
        const ARGB c = source.palette[p[i]];
        d[0] = static_cast<BYTE>(c), d[1] = static_cast<BYTE>(c >> 8), d[2] = static_cast<BYTE>(c >> 16);
      }
      continue;
    }
    // Everything else goes through straight BGRA, a chunk at a time.
    BYTE bgra[4 * 256];
    const int dstBits = FormatBits(format);
    for (INT x = 0; x < area.Width; x += 256) {
      const INT n = std::min<INT>(256, area.Width - x);
      ReadBgra(source, row, area.X + x, n, bgra);
      WriteBgra(bgra, n, format, dest + static_cast<std::size_t>(x) * dstBits / 8);
    }
  }
}

void StoreArea(GpBitmap& target, const GpRect& area, PixelFormat format, const BYTE* source,
               std::ptrdiff_t sourceStride) {
  for (INT y = 0; y < area.Height; ++y, source += sourceStride) {
    BYTE* row = target.Row(area.Y + y);
    if (format == target.format) {
      CopySameFormat(format, source, 0, row, area.X, area.Width);
      continue;
    }
    BYTE bgra[4 * 256];
    const int dstBits = FormatBits(target.format);
    for (INT x = 0; x < area.Width; x += 256) {
      const INT n = std::min<INT>(256, area.Width - x);
      ReadBgraFormat(format, nullptr, source, x, n, bgra);
      WriteBgra(bgra, n, target.format, row + static_cast<std::size_t>(area.X + x) * dstBits / 8);
    }
  }
}

}  // namespace gdip
