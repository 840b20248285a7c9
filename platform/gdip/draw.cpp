// Graphics on a bitmap and the resampler behind GdipDrawImagePoints: the
// whole source onto an axis-aligned rectangle, each axis on its own, with
// area averaging where it shrinks and bilinear interpolation where it
// grows. Weights are 14-bit fixed point, built once per draw; the pixel
// loops are integer only. Rows are combined vertically first (contiguous,
// vectorisable), then each output row is filtered horizontally.
#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/gdip/bitmap.h"

using namespace gdip;

namespace {

constexpr int kWeightBits = 14;
constexpr std::uint32_t kOne = 1u << kWeightBits;

// For each visible destination index: the source span it reads and the
// weights (summing to kOne) of each source index in that span.
struct Taps {
  struct Span {
    INT first;
    INT count;
    INT offset;  // into weights
  };
  std::vector<Span> spans;
  std::vector<std::uint16_t> weights;
  INT maxCount = 0;
  INT lowest = 0;   // source indices read: [lowest, highest)
  INT highest = 0;
};

// Destination [destStart, destStart + destLength) shows source [0,
// sourceLength), mirrored when flip; taps for destination [from, to).
Taps BuildTaps(INT sourceLength, std::int64_t destStart, std::int64_t destLength, bool flip, INT from, INT to) {
  Taps taps;
  taps.spans.reserve(static_cast<std::size_t>(to - from));
  taps.lowest = sourceLength;
  const double scale = static_cast<double>(sourceLength) / static_cast<double>(destLength);
  std::vector<double> exact;
  for (INT i = from; i < to; ++i) {
    std::int64_t r = i - destStart;
    if (flip) r = destLength - 1 - r;
    INT first;
    exact.clear();
    if (sourceLength == destLength) {
      first = static_cast<INT>(r);
      exact.push_back(1.0);
    } else if (sourceLength > destLength) {
      // The destination pixel covers [a, b) of the source; each source pixel
      // weighs by its overlap.
      const double a = static_cast<double>(r) * scale;
      const double b = std::min(static_cast<double>(r + 1) * scale, static_cast<double>(sourceLength));
      first = std::min(static_cast<INT>(a), sourceLength - 1);
      const INT end = std::max(first + 1, std::min(static_cast<INT>(std::ceil(b)), sourceLength));
      for (INT k = first; k < end; ++k)
        exact.push_back(std::max(0.0, std::min(b, k + 1.0) - std::max(a, static_cast<double>(k))) / scale);
    } else {
      // Pixel centres map onto each other; outside the outermost centres the
      // edge pixel repeats.
      const double u = std::clamp((static_cast<double>(r) + 0.5) * scale - 0.5, 0.0,
                                  static_cast<double>(sourceLength - 1));
      first = static_cast<INT>(u);
      const double f = u - first;
      exact.push_back(1.0 - f);
      if (first + 1 < sourceLength) exact.push_back(f);
    }
    // Rounding the running sum keeps every weight non-negative and the total
    // exactly kOne.
    double total = 0;
    for (double e : exact) total += e;
    const auto offset = static_cast<INT>(taps.weights.size());
    double running = 0;
    std::uint32_t given = 0;
    for (double e : exact) {
      running += e;
      const auto upto = static_cast<std::uint32_t>(std::lround(running / total * kOne));
      taps.weights.push_back(static_cast<std::uint16_t>(upto - given));
      given = upto;
    }
    const auto count = static_cast<INT>(exact.size());
    taps.spans.push_back({first, count, offset});
    taps.maxCount = std::max(taps.maxCount, count);
    taps.lowest = std::min(taps.lowest, first);
    taps.highest = std::max(taps.highest, first + count);
  }
  return taps;
}

// Widens every span to the longest one with zero weights, kept inside
// [lowest, highest), so the horizontal filter runs a fixed number of taps.
void PadTaps(Taps& taps) {
  const INT n = taps.maxCount;
  std::vector<std::uint16_t> weights(taps.spans.size() * static_cast<std::size_t>(n), 0);
  for (std::size_t i = 0; i < taps.spans.size(); ++i) {
    Taps::Span& span = taps.spans[i];
    const INT first = std::min(span.first, taps.highest - n);
    for (INT k = 0; k < span.count; ++k)
      weights[i * n + static_cast<std::size_t>(span.first - first + k)] = taps.weights[static_cast<std::size_t>(span.offset + k)];
    span = {first, n, static_cast<INT>(i * n)};
  }
  taps.weights = std::move(weights);
}

// Source rows as bytes the resampler can combine: 3 (blue, green, red) or 4
// (blue, green, red, ignored / premultiplied alpha) bytes a pixel, for the
// columns [lowest, highest). 24 and 32-bit rows are used in place; other
// formats are converted into a small ring of rows.
class RowSource {
 public:
  RowSource(const GpBitmap& source, INT lowest, INT highest, INT ringRows)
      : m_source(source), m_lowest(lowest), m_width(highest - lowest) {
    switch (source.format) {
      case PixelFormat24bppRGB:
        m_pixelBytes = 3, m_channels = 3, m_direct = true;
        break;
      case PixelFormat32bppRGB:
        m_pixelBytes = 4, m_channels = 3, m_direct = true;
        break;
      case PixelFormat32bppPARGB:
        m_pixelBytes = 4, m_channels = 4, m_direct = true;
        break;
      default:
        m_pixelBytes = 4;
        m_channels = (HasAlpha(source.format) || (IsIndexed(source.format) && PaletteHasAlpha(source))) ? 4 : 3;
        m_direct = false;
        m_ring.resize(static_cast<std::size_t>(ringRows) * m_width * 4);
        m_tags.assign(static_cast<std::size_t>(ringRows), -1);
    }
  }
  int pixelBytes() const { return m_pixelBytes; }
  int channels() const { return m_channels; }

  // Row y from column `lowest`.
  const BYTE* Row(INT y) {
    if (m_direct) return m_source.Row(y) + static_cast<std::size_t>(m_lowest) * m_pixelBytes;
    const std::size_t slot = static_cast<std::size_t>(y) % m_tags.size();
    BYTE* row = m_ring.data() + slot * m_width * 4;
    if (m_tags[slot] != y) {
      ReadBgra(m_source, m_source.Row(y), m_lowest, m_width, row);
      if (m_channels == 4) {
        for (INT x = 0; x < m_width; ++x) {
          BYTE* p = row + 4 * x;
          const unsigned a = p[3];
          for (int c = 0; c < 3; ++c) p[c] = static_cast<BYTE>((p[c] * a + 127) / 255);
        }
      }
      m_tags[slot] = y;
    }
    return row;
  }

 private:
  const GpBitmap& m_source;
  INT m_lowest;
  INT m_width;
  int m_pixelBytes = 3;
  int m_channels = 3;
  bool m_direct = true;
  std::vector<BYTE> m_ring;
  std::vector<INT> m_tags;
};

// The combined rows keep 7 fraction bits, so they fit signed 16-bit lanes
// (255 << 7 = 32640) and the horizontal filter can multiply-add pairs.
constexpr int kMidBits = 7;

// mid[x] = weighted sum of the rows at x, scaled by 2^kMidBits. The body
// of CombineRows below, built once for any x86-64 and once for AVX2.
[[gnu::always_inline]] inline void CombineRowsBody(const BYTE* const* rows, const std::uint16_t* w, INT count,
                                                  std::size_t length, std::int16_t* mid, std::uint32_t* acc) {
  constexpr int kDown = kWeightBits - kMidBits;
  constexpr std::uint32_t kHalf = 1u << (kDown - 1);
  const BYTE* r0 = rows[0];
  if (count == 1) {
    for (std::size_t x = 0; x < length; ++x) mid[x] = static_cast<std::int16_t>(r0[x] << kMidBits);
    return;
  }
  const std::uint32_t w0 = w[0], w1 = w[1];
  const BYTE* r1 = rows[1];
  if (count == 2) {
    for (std::size_t x = 0; x < length; ++x)
      mid[x] = static_cast<std::int16_t>((w0 * r0[x] + w1 * r1[x] + kHalf) >> kDown);
    return;
  }
  if (count == 3) {
    const std::uint32_t w2 = w[2];
    const BYTE* r2 = rows[2];
    for (std::size_t x = 0; x < length; ++x)
      mid[x] = static_cast<std::int16_t>((w0 * r0[x] + w1 * r1[x] + w2 * r2[x] + kHalf) >> kDown);
    return;
  }
  for (std::size_t x = 0; x < length; ++x) acc[x] = w0 * r0[x] + w1 * r1[x] + kHalf;
  for (INT k = 2; k < count; ++k) {
    const std::uint32_t wk = w[k];
    const BYTE* rk = rows[k];
    for (std::size_t x = 0; x < length; ++x) acc[x] += wk * rk[x];
  }
  for (std::size_t x = 0; x < length; ++x) mid[x] = static_cast<std::int16_t>(acc[x] >> kDown);
}

void CombineRowsPlain(const BYTE* const* rows, const std::uint16_t* w, INT count, std::size_t length,
                      std::int16_t* mid, std::uint32_t* acc) {
  CombineRowsBody(rows, w, count, length, mid, acc);
}

#if defined(__x86_64__) && defined(__GNUC__)
// With AVX2 the vectorised loops take 8 lanes a step instead of 4, and this
// pass is most of a shrinking draw. Chosen at the first call rather than by
// an ifunc, whose resolver runs before sanitizer runtimes are ready.
[[gnu::target("avx2")]] void CombineRowsAvx2(const BYTE* const* rows, const std::uint16_t* w, INT count,
                                             std::size_t length, std::int16_t* mid, std::uint32_t* acc) {
  CombineRowsBody(rows, w, count, length, mid, acc);
}
#endif

void CombineRows(const BYTE* const* rows, const std::uint16_t* w, INT count, std::size_t length,
                 std::int16_t* mid, std::uint32_t* acc) {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return CombineRowsAvx2(rows, w, count, length, mid, acc);
#endif
  CombineRowsPlain(rows, w, count, length, mid, acc);
}

// Elements read past the last pixel of a combined row by the 4-lane loads.
constexpr std::size_t kMidSlack = 4;

// One output row from the combined row: `Channels` bytes a pixel into out.
// FixedTaps is the spans' common length (PadTaps), or 0 for any length.
template <int PixelBytes, int Channels, int FixedTaps>
void FilterRow(const std::int16_t* mid, const Taps& taps, BYTE* out) {
  static_assert(Channels == 3 || Channels == 4);
  constexpr int kDown = kWeightBits + kMidBits;
  const std::uint16_t* weights = taps.weights.data();
  const std::int16_t* base = mid - static_cast<std::ptrdiff_t>(taps.lowest) * PixelBytes;
#if defined(__SSE2__)
  // Each pixel's (up to) four channels in one register; two taps a step
  // through a 16-bit multiply-add.
  const __m128i half = _mm_set1_epi32(1 << (kDown - 1));
  const auto pixel = [&](const Taps::Span& span) {
    const std::int16_t* p = base + static_cast<std::ptrdiff_t>(span.first) * PixelBytes;
    const std::uint16_t* w = weights + span.offset;
    const INT count = FixedTaps ? FixedTaps : span.count;
    __m128i sum = half;
    INT k = 0;
    for (; k + 1 < count; k += 2, p += 2 * PixelBytes) {
      const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
      const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + PixelBytes));
      // Two neighbouring weights read as one word: the (w[k], w[k + 1]) pair.
      std::int32_t pair;
      std::memcpy(&pair, w + k, sizeof pair);
      sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), _mm_set1_epi32(pair)));
    }
    if (k < count) {
      const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
      sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi16(a, _mm_setzero_si128()), _mm_set1_epi32(w[k])));
    }
    const __m128i shifted = _mm_srai_epi32(sum, kDown);
    const __m128i words = _mm_packs_epi32(shifted, shifted);
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
  };
  // Whole 4-byte stores; for 3-byte pixels the spare byte lands on the next
  // pixel, written next, so only the last pixel stores 3.
  const std::size_t spans = taps.spans.size();
  for (std::size_t i = 0; i + 1 < spans; ++i, out += Channels) {
    const std::uint32_t bytes = pixel(taps.spans[i]);
    std::memcpy(out, &bytes, 4);
  }
  if (spans > 0) {
    const std::uint32_t bytes = pixel(taps.spans.back());
    std::memcpy(out, &bytes, Channels);
  }
#else
  constexpr std::uint32_t kHalf = 1u << (kDown - 1);
  for (const Taps::Span& span : taps.spans) {
    const std::int16_t* p = base + static_cast<std::ptrdiff_t>(span.first) * PixelBytes;
    const std::uint16_t* w = weights + span.offset;
    const INT count = FixedTaps ? FixedTaps : span.count;
    std::uint32_t s0 = kHalf, s1 = kHalf, s2 = kHalf, s3 = kHalf;
    for (INT k = 0; k < count; ++k, p += PixelBytes) {
      const std::uint32_t wk = w[k];
      s0 += wk * static_cast<std::uint32_t>(p[0]);
      s1 += wk * static_cast<std::uint32_t>(p[1]);
      s2 += wk * static_cast<std::uint32_t>(p[2]);
      if constexpr (Channels == 4) s3 += wk * static_cast<std::uint32_t>(p[3]);
    }
    out[0] = static_cast<BYTE>(s0 >> kDown);
    out[1] = static_cast<BYTE>(s1 >> kDown);
    out[2] = static_cast<BYTE>(s2 >> kDown);
    if constexpr (Channels == 4) out[3] = static_cast<BYTE>(s3 >> kDown);
    out += Channels;
  }
#endif
}

template <int PixelBytes, int Channels>
void FilterRowAnyTaps(const std::int16_t* mid, const Taps& taps, BYTE* out) {
  switch (taps.maxCount) {
    case 1:
      return FilterRow<PixelBytes, Channels, 1>(mid, taps, out);
    case 2:
      return FilterRow<PixelBytes, Channels, 2>(mid, taps, out);
    case 3:
      return FilterRow<PixelBytes, Channels, 3>(mid, taps, out);
    case 4:
      return FilterRow<PixelBytes, Channels, 4>(mid, taps, out);
    default:
      return FilterRow<PixelBytes, Channels, 0>(mid, taps, out);
  }
}

inline BYTE Scale255(unsigned v, unsigned by) {
  // v * by / 255, rounded, without a division.
  const unsigned t = v * by + 128;
  return static_cast<BYTE>((t + (t >> 8)) >> 8);
}

// Stores `count` resampled pixels into a target row.
void StorePixels(const BYTE* in, int channels, INT count, PixelFormat format, BYTE* out) {
  const int targetBytes = format == PixelFormat24bppRGB ? 3 : 4;
  if (channels == 3) {
    for (INT i = 0; i < count; ++i, in += 3, out += targetBytes) {
      out[0] = in[0], out[1] = in[1], out[2] = in[2];
      if (targetBytes == 4) out[3] = 255;
    }
    return;
  }
  // Premultiplied source over the target.
  for (INT i = 0; i < count; ++i, in += 4, out += targetBytes) {
    const unsigned a = in[3];
    const unsigned keep = 255 - a;
    if (format == PixelFormat32bppARGB) {
      const unsigned da = out[3];
      const unsigned resultA = a + Scale255(da, keep);
      for (int c = 0; c < 3; ++c) {
        const unsigned premultiplied = in[c] + Scale255(Scale255(out[c], da), keep);
        out[c] = resultA ? static_cast<BYTE>(std::min(255u, (premultiplied * 255 + resultA / 2) / resultA)) : 0;
      }
      out[3] = static_cast<BYTE>(resultA);
      continue;
    }
    for (int c = 0; c < 3; ++c) out[c] = static_cast<BYTE>(std::min(255u, in[c] + unsigned{Scale255(out[c], keep)}));
    if (format == PixelFormat32bppPARGB) out[3] = static_cast<BYTE>(std::min(255u, a + unsigned{Scale255(out[3], keep)}));
    else if (targetBytes == 4) out[3] = 255;
  }
}

bool Drawable(PixelFormat format) {
  return format == PixelFormat24bppRGB || format == PixelFormat32bppRGB || format == PixelFormat32bppARGB ||
         format == PixelFormat32bppPARGB;
}

// Draws the whole source onto [left, right) x [top, bottom) of the target;
// right < left or bottom < top mirror the picture.
GpStatus DrawRect(GpBitmap& target, const GpBitmap& sourceIn, std::int64_t left, std::int64_t top,
                  std::int64_t right, std::int64_t bottom) {
  if (target.lock.active || sourceIn.lock.active) return WrongState;
  const bool flipX = right < left;
  const bool flipY = bottom < top;
  if (flipX) std::swap(left, right);
  if (flipY) std::swap(top, bottom);
  const INT fromX = static_cast<INT>(std::max<std::int64_t>(left, 0));
  const INT toX = static_cast<INT>(std::min<std::int64_t>(right, target.width));
  const INT fromY = static_cast<INT>(std::max<std::int64_t>(top, 0));
  const INT toY = static_cast<INT>(std::min<std::int64_t>(bottom, target.height));
  if (fromX >= toX || fromY >= toY) return Ok;

  // Drawing a bitmap onto itself reads from a copy.
  std::unique_ptr<GpBitmap> copy;
  if (&target == &sourceIn) {
    GpBitmap* cloned = nullptr;
    const GpStatus status = GdipCloneBitmapAreaI(0, 0, sourceIn.width, sourceIn.height, sourceIn.format,
                                                 const_cast<GpBitmap*>(&sourceIn), &cloned);
    if (status != Ok) return status;
    copy.reset(cloned);
  }
  const GpBitmap& source = copy ? *copy : sourceIn;

  Taps across = BuildTaps(source.width, left, right - left, flipX, fromX, toX);
  if (across.maxCount <= 4) PadTaps(across);
  const Taps down = BuildTaps(source.height, top, bottom - top, flipY, fromY, toY);
  RowSource rows(source, across.lowest, across.highest, down.maxCount);
  const int pixelBytes = rows.pixelBytes();
  const int channels = rows.channels();
  const std::size_t length = static_cast<std::size_t>(across.highest - across.lowest) * pixelBytes;
  std::vector<std::int16_t> mid(length + kMidSlack);
  std::vector<std::uint32_t> acc(down.maxCount > 3 ? length : 0);
  std::vector<const BYTE*> taps(static_cast<std::size_t>(down.maxCount));
  const INT visible = toX - fromX;
  std::vector<BYTE> out(static_cast<std::size_t>(visible) * channels);
  const int targetBytes = FormatBits(target.format) / 8;
  // Opaque pixels onto a 24-bit target go straight into its rows.
  const bool straight = channels == 3 && target.format == PixelFormat24bppRGB;

  for (INT y = fromY; y < toY; ++y) {
    const Taps::Span& span = down.spans[static_cast<std::size_t>(y - fromY)];
    for (INT k = 0; k < span.count; ++k) taps[static_cast<std::size_t>(k)] = rows.Row(span.first + k);
    CombineRows(taps.data(), down.weights.data() + span.offset, span.count, length, mid.data(), acc.data());
    BYTE* targetRow = target.Row(y) + static_cast<std::size_t>(fromX) * targetBytes;
    BYTE* filtered = straight ? targetRow : out.data();
    if (pixelBytes == 3)
      FilterRowAnyTaps<3, 3>(mid.data(), across, filtered);
    else if (channels == 3)
      FilterRowAnyTaps<4, 3>(mid.data(), across, filtered);
    else
      FilterRowAnyTaps<4, 4>(mid.data(), across, filtered);
    if (!straight) StorePixels(out.data(), channels, visible, target.format, targetRow);
  }
  return Ok;
}

bool Representable(float v) { return std::isfinite(v) && std::fabs(v) < 1e9f; }

}  // namespace

GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics) {
  if (!image || !graphics) return InvalidParameter;
  *graphics = nullptr;
  GpBitmap* target = FromImage(image);
  if (!Drawable(target->format)) return NotImplemented;
  *graphics = new GpGraphics{target};
  return Ok;
}

GpStatus GdipDeleteGraphics(GpGraphics* graphics) {
  if (!graphics) return InvalidParameter;
  delete graphics;
  return Ok;
}

GpStatus GdipDrawImagePoints(GpGraphics* graphics, GpImage* image, const GpPointF* points, INT count) {
  if (!graphics || !graphics->target || !image || !points) return InvalidParameter;
  if (count != 3) return InvalidParameter;
  for (int i = 0; i < 3; ++i)
    if (!Representable(points[i].X) || !Representable(points[i].Y)) return ValueOverflow;
  // Only rectangles (possibly mirrored) are drawn; a rotated or sheared
  // parallelogram is not.
  if (points[1].Y != points[0].Y || points[2].X != points[0].X) return NotImplemented;
  const auto edge = [](float v) { return static_cast<std::int64_t>(std::lround(v)); };
  return DrawRect(*graphics->target, *FromImage(image), edge(points[0].X), edge(points[0].Y), edge(points[1].X),
                  edge(points[2].Y));
}

GpStatus GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, INT x, INT y, INT width, INT height) {
  if (graphics && graphics->surface && image) return DrawOnSurface(graphics->surface, image, x, y, width, height);
  if (!graphics || !graphics->target || !image) return InvalidParameter;
  return DrawRect(*graphics->target, *FromImage(image), x, y, std::int64_t{x} + width, std::int64_t{y} + height);
}
