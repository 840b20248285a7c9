// JPEG through libjpeg-turbo, decoded straight into blue, green, red rows.
// libjpeg reports errors by longjmp; the two functions that set the jump
// point hold no objects with destructors, so nothing is skipped.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "platform/dib/jpeg_errors.h"
#include "platform/gdip/decoders.h"

namespace gdip {
namespace {

using dib::JpegErrors;

[[nodiscard]] bool ReadHeader(jpeg_decompress_struct* cinfo, JpegErrors* errors, const BYTE* data, std::size_t size) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_decompress(cinfo);
  // Large progressive pictures keep all coefficients; past this libjpeg
  // fails instead of allocating more.
  cinfo->mem->max_memory_to_use = kMaxPixelBytes;
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(cinfo, TRUE);
  return true;
}

[[nodiscard]] bool ReadPixels(jpeg_decompress_struct* cinfo, JpegErrors* errors, BYTE* rows, std::ptrdiff_t stride) {
  if (setjmp(errors->jump)) return false;
  jpeg_start_decompress(cinfo);
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = rows + static_cast<std::ptrdiff_t>(cinfo->output_scanline) * stride;
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
    if (errors->truncated) return false;
  }
  jpeg_finish_decompress(cinfo);
  return !errors->truncated;
}

// CMYK rows (in place, 4 bytes a pixel) to blue, green, red. Adobe writes
// the inks inverted.
void CmykToBgr(BYTE* row, INT width, bool inverted) {
  BYTE* out = row;
  for (INT x = 0; x < width; ++x, row += 4, out += 3) {
    unsigned c = row[0], m = row[1], y = row[2], k = row[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    const BYTE r = static_cast<BYTE>((c * k + 127) / 255);
    const BYTE g = static_cast<BYTE>((m * k + 127) / 255);
    const BYTE b = static_cast<BYTE>((y * k + 127) / 255);
    out[0] = b, out[1] = g, out[2] = r;
  }
}

struct Decompressor {
  jpeg_decompress_struct cinfo{};
  JpegErrors errors{};
  // Warnings only matter when the data ran out.
  Decompressor() { cinfo.err = dib::UseJpegErrors(&errors); }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
};

}  // namespace

GpStatus DecodeJpeg(const BYTE* data, std::size_t size, Decoded* out) {
  Decompressor d;
  if (!ReadHeader(&d.cinfo, &d.errors, data, size)) return InvalidParameter;
  const INT width = static_cast<INT>(d.cinfo.image_width);
  const INT height = static_cast<INT>(d.cinfo.image_height);
  PixelFormat format = PixelFormat24bppRGB;
  bool cmyk = false;
  switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      d.cinfo.out_color_space = JCS_GRAYSCALE;
      format = PixelFormat8bppIndexed;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      d.cinfo.out_color_space = JCS_CMYK;
      cmyk = true;
      break;
    default:
      d.cinfo.out_color_space = JCS_EXT_BGR;
  }
  GpStatus status = CheckSize(width, height, format);
  // CMYK rows are decoded 4 bytes a pixel before they shrink to 3.
  if (status == Ok && cmyk) status = CheckSize(width, height, PixelFormat32bppRGB);
  if (status != Ok) return status;

  Decoded bitmap;
  PixelBuffer cmykRows;
  if ((status = NewBitmap(width, height, format, &bitmap, false)) != Ok) return status;
  if (format == PixelFormat8bppIndexed) SetPalette(*bitmap, GreyPalette(256));
  BYTE* rows = bitmap->pixels;
  std::ptrdiff_t stride = bitmap->stride;
  if (cmyk) {
    stride = static_cast<std::ptrdiff_t>(width) * 4;
    cmykRows = AllocatePixels(static_cast<std::size_t>(stride) * height, false);
    if (!cmykRows) return OutOfMemory;
    rows = cmykRows.get();
  }
  if (!ReadPixels(&d.cinfo, &d.errors, rows, stride)) return InvalidParameter;
  if (cmyk) {
    for (INT y = 0; y < height; ++y) {
      BYTE* src = rows + y * stride;
      CmykToBgr(src, width, d.cinfo.saw_Adobe_marker);
      std::memcpy(bitmap->Row(y), src, static_cast<std::size_t>(width) * 3);
    }
  }
  *out = std::move(bitmap);
  return Ok;
}

}  // namespace gdip
