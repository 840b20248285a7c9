// Our own BMP and device-independent bitmap reader: 1, 4, 8-bit palettes with
// RLE4/RLE8, 16 bits (555, 565, bit fields), 24 and 32 bits, bottom-up and
// top-down. The bitmap core reads the header, masks and colours, every offset
// and size checked against the bytes at hand, and converts bit-field rows
// that none of our formats holds as they are.
#include <cstring>

#include "platform/dib/layout.h"
#include "platform/dib/little_endian.h"
#include "platform/gdip/decoders.h"
#include "platform/gdip/row_reducer.h"

namespace gdip {
namespace {

using dib::DibFormat;

PixelFormat ChooseFormat(const DibFormat& h) {
  const std::uint32_t* m = h.masks;
  const bool fields = h.compression == BI_BITFIELDS || h.compression == dib::kBiAlphaBitfields;
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
bool SameLayout(const DibFormat& h, PixelFormat format) {
  if (h.bitCount <= 8 || h.compression == BI_RGB) return true;
  if (h.bitCount == 16) return FormatBits(format) == 16;
  const std::uint32_t* m = h.masks;
  return m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF && (m[3] == 0 || m[3] == 0xFF000000u);
}

// Rows from the bottom up into the writer; what the codes skip or never
// reach stays index 0.
void DecodeRle(const DibFormat& h, const BYTE* data, std::size_t size, std::int64_t width, RowWriter& writer) {
  const bool rle8 = h.compression == BI_RLE8;
  std::int64_t x = 0;
  BYTE* row = writer.Row();
  std::memset(row, 0, writer.rowBytes());
  const auto nextRow = [&] {
    writer.Push();
    x = 0;
    if (writer.left() == 0) return;
    row = writer.Row();
    std::memset(row, 0, writer.rowBytes());
  };
  const auto put = [&](unsigned index) {
    if (x < width) {
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
  while (p + 2 <= size && writer.left() > 0) {
    const unsigned count = data[p];
    const unsigned code = data[p + 1];
    p += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count; ++i) put(rle8 ? code : ((i & 1) ? (code & 0x0Fu) : (code >> 4)));
    } else if (code == 0) {
      nextRow();
    } else if (code == 1) {
      break;
    } else if (code == 2) {
      if (p + 2 > size) break;
      const std::int64_t across = x + data[p];
      for (unsigned down = data[p + 1]; down > 0 && writer.left() > 0; --down) nextRow();
      x = across;
      p += 2;
    } else {
      const std::size_t bytes = rle8 ? code : (code + 1) / 2;
      if (p + bytes > size) break;
      for (unsigned i = 0; i < code; ++i)
        put(rle8 ? data[p + i] : ((i & 1) ? (data[p + i / 2] & 0x0Fu) : (data[p + i / 2] >> 4)));
      p += (bytes + 1) & ~std::size_t{1};
    }
  }
  if (writer.left() > 0) writer.Push();  // the row the data ended in
}

}  // namespace

GpStatus DecodeDib(const DibFormat& h, const BYTE* bits, std::size_t bitsSize, Decoded* out, INT fitWidth,
                   INT fitHeight) {
  if (h.compression == dib::kBiJpeg || h.compression == dib::kBiPng) return UnknownImageFormat;
  const std::int64_t width = h.width;
  const std::int64_t height = h.rows();
  const bool topDown = h.topDown();
  const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  if (width <= 0 || height <= 0) return InvalidParameter;
  const PixelFormat format = ChooseFormat(h);
  if (format == 0 || (rle && topDown)) return InvalidParameter;
  const GpStatus sized = CheckSize(width, height, format);
  if (sized != Ok) return sized;

  const std::int64_t fileStride = dib::Stride(width, h.bitCount);
  if (!rle && static_cast<std::uint64_t>(fileStride * height) > bitsSize) return InvalidParameter;
  dib::DibRows converter;
  const bool copy = rle || SameLayout(h, format);
  if (!copy && !converter.Init(h, false)) return InvalidParameter;

  RowWriter writer;
  const GpStatus made = writer.Start(static_cast<INT>(width), static_cast<INT>(height), format,
                                     IsIndexed(format) ? h.colors : std::vector<ARGB>{}, fitWidth, fitHeight, rle);
  if (made != Ok) return made;

  if (rle) {
    DecodeRle(h, bits, bitsSize, width, writer);
  } else {
    const std::size_t rowBytes = static_cast<std::size_t>((width * h.bitCount + 7) / 8);
    for (std::int64_t y = 0; y < height; ++y) {
      const BYTE* src = bits + (topDown ? y : height - 1 - y) * fileStride;
      BYTE* dst = writer.Row();
      if (copy)
        std::memcpy(dst, src, rowBytes);
      else
        converter.ToBgra(src, dst);
      writer.Push();
    }
  }
  *out = writer.Finish();
  return Ok;
}

GpStatus DecodeBmp(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth, INT fitHeight) {
  constexpr std::size_t kFileHeader = 14;
  if (size < kFileHeader + 4) return InvalidParameter;
  const std::size_t offBits = dib::GetLE32(data + 10);
  const std::size_t headerSize = dib::GetLE32(data + 14);
  if (headerSize < 12 || headerSize > size - kFileHeader) return InvalidParameter;
  DibFormat h;
  switch (dib::ReadDibFormat(data + kFileHeader, size - kFileHeader, headerSize, dib::ColorTable::kWhole, &h)) {
    case dib::DibRead::kOk:
      break;
    case dib::DibRead::kUnsupported:
      return UnknownImageFormat;
    case dib::DibRead::kDamaged:
      return InvalidParameter;
  }
  if (offBits < kFileHeader || offBits >= size) return InvalidParameter;
  return DecodeDib(h, data + offBits, size - offBits, out, fitWidth, fitHeight);
}

}  // namespace gdip

using namespace gdip;

GpStatus GdipCreateBitmapFromGdiDib(const BITMAPINFO* info, void* pixels, GpBitmap** bitmap) {
  if (!info || !pixels || !bitmap) return InvalidParameter;
  *bitmap = nullptr;
  const BITMAPINFOHEADER& bih = info->bmiHeader;
  if (bih.biSize < sizeof(BITMAPINFOHEADER)) return InvalidParameter;
  // The caller's block is trusted to hold what its header describes.
  DibFormat h;
  if (dib::ReadDibFormat(reinterpret_cast<const BYTE*>(info), SIZE_MAX, bih.biSize, dib::ColorTable::kWhole, &h) !=
      dib::DibRead::kOk)
    return InvalidParameter;
  const std::size_t size = (h.compression == BI_RLE8 || h.compression == BI_RLE4) ? bih.biSizeImage : SIZE_MAX;
  Decoded decoded;
  const GpStatus status = DecodeDib(h, static_cast<const BYTE*>(pixels), size, &decoded);
  if (status != Ok) return status;
  *bitmap = decoded.release();
  return Ok;
}
