// The bitmap object behind GpBitmap/GpImage and the pixel conversions the
// services share. Internal to platform/gdip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/dib/layout.h"
#include "platform/gdiplus.h"

namespace gdip {

using dib::kMaxPixelBytes;

using ARGB = std::uint32_t;  // 0xAARRGGBB; in memory: blue, green, red, alpha

// Pixel and file memory. Large blocks go back to a small pool when released
// and are handed out again: decoding one picture after another asks for the
// same sizes each time, and on the virtual machines we run on, first touches
// of freshly mapped pages cost more than the decoding itself. The pool keeps
// only blocks wholly in memory and gives way to blocks it cannot serve, so it
// adds no more than its bound to the memory of the picture being decoded.
// Zeroed blocks that come fresh stay untouched (and out of memory) until
// written.
struct PoolReturn {
  std::size_t capacity = 0;
  void operator()(BYTE* block) const;
};
using PixelBuffer = std::unique_ptr<BYTE, PoolReturn>;
// Null when the memory is not there. With `dirty` given, a zeroed block the
// pool serves comes as it was and *dirty is set: the caller clears what it
// does not write (the block is in memory already, so that costs none).
[[nodiscard]] PixelBuffer AllocatePixels(std::size_t bytes, bool zeroed, bool* dirty = nullptr);
// Frees every pooled block (at library shutdown).
void DrainPixelPool();

// Bits per pixel of a format we hold, or 0 for a format we do not support.
int FormatBits(PixelFormat format);
bool IsIndexed(PixelFormat format);
bool HasAlpha(PixelFormat format);
// OutOfMemory when the pixels would exceed kMaxPixelBytes, InvalidParameter
// for sizes below 1 or an unsupported format, Ok otherwise.
GpStatus CheckSize(std::int64_t width, std::int64_t height, PixelFormat format);

struct LockState {
  bool active = false;
  GpRect rect{};
  UINT flags = 0;
  PixelFormat format = 0;
  BYTE* scan0 = nullptr;  // what the caller got
  INT stride = 0;
  bool direct = false;   // scan0 points into the bitmap's own pixels
  PixelBuffer buffer;    // conversion buffer when not direct and not the caller's
};

}  // namespace gdip

struct GpBitmap {
  INT width = 0;
  INT height = 0;
  PixelFormat format = PixelFormatUndefined;
  INT stride = 0;          // may be negative for caller memory laid bottom-up
  BYTE* pixels = nullptr;  // row 0 (the top row)
  gdip::PixelBuffer owned;  // null when the pixels are the caller's
  std::vector<gdip::ARGB> palette;  // 2^bits entries for indexed formats
  gdip::LockState lock;

  BYTE* Row(INT y) { return pixels + static_cast<std::ptrdiff_t>(y) * stride; }
  const BYTE* Row(INT y) const { return pixels + static_cast<std::ptrdiff_t>(y) * stride; }
};

struct GpGraphics {
  GpBitmap* target = nullptr;
  HDC surface = nullptr;  // set instead of target for a device context
};

namespace gdip {

inline GpBitmap* FromImage(GpImage* image) { return reinterpret_cast<GpBitmap*>(image); }

// Draws the whole image resampled onto the rectangle of a device context.
GpStatus DrawOnSurface(HDC surface, GpImage* image, INT x, INT y, INT width, INT height);

// A new bitmap with pixels of its own, zeroed unless the caller overwrites
// every row anyway (indexed formats get a grey ramp palette); `dirty` as for
// AllocatePixels. Status as CheckSize, or OutOfMemory when allocation fails.
GpStatus NewBitmap(INT width, INT height, PixelFormat format, std::unique_ptr<GpBitmap>* out, bool zeroed = true,
                   bool* dirty = nullptr);
// Replaces the palette, padding with opaque black (or cutting) to the
// format's 2^bits entries so every index has an entry.
void SetPalette(GpBitmap& bitmap, std::vector<ARGB> colors);
std::vector<ARGB> GreyPalette(int entries);
// True when some palette entry is not opaque.
bool PaletteHasAlpha(const GpBitmap& bitmap);

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
