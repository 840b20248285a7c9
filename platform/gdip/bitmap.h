// The bitmap object behind GpBitmap/GpImage. Internal to platform/gdip; its
// memory comes from the pixel pool, its conversions from pixel_convert.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/dib/layout.h"
#include "platform/gdip/pixel_convert.h"
#include "platform/gdip/pixel_pool.h"
#include "platform/gdiplus.h"

namespace gdip {

using dib::kMaxPixelBytes;

// OutOfMemory when the pixels would exceed kMaxPixelBytes, InvalidParameter
// for sizes below 1 or an unsupported format, Ok otherwise.
[[nodiscard]] GpStatus CheckSize(std::int64_t width, std::int64_t height, PixelFormat format);

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
[[nodiscard]] GpStatus DrawOnSurface(HDC surface, GpImage* image, INT x, INT y, INT width, INT height);

// A new bitmap with pixels of its own, zeroed unless the caller overwrites
// every row anyway (indexed formats get a grey ramp palette); `dirty` as for
// AllocatePixels. Status as CheckSize, or OutOfMemory when allocation fails.
[[nodiscard]] GpStatus NewBitmap(INT width, INT height, PixelFormat format, std::unique_ptr<GpBitmap>* out,
                                 bool zeroed = true, bool* dirty = nullptr);
// Replaces the palette, padding with opaque black (or cutting) to the
// format's 2^bits entries so every index has an entry.
void SetPalette(GpBitmap& bitmap, std::vector<ARGB> colors);
std::vector<ARGB> GreyPalette(int entries);
// True when some palette entry is not opaque.
bool PaletteHasAlpha(const GpBitmap& bitmap);

}  // namespace gdip
