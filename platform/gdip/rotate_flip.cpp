// GdipImageRotateFlip: the picture copied turned into new pixels of its own
// format, tile by tile so that a quarter turn reads and writes memory close
// together.
#include <algorithm>
#include <cstring>

#include "platform/gdip/bitmap.h"

using namespace gdip;

namespace {

struct Point {
  std::int64_t x, y;
};

// Where output pixel (x, y) comes from in a width x height source: the turn
// clockwise first, then the mirror of the turned picture.
Point SourceOf(RotateFlipType type, std::int64_t width, std::int64_t height, std::int64_t x, std::int64_t y) {
  const bool swapped = type % 2 == 1;
  const std::int64_t outWidth = swapped ? height : width;
  const std::int64_t x0 = type >= RotateNoneFlipX ? outWidth - 1 - x : x;
  switch (type % 4) {
    case 1: return {y, height - 1 - x0};
    case 2: return {width - 1 - x0, height - 1 - y};
    case 3: return {width - 1 - y, x0};
    default: return {x0, y};
  }
}

template <int N>
void CopyTile(const BYTE* origin, std::ptrdiff_t stepX, std::ptrdiff_t stepY, GpBitmap& out, INT x0, INT y0, INT x1,
              INT y1) {
  struct Pixel {
    BYTE b[N];
  };
  for (INT y = y0; y < y1; ++y) {
    auto* to = reinterpret_cast<Pixel*>(out.Row(y)) + x0;
    const BYTE* from = origin + x0 * stepX + y * stepY;
    for (INT x = x0; x < x1; ++x, from += stepX) std::memcpy(to++, from, N);
  }
}

}  // namespace

GpStatus GdipImageRotateFlip(GpImage* image, RotateFlipType type) {
  GpBitmap* bitmap = FromImage(image);
  if (!bitmap || type < RotateNoneFlipNone || type > Rotate270FlipX) return InvalidParameter;
  if (bitmap->lock.active) return WrongState;
  if (type == RotateNoneFlipNone) return Ok;
  const INT width = bitmap->width, height = bitmap->height;
  const bool swapped = type % 2 == 1;
  std::unique_ptr<GpBitmap> out;
  const GpStatus status = NewBitmap(swapped ? height : width, swapped ? width : height, bitmap->format, &out, true);
  if (status != Ok) return status;
  const int bits = FormatBits(bitmap->format);
  if (bits % 8 == 0) {
    const int n = bits / 8;
    const Point o = SourceOf(type, width, height, 0, 0), dx = SourceOf(type, width, height, 1, 0),
                dy = SourceOf(type, width, height, 0, 1);
    const std::ptrdiff_t stepX = (dx.x - o.x) * n + (dx.y - o.y) * bitmap->stride;
    const std::ptrdiff_t stepY = (dy.x - o.x) * n + (dy.y - o.y) * bitmap->stride;
    const BYTE* origin = bitmap->Row(static_cast<INT>(o.y)) + o.x * n;
    constexpr INT kTile = 64;
    for (INT ty = 0; ty < out->height; ty += kTile)
      for (INT tx = 0; tx < out->width; tx += kTile) {
        const INT x1 = std::min(out->width, tx + kTile), y1 = std::min(out->height, ty + kTile);
        switch (n) {
          case 1: CopyTile<1>(origin, stepX, stepY, *out, tx, ty, x1, y1); break;
          case 2: CopyTile<2>(origin, stepX, stepY, *out, tx, ty, x1, y1); break;
          case 3: CopyTile<3>(origin, stepX, stepY, *out, tx, ty, x1, y1); break;
          case 4: CopyTile<4>(origin, stepX, stepY, *out, tx, ty, x1, y1); break;
          case 6: CopyTile<6>(origin, stepX, stepY, *out, tx, ty, x1, y1); break;
          default: CopyTile<8>(origin, stepX, stepY, *out, tx, ty, x1, y1); break;
        }
      }
  } else {
    // 1 and 4-bit indices, most significant first; the new rows start zeroed.
    const int perByte = 8 / bits, mask = (1 << bits) - 1;
    for (INT y = 0; y < out->height; ++y)
      for (INT x = 0; x < out->width; ++x) {
        const Point s = SourceOf(type, width, height, x, y);
        const int shift = 8 - bits * (1 + static_cast<int>(s.x % perByte));
        const int index = (bitmap->Row(static_cast<INT>(s.y))[s.x / perByte] >> shift) & mask;
        out->Row(y)[x / perByte] |= static_cast<BYTE>(index << (8 - bits * (1 + x % perByte)));
      }
  }
  bitmap->width = out->width;
  bitmap->height = out->height;
  bitmap->stride = out->stride;
  bitmap->pixels = out->pixels;
  bitmap->owned = std::move(out->owned);
  return Ok;
}
