// Pixel formats and the conversions between them: what a format holds, and
// rows read into straight blue, green, red, alpha bytes and written back in
// any format the bitmaps hold. Internal to platform/gdip.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gdiplus.h"

namespace gdip {

using ARGB = std::uint32_t;  // 0xAARRGGBB; in memory: blue, green, red, alpha

// Bits per pixel of a format we hold, or 0 for a format we do not support.
int FormatBits(PixelFormat format);
bool IsIndexed(PixelFormat format);
bool HasAlpha(PixelFormat format);

// Converts `count` pixels of row `row` of `source`, from column x, to
// straight (not premultiplied) blue, green, red, alpha bytes.
void ReadBgra(const GpBitmap& source, const BYTE* row, INT x, INT count, BYTE* out);
// Packs straight BGRA pixels into a row of a non-indexed format.
void WriteBgra(const BYTE* bgra, INT count, PixelFormat format, BYTE* out);
// Whether WriteBgra can produce the format.
bool CanWrite(PixelFormat format);
// Copies the area of `source` into `dest` rows (stride destStride) in
// `format`: the source's own format or one CanWrite accepts.
void ConvertArea(const GpBitmap& source, const GpRect& area, PixelFormat format, BYTE* dest,
                 std::ptrdiff_t destStride);
// Writes rows in `format` back into the area of `target` (the reverse of
// ConvertArea; the target must not be indexed unless format is its own).
void StoreArea(GpBitmap& target, const GpRect& area, PixelFormat format, const BYTE* source,
               std::ptrdiff_t sourceStride);

}  // namespace gdip
