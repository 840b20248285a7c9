// The picture decoders behind GdipCreateBitmapFromFile and the DIB reader
// shared with GdipCreateBitmapFromGdiDib. Each takes the whole file in
// memory and either yields a bitmap or a failing status:
// OutOfMemory for pictures over the pixel limit (checked before any pixel
// allocation), InvalidParameter for corrupt or truncated data,
// UnknownImageFormat for a shape the decoder does not handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/dib/dib_format.h"
#include "platform/gdip/bitmap.h"

namespace gdip {

using Decoded = std::unique_ptr<GpBitmap>;

// fitWidth x fitHeight, when given (both at least 1), is the size the
// picture will be drawn shrunk to: a side larger than it is reduced to it
// as the rows are decoded (row_reducer.h). The pixel limit holds for the
// picture's own size.
[[nodiscard]] GpStatus DecodeBmp(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth = 0,
                                 INT fitHeight = 0);
// Halved by the decoder's own scaling first while that still covers the
// fit (JpegReduction).
[[nodiscard]] GpStatus DecodeJpeg(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth = 0,
                                  INT fitHeight = 0);
// What DecodeJpeg divides a width x height picture's sides by to fit
// fitWidth x fitHeight: 2 when its sides are even and the half still covers
// the fit (both given), else 1.
// Only the middle cols x rows of the picture (all of a shorter or narrower
// side), the part a frame of that size shows when the picture is centred
// on it unscaled: the rows above it are skipped, those below never decoded.
[[nodiscard]] GpStatus DecodeJpegClipped(const BYTE* data, std::size_t size, Decoded* out, INT cols, INT rows);
unsigned JpegReduction(std::int64_t width, std::int64_t height, std::int64_t fitWidth, std::int64_t fitHeight);
[[nodiscard]] GpStatus DecodePng(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth = 0,
                                 INT fitHeight = 0);
[[nodiscard]] GpStatus DecodeGif(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth = 0,
                                 INT fitHeight = 0);
// Single-sample 16-bit grey is refused with UnknownImageFormat.
[[nodiscard]] GpStatus DecodeTiff(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth = 0,
                                  INT fitHeight = 0);

// A device-independent bitmap as its header describes it, with `bitsSize`
// bytes of pixels, which the decoder never reads past.
[[nodiscard]] GpStatus DecodeDib(const dib::DibFormat& format, const BYTE* bits, std::size_t bitsSize, Decoded* out,
                                 INT fitWidth = 0, INT fitHeight = 0);

}  // namespace gdip
