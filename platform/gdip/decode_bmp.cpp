// Our own BMP and device-independent bitmap reader: 1, 4, 8-bit palettes with
// RLE4/RLE8, 16 bits (555, 565, bit fields), 24 and 32 bits, bottom-up and
// top-down. Every offset and size is checked against the bytes at hand.
#include <bit>
#include <cstring>

#include "platform/gdip/decoders.h"

namespace gdip {
namespace {

inline std::uint32_t Le16(const BYTE* p) { return p[0] | (p[1] << 8); }
inline std::uint32_t Le32(const BYTE* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr DWORD kBiJpeg = 4;
constexpr DWORD kBiPng = 5;
constexpr DWORD kBiAlphaBitfields = 6;

// One channel of a bit-field pixel scaled to 8 bits.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint64_t max = 0;
  explicit Channel(std::uint32_t m) : mask(m) {
    if (!m) return;
    shift = std::countr_zero(m);
    max = (std::uint64_t{1} << std::bit_width(m >> shift)) - 1;
  }
  BYTE Get(std::uint32_t pixel, BYTE absent) const {
    if (!mask) return absent;
    return static_cast<BYTE>(((pixel & mask) >> shift) * 255 / max);
  }
};

PixelFormat ChooseFormat(const DibHeader& h) {
  const DWORD* m = h.masks;
  const bool fields = h.compression == BI_BITFIELDS || h.compression == kBiAlphaBitfields;
  switch (h.bitCount) {
    case 1:
      return h.compression == BI_RGB ? PixelFormat1bppIndexed : 0;
    case 4:
      return h.compression == BI_RGB || h.compression == BI_RLE4 ? PixelFormat4bppIndexed : 0;
    case 8:
      return h.compression == BI_RGB || h.compression == BI_RLE8 ? PixelFormat8bppIndexed : 0;
    case 16:
      if (h.compression == BI_RGB) return PixelFormat16bppRGB555;
      if (!fields) return 0;
      if (m[0] == 0x7C00 && m[1] == 0x3E0 && m[2] == 0x1F && m[3] == 0) return PixelFormat16bppRGB555;
      if (m[0] == 0x7C00 && m[1] == 0x3E0 && m[2] == 0x1F && m[3] == 0x8000) return PixelFormat16bppARGB1555;
      if (m[0] == 0xF800 && m[1] == 0x7E0 && m[2] == 0x1F && m[3] == 0) return PixelFormat16bppRGB565;
      return m[3] ? PixelFormat32bppARGB : PixelFormat32bppRGB;
    case 24:
      return h.compression == BI_RGB ? PixelFormat24bppRGB : 0;
    case 32:
      if (h.compression == BI_RGB) return PixelFormat32bppRGB;
      if (!fields) return 0;
      return m[3] ? PixelFormat32bppARGB : PixelFormat32bppRGB;
    default:
      return 0;
  }
}

// Whether the file's rows can be copied as they are.
bool SameLayout(const DibHeader& h, PixelFormat format) {
  if (h.bitCount <= 8 || h.compression == BI_RGB) return true;
  if (h.bitCount == 16) return FormatBits(format) == 16;
  const DWORD* m = h.masks;
  return m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF && (m[3] == 0 || m[3] == 0xFF000000u);
}

void DecodeRle(const DibHeader& h, const BYTE* data, std::size_t size, GpBitmap& bitmap) {
  const bool rle8 = h.compression == BI_RLE8;
  const std::int64_t width = bitmap.width;
  const std::int64_t height = bitmap.height;
  std::int64_t x = 0;
  std::int64_t y = 0;  // from the bottom
  const auto put = [&](unsigned index) {
    if (x < width && y < height) {
      BYTE* row = bitmap.Row(static_cast<INT>(height - 1 - y));
      if (rle8) {
        row[x] = static_cast<BYTE>(index);
      } else {
        BYTE& b = row[x >> 1];
        b = static_cast<BYTE>((x & 1) ? ((b & 0xF0u) | (index & 0x0Fu)) : ((b & 0x0Fu) | (index << 4)));
      }
    }
    ++x;
  };
  std::size_t p = 0;
  while (p + 2 <= size && y < height) {
    const unsigned count = data[p];
    const unsigned code = data[p + 1];
    p += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count; ++i) put(rle8 ? code : ((i & 1) ? (code & 0x0Fu) : (code >> 4)));
    } else if (code == 0) {
      x = 0;
      ++y;
    } else if (code == 1) {
      return;
    } else if (code == 2) {
      if (p + 2 > size) return;
      x += data[p];
      y += data[p + 1];
      p += 2;
    } else {
      const std::size_t bytes = rle8 ? code : (code + 1) / 2;
      if (p + bytes > size) return;
      for (unsigned i = 0; i < code; ++i)
        put(rle8 ? data[p + i] : ((i & 1) ? (data[p + i / 2] & 0x0Fu) : (data[p + i / 2] >> 4)));
      p += (bytes + 1) & ~std::size_t{1};
    }
  }
}

}  // namespace

GpStatus DecodeDib(const DibHeader& h, const BYTE* bits, std::size_t bitsSize, Decoded* out) {
  if (h.compression == kBiJpeg || h.compression == kBiPng) return UnknownImageFormat;
  const std::int64_t width = h.width;
  const std::int64_t height = h.height < 0 ? -h.height : h.height;
  const bool topDown = h.height < 0;
  const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  if (width <= 0 || height <= 0) return InvalidParameter;
  const PixelFormat format = ChooseFormat(h);
  if (format == 0 || (rle && topDown)) return InvalidParameter;
  const GpStatus sized = CheckSize(width, height, format);
  if (sized != Ok) return sized;

  const std::int64_t fileStride = (width * h.bitCount + 31) / 32 * 4;
  if (!rle && static_cast<std::uint64_t>(fileStride * height) > bitsSize) return InvalidParameter;

  Decoded bitmap;
  const GpStatus made = NewBitmap(static_cast<INT>(width), static_cast<INT>(height), format, &bitmap);
  if (made != Ok) return made;
  if (IsIndexed(format)) SetPalette(*bitmap, h.colors);

  if (rle) {
    DecodeRle(h, bits, bitsSize, *bitmap);
  } else if (SameLayout(h, format)) {
    const std::size_t rowBytes = static_cast<std::size_t>((width * h.bitCount + 7) / 8);
    for (std::int64_t y = 0; y < height; ++y) {
      const BYTE* src = bits + (topDown ? y : height - 1 - y) * fileStride;
      std::memcpy(bitmap->Row(static_cast<INT>(y)), src, rowBytes);
    }
  } else {
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
    const int bytes = h.bitCount / 8;
    for (std::int64_t y = 0; y < height; ++y) {
      const BYTE* src = bits + (topDown ? y : height - 1 - y) * fileStride;
      BYTE* dst = bitmap->Row(static_cast<INT>(y));
      for (std::int64_t x = 0; x < width; ++x, src += bytes, dst += 4) {
        const std::uint32_t pixel = bytes == 2 ? Le16(src) : Le32(src);
        dst[0] = blue.Get(pixel, 0);
        dst[1] = green.Get(pixel, 0);
        dst[2] = red.Get(pixel, 0);
        dst[3] = alpha.Get(pixel, 255);
      }
    }
  }
  *out = std::move(bitmap);
  return Ok;
}

GpStatus DecodeBmp(const BYTE* data, std::size_t size, Decoded* out) {
  constexpr std::size_t kFileHeader = 14;
  if (size < kFileHeader + 4) return InvalidParameter;
  const std::size_t offBits = Le32(data + 10);
  const std::size_t headerSize = Le32(data + 14);
  if (headerSize < 12 || headerSize > size - kFileHeader) return InvalidParameter;
  const BYTE* info = data + kFileHeader;

  DibHeader h;
  std::size_t colorsAt = kFileHeader + headerSize;
  std::size_t colorBytes = 4;
  std::uint32_t colorsUsed = 0;
  if (headerSize == 12) {  // the old core header: 16-bit sizes, 3-byte colours
    h.width = Le16(info + 4);
    h.height = Le16(info + 6);
    h.bitCount = static_cast<int>(Le16(info + 10));
    colorBytes = 3;
  } else if (headerSize >= 16) {
    h.width = static_cast<std::int32_t>(Le32(info + 4));
    h.height = static_cast<std::int32_t>(Le32(info + 8));
    h.bitCount = static_cast<int>(Le16(info + 14));
    h.compression = headerSize >= 20 ? Le32(info + 16) : BI_RGB;
    colorsUsed = headerSize >= 36 ? Le32(info + 32) : 0;
    // The 64-byte OS/2 header gives codes 3 and 4 other meanings (Huffman, RLE24).
    if (headerSize == 64 && h.compression >= BI_BITFIELDS) return UnknownImageFormat;
    if (h.compression == BI_BITFIELDS || h.compression == kBiAlphaBitfields) {
      const std::size_t wanted = h.compression == kBiAlphaBitfields ? 4 : 3;
      const BYTE* masks;
      if (headerSize >= 52) {
        masks = info + 40;
        if (headerSize >= 56 || wanted == 4) {
          if (headerSize < 56) return InvalidParameter;
          h.masks[3] = Le32(info + 52);
        }
      } else {
        if (colorsAt + 4 * wanted > size) return InvalidParameter;
        masks = data + colorsAt;
        colorsAt += 4 * wanted;
        if (wanted == 4) h.masks[3] = Le32(masks + 12);
      }
      for (int i = 0; i < 3; ++i) h.masks[i] = Le32(masks + 4 * i);
    }
  } else {
    return InvalidParameter;
  }

  if (h.bitCount >= 1 && h.bitCount <= 8) {
    const std::uint32_t most = 1u << h.bitCount;
    const std::uint32_t count = colorsUsed == 0 || colorsUsed > most ? most : colorsUsed;
    if (colorsAt + count * colorBytes > size) return InvalidParameter;
    h.colors.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const BYTE* c = data + colorsAt + i * colorBytes;
      h.colors[i] = 0xFF000000u | (static_cast<ARGB>(c[2]) << 16) | (static_cast<ARGB>(c[1]) << 8) | c[0];
    }
  }
  if (offBits < kFileHeader || offBits >= size) return InvalidParameter;
  return DecodeDib(h, data + offBits, size - offBits, out);
}

}  // namespace gdip

using namespace gdip;

GpStatus GdipCreateBitmapFromGdiDib(const BITMAPINFO* info, void* pixels, GpBitmap** bitmap) {
  if (!info || !pixels || !bitmap) return InvalidParameter;
  *bitmap = nullptr;
  const BITMAPINFOHEADER& bih = info->bmiHeader;
  if (bih.biSize < sizeof(BITMAPINFOHEADER)) return InvalidParameter;
  DibHeader h;
  h.width = bih.biWidth;
  h.height = bih.biHeight;
  h.bitCount = bih.biBitCount;
  h.compression = bih.biCompression;
  const BYTE* after = reinterpret_cast<const BYTE*>(info) + bih.biSize;
  if (h.compression == BI_BITFIELDS || h.compression == 6) {
    const BYTE* masks = bih.biSize >= 52 ? reinterpret_cast<const BYTE*>(info) + 40 : after;
    for (int i = 0; i < 3; ++i) std::memcpy(&h.masks[i], masks + 4 * i, 4);
    if (bih.biSize >= 56) std::memcpy(&h.masks[3], reinterpret_cast<const BYTE*>(info) + 52, 4);
    if (bih.biSize < 52) after += 12;
  }
  if (h.bitCount >= 1 && h.bitCount <= 8) {
    const std::uint32_t most = 1u << h.bitCount;
    const std::uint32_t count = bih.biClrUsed == 0 || bih.biClrUsed > most ? most : bih.biClrUsed;
    h.colors.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const BYTE* c = after + 4 * i;
      h.colors[i] = 0xFF000000u | (static_cast<ARGB>(c[2]) << 16) | (static_cast<ARGB>(c[1]) << 8) | c[0];
    }
  }
  // The caller's block is trusted to hold what its header describes.
  const std::size_t size = (h.compression == BI_RLE8 || h.compression == BI_RLE4) ? bih.biSizeImage : SIZE_MAX;
  Decoded decoded;
  const GpStatus status = DecodeDib(h, static_cast<const BYTE*>(pixels), size, &decoded);
  if (status != Ok) return status;
  *bitmap = decoded.release();
  return Ok;
}
