// Graphics on a bitmap and the resampler behind GdipDrawImagePoints: the
// whole source onto an axis-aligned rectangle, each axis on its own, with
// area averaging where it shrinks and bilinear interpolation where it
// grows. Weights are 14-bit fixed point; the pixel loops are integer only.
//
// Pictures of ordinary shape have their rows combined vertically first
// (contiguous, vectorisable), then each output row filtered horizontally.
// That reads the picture's whole width once per output row, so a picture
// whose shape is far from the target's (10,000,000 x 1 onto 1280 x 1024) is
// filtered horizontally first instead, each source row once. Either way the
// work goes in strips of bounded source width and the weights are built a
// block at a time, so time and memory grow with the picture's pixels plus
// the target's, whatever the shapes.
#include "platform/gdip/draw.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/gdip/bitmap.h"

using namespace gdip;

namespace {

constexpr int kWeightBits = 14;
constexpr std::uint32_t kOne = 1u << kWeightBits;

// Spans of more taps than this are averaged as plain sums with fractional
// edges: 14-bit weights of 1/count each would weigh their pixels unevenly,
// and past 16384 taps some would be zero and skip their pixels.
constexpr INT kLongSpan = 64;
constexpr int kEdgeBits = 16;  // the edge pixels' share of a long span

// Source columns a strip reads, and source pixels the row ring of a strip
// holds for formats converted on the fly.
constexpr double kStripPixels = 1 << 16;
constexpr double kRingPixels = 1 << 18;
// Weights built at a time along the vertical axis.
constexpr double kBlockTaps = 1 << 16;

thread_local DrawReport t_report;

// Destination [destStart, destStart + destLength) shows source [0,
// sourceLength), mirrored when flip.
struct Axis {
  INT sourceLength;
  std::int64_t destStart;
  std::int64_t destLength;
  bool flip;

  double Scale() const { return static_cast<double>(sourceLength) / static_cast<double>(destLength); }
  bool Shrinks() const { return sourceLength > destLength; }
  // Most taps a destination index can read: an averaged span covers at most
  // two partial source pixels beyond its whole ones.
  INT MaxTaps() const {
    if (!Shrinks()) return sourceLength == destLength ? 1 : 2;
    return static_cast<INT>(std::min<double>(sourceLength, std::ceil(Scale()) + 2));
  }
  // Taps a destination index reads on average, for cost estimates.
  double TapsPerIndex() const { return Shrinks() ? Scale() + 1 : sourceLength == destLength ? 1 : 2; }
  // Source indices that `count` neighbouring destination indices read.
  double SourceSpan(double count) const { return std::min<double>(sourceLength, count * Scale() + 2); }
  // Destination indices whose taps read about `budget` source indices, or
  // store about `budget` weights.
  INT Block(double budget, double perIndex, INT remaining) const {
    return static_cast<INT>(std::clamp(std::floor(budget / perIndex), 1.0, static_cast<double>(remaining)));
  }
};

// For each destination index of a range: the source span it reads and the
// weights (summing to kOne) of each source index in that span. A long span
// has no weights of its own: every whole pixel in it weighs the same, and
// only its two edge pixels are partial.
struct Taps {
  struct Span {
    INT first;
    INT count;
    INT offset;  // into weights, or into edges for a long span
  };
  struct Edges {
    std::uint32_t head;  // the first and last pixels' weights, in 2^-kEdgeBits
    std::uint32_t tail;
    double inverse;      // 1 / the total weight of the span
  };
  std::vector<Span> spans;
  std::vector<std::uint16_t> weights;
  std::vector<Edges> edges;
  INT maxCount = 0;
  INT lowest = 0;   // source indices read: [lowest, highest)
  INT highest = 0;
  std::int64_t reads = 0;  // source indices read over all spans
};

// Taps for destination [from, to) of the axis.
Taps BuildTaps(const Axis& axis, INT from, INT to) {
  const INT sourceLength = axis.sourceLength;
  const std::int64_t destLength = axis.destLength;
  Taps taps;
  taps.spans.reserve(static_cast<std::size_t>(to - from));
  taps.lowest = sourceLength;
  const double scale = axis.Scale();
  std::vector<double> exact;
  const auto add = [&taps](INT first, INT count, INT offset) {
    taps.spans.push_back({first, count, offset});
    taps.maxCount = std::max(taps.maxCount, count);
    taps.lowest = std::min(taps.lowest, first);
    taps.highest = std::max(taps.highest, first + count);
    taps.reads += count;
  };
  for (INT i = from; i < to; ++i) {
    std::int64_t r = i - axis.destStart;
    if (axis.flip) r = destLength - 1 - r;
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
      const auto overlap = [a, b](INT k) {
        return std::max(0.0, std::min(b, k + 1.0) - std::max(a, static_cast<double>(k)));
      };
      if (end - first > kLongSpan) {
        const auto edge = [](double share) {
          return static_cast<std::uint32_t>(std::lround(std::min(share, 1.0) * (1 << kEdgeBits)));
        };
        const std::uint32_t head = edge(overlap(first));
        const std::uint32_t tail = edge(overlap(end - 1));
        const double total = head + tail + static_cast<double>(end - first - 2) * (1 << kEdgeBits);
        taps.edges.push_back({head, tail, 1.0 / total});
        add(first, end - first, static_cast<INT>(taps.edges.size() - 1));
        continue;
      }
      for (INT k = first; k < end; ++k) exact.push_back(overlap(k) / scale);
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
    add(first, static_cast<INT>(exact.size()), offset);
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
  taps.reads = static_cast<std::int64_t>(taps.spans.size()) * n;
}

// Taps along an axis, built a block of destination indices at a time as
// they are asked for in increasing order, so a tall picture's vertical taps
// never all exist at once.
class TapCursor {
 public:
  TapCursor(const Axis& axis, INT to) : m_axis(axis), m_to(to) {}

  // The span of destination index i and the taps it lies in.
  const Taps::Span& At(INT i) {
    if (i < m_begin || i >= m_end) {
      const double perIndex = m_axis.Shrinks() ? std::min<double>(m_axis.Scale() + 2, kLongSpan) : 2;
      m_begin = i;
      m_end = i + m_axis.Block(kBlockTaps, perIndex, m_to - i);
      m_taps = BuildTaps(m_axis, m_begin, m_end);
    }
    return m_taps.spans[static_cast<std::size_t>(i - m_begin)];
  }
  const Taps& taps() const { return m_taps; }

 private:
  Axis m_axis;
  INT m_to;
  INT m_begin = 0;
  INT m_end = 0;
  Taps m_taps;
};

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
        m_channels = Opaque(source) ? 3 : 4;
        m_direct = false;
        m_ring.resize(static_cast<std::size_t>(ringRows) * m_width * 4);
        m_tags.assign(static_cast<std::size_t>(ringRows), -1);
    }
  }
  static bool Direct(const GpBitmap& source) {
    return source.format == PixelFormat24bppRGB || source.format == PixelFormat32bppRGB ||
           source.format == PixelFormat32bppPARGB;
  }
  static bool Opaque(const GpBitmap& source) {
    if (source.format == PixelFormat32bppPARGB) return false;
    return !HasAlpha(source.format) && !(IsIndexed(source.format) && PaletteHasAlpha(source));
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
constexpr int kMidMax = 255 << kMidBits;

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

// The rows of a long span summed into `wide` (in 2^-kEdgeBits of a sample),
// one at a time, as `row(k)` gives them: the first and last weighed by their
// edges, the rest whole.
template <typename Sample, typename RowAt>
void SumLongSpan(const Taps::Span& span, const Taps::Edges& edges, std::size_t length, RowAt row,
                 std::uint64_t* wide) {
  const Sample* head = row(0);
  for (std::size_t x = 0; x < length; ++x) wide[x] = std::uint64_t{edges.head} * static_cast<std::uint32_t>(head[x]);
  for (INT k = 1; k + 1 < span.count; ++k) {
    const Sample* whole = row(k);
    for (std::size_t x = 0; x < length; ++x)
      wide[x] += std::uint64_t{static_cast<std::uint32_t>(whole[x])} << kEdgeBits;
  }
  const Sample* tail = row(span.count - 1);
  for (std::size_t x = 0; x < length; ++x) wide[x] += std::uint64_t{edges.tail} * static_cast<std::uint32_t>(tail[x]);
}

// One long span's average of `wide`, times `factor`, rounded and capped.
template <typename Out>
void FinishLongSpan(const std::uint64_t* wide, const Taps::Edges& edges, double factor, int most, std::size_t length,
                    Out* out) {
  const double by = edges.inverse * factor;
  for (std::size_t x = 0; x < length; ++x)
    out[x] = static_cast<Out>(std::min(most, static_cast<int>(static_cast<double>(wide[x]) * by + 0.5)));
}

// Elements read past the last pixel of a combined row by the 4-lane loads.
constexpr std::size_t kMidSlack = 4;

// One output pixel of a long span of a combined row: its channels into out.
template <int PixelBytes, int Channels, typename Out>
void LongPixel(const std::int16_t* p, const Taps::Span& span, const Taps::Edges& edges, Out* out) {
  std::uint64_t whole[4] = {0, 0, 0, 0};
  const INT last = span.count - 1;
#if defined(__SSE2__)
  // 32-bit lanes hold 65536 samples of at most 32640 before they must be
  // carried into the 64-bit sums.
  const __m128i zero = _mm_setzero_si128();
  for (INT k = 1; k < last;) {
    const INT stop = std::min<INT>(last, k + 65536);
    __m128i lanes = zero;
    for (; k < stop; ++k)
      lanes = _mm_add_epi32(lanes, _mm_unpacklo_epi16(
                                       _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + k * PixelBytes)), zero));
    alignas(16) std::uint32_t part[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(part), lanes);
    for (int c = 0; c < 4; ++c) whole[c] += part[c];
  }
#else
  for (INT k = 1; k < last; ++k)
    for (int c = 0; c < Channels; ++c) whole[c] += static_cast<std::uint32_t>(p[k * PixelBytes + c]);
#endif
  constexpr bool kToMid = std::is_same_v<Out, std::int16_t>;
  const double by = edges.inverse * (kToMid ? 1.0 : 1.0 / (1 << kMidBits));
  for (int c = 0; c < Channels; ++c) {
    const std::uint64_t total = std::uint64_t{edges.head} * static_cast<std::uint32_t>(p[c]) +
                                std::uint64_t{edges.tail} * static_cast<std::uint32_t>(p[last * PixelBytes + c]) +
                                (whole[c] << kEdgeBits);
    const int most = kToMid ? kMidMax : 255;
    out[c] = static_cast<Out>(std::min(most, static_cast<int>(static_cast<double>(total) * by + 0.5)));
  }
}

// One row filtered horizontally from a combined row: `Channels` values a
// pixel into out, bytes or (Out int16_t) combined samples with kMidBits
// fraction bits. FixedTaps is the spans' common length (PadTaps), or 0 for
// any length; Long when some span is long.
template <int PixelBytes, int Channels, int FixedTaps, bool Long, typename Out>
void FilterRow(const std::int16_t* mid, const Taps& taps, Out* out) {
  static_assert(Channels == 3 || Channels == 4);
  constexpr bool kToMid = std::is_same_v<Out, std::int16_t>;
  constexpr int kDown = kToMid ? kWeightBits : kWeightBits + kMidBits;
  const std::uint16_t* weights = taps.weights.data();
  const std::int16_t* base = mid - static_cast<std::ptrdiff_t>(taps.lowest) * PixelBytes;
  // Generic, so that it is only instantiated where Long.
  const auto longPixel = [&](const auto& span, auto* to) {
    LongPixel<PixelBytes, Channels>(base + static_cast<std::ptrdiff_t>(span.first) * PixelBytes, span,
                                    taps.edges[static_cast<std::size_t>(span.offset)], to);
  };
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
    return _mm_packs_epi32(shifted, shifted);
  };
  // Whole 4-channel stores; for 3-channel pixels the spare value lands on
  // the next pixel, written next, so only the last pixel stores 3.
  const auto store = [](__m128i words, Out* to, std::size_t values) {
    if constexpr (kToMid) {
      std::memcpy(to, &words, values * sizeof(Out));
    } else {
      const auto bytes = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
      std::memcpy(to, &bytes, values);
    }
  };
  const std::size_t spans = taps.spans.size();
  for (std::size_t i = 0; i + 1 < spans; ++i, out += Channels) {
    const Taps::Span& span = taps.spans[i];
    if constexpr (Long) {
      if (span.count > kLongSpan) {
        longPixel(span, out);
        continue;
      }
    }
    store(pixel(span), out, 4);
  }
  if (spans > 0) {
    const Taps::Span& span = taps.spans.back();
    if constexpr (Long) {
      if (span.count > kLongSpan) return longPixel(span, out);
    }
    store(pixel(span), out, Channels);
  }
#else
  constexpr std::uint32_t kHalf = 1u << (kDown - 1);
  for (const Taps::Span& span : taps.spans) {
    if constexpr (Long) {
      if (span.count > kLongSpan) {
        longPixel(span, out);
        out += Channels;
        continue;
      }
    }
    const std::int16_t* p = base + static_cast<std::ptrdiff_t>(span.first) * PixelBytes;
    const std::uint16_t* w = weights + span.offset;
    const INT count = FixedTaps ? FixedTaps : span.count;
    std::uint32_t s[4] = {kHalf, kHalf, kHalf, kHalf};
    for (INT k = 0; k < count; ++k, p += PixelBytes)
      for (int c = 0; c < Channels; ++c) s[c] += w[k] * static_cast<std::uint32_t>(p[c]);
    for (int c = 0; c < Channels; ++c) out[c] = static_cast<Out>(s[c] >> kDown);
    out += Channels;
  }
#endif
}

template <int PixelBytes, int Channels, typename Out>
void FilterRowAnyTaps(const std::int16_t* mid, const Taps& taps, Out* out) {
  switch (taps.maxCount) {
    case 1:
      return FilterRow<PixelBytes, Channels, 1, false>(mid, taps, out);
    case 2:
      return FilterRow<PixelBytes, Channels, 2, false>(mid, taps, out);
    case 3:
      return FilterRow<PixelBytes, Channels, 3, false>(mid, taps, out);
    case 4:
      return FilterRow<PixelBytes, Channels, 4, false>(mid, taps, out);
    default:
      if (taps.maxCount > kLongSpan) return FilterRow<PixelBytes, Channels, 0, true>(mid, taps, out);
      return FilterRow<PixelBytes, Channels, 0, false>(mid, taps, out);
  }
}

template <typename Out>
void FilterRowAnyFormat(int pixelBytes, int channels, const std::int16_t* mid, const Taps& taps, Out* out) {
  if (pixelBytes == 3)
    FilterRowAnyTaps<3, 3>(mid, taps, out);
  else if (channels == 3)
    FilterRowAnyTaps<4, 3>(mid, taps, out);
  else
    FilterRowAnyTaps<4, 4>(mid, taps, out);
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

// What both orders share: the source, the target and its visible area.
struct Job {
  GpBitmap& target;
  const GpBitmap& source;
  Axis across;
  Axis down;
  INT fromX, toX, fromY, toY;
  int channels;          // 3, or 4 with (premultiplied) alpha
  int targetBytes;
  bool straight;         // opaque pixels onto a 24-bit target go straight into its rows

  BYTE* TargetRow(INT y, INT x) { return target.Row(y) + static_cast<std::size_t>(x) * targetBytes; }
  void Store(const BYTE* pixels, INT y, INT x, INT count) {
    if (!straight) StorePixels(pixels, channels, count, target.format, TargetRow(y, x));
  }
};

// Destination columns of one strip.
INT StripColumns(const Job& job, double sourcePixels) {
  const double perColumn = job.across.Scale() + 2;
  return job.across.Block(sourcePixels, perColumn, job.toX - job.fromX);
}

// Rows combined first: for each output row its source rows are combined
// into one (over the strip's source columns), which is then filtered.
void DrawDownFirst(Job& job) {
  const INT ringRows = std::min(job.down.MaxTaps(), kLongSpan);
  const bool anyLong = job.down.MaxTaps() > kLongSpan;
  const double stripPixels =
      RowSource::Direct(job.source) ? kStripPixels : std::min(kStripPixels, kRingPixels / ringRows);
  const INT stripColumns = StripColumns(job, stripPixels);
  TapCursor down(job.down, job.toY);
  std::vector<std::int16_t> mid;
  std::vector<std::uint32_t> acc;
  std::vector<std::uint64_t> wide;
  std::vector<const BYTE*> spanRows(static_cast<std::size_t>(ringRows));
  std::vector<BYTE> out;
  for (INT x0 = job.fromX; x0 < job.toX; x0 += stripColumns) {
    const INT x1 = std::min(job.toX, x0 + stripColumns);
    Taps across = BuildTaps(job.across, x0, x1);
    if (across.maxCount <= 4) PadTaps(across);
    RowSource rows(job.source, across.lowest, across.highest, ringRows);
    const int pixelBytes = rows.pixelBytes();
    const std::size_t length = static_cast<std::size_t>(across.highest - across.lowest) * pixelBytes;
    mid.resize(length + kMidSlack);
    acc.resize(ringRows > 3 ? length : 0);
    wide.resize(anyLong ? length : 0);
    out.resize(static_cast<std::size_t>(x1 - x0) * job.channels);
    for (INT y = job.fromY; y < job.toY; ++y) {
      const Taps::Span& span = down.At(y);
      if (span.count > kLongSpan) {
        const Taps::Edges& edges = down.taps().edges[static_cast<std::size_t>(span.offset)];
        SumLongSpan<BYTE>(span, edges, length, [&](INT k) { return rows.Row(span.first + k); }, wide.data());
        FinishLongSpan(wide.data(), edges, 1 << kMidBits, kMidMax, length, mid.data());
      } else {
        for (INT k = 0; k < span.count; ++k) spanRows[static_cast<std::size_t>(k)] = rows.Row(span.first + k);
        CombineRows(spanRows.data(), down.taps().weights.data() + span.offset, span.count, length, mid.data(),
                    acc.data());
      }
      BYTE* filtered = job.straight ? job.TargetRow(y, x0) : out.data();
      FilterRowAnyFormat(pixelBytes, rows.channels(), mid.data(), across, filtered);
      job.Store(out.data(), y, x0, x1 - x0);
      t_report.samples += static_cast<std::uint64_t>(span.count) * length +
                          static_cast<std::uint64_t>(across.reads) * pixelBytes;
    }
  }
}

// Rows filtered first: each source row the output rows need is filtered to
// the strip's output columns once, and output rows combine those.
void DrawAcrossFirst(Job& job) {
  const INT stripColumns = StripColumns(job, kStripPixels);
  const bool backwards = job.down.flip;
  TapCursor down(job.down, job.toY);
  std::vector<std::int16_t> mid;
  std::vector<std::int16_t> filtered;
  std::vector<std::uint32_t> acc;
  std::vector<std::uint64_t> wide;
  std::vector<BYTE> out;
  for (INT x0 = job.fromX; x0 < job.toX; x0 += stripColumns) {
    const INT x1 = std::min(job.toX, x0 + stripColumns);
    Taps across = BuildTaps(job.across, x0, x1);
    if (across.maxCount <= 4) PadTaps(across);
    RowSource rows(job.source, across.lowest, across.highest, 1);
    const int pixelBytes = rows.pixelBytes();
    const std::size_t length = static_cast<std::size_t>(across.highest - across.lowest) * pixelBytes;
    const std::size_t lanes = static_cast<std::size_t>(x1 - x0) * job.channels;
    mid.resize(length + kMidSlack);
    // Two filtered rows: an enlarging span reads two neighbours, and
    // neighbouring spans share their edge row; taken in the order the output
    // rows walk the source, each source row is filtered once.
    filtered.resize(2 * lanes);
    INT tags[2] = {-1, -1};
    const auto filteredRow = [&](INT sy) {
      std::int16_t* slot = filtered.data() + static_cast<std::size_t>(sy & 1) * lanes;
      if (tags[sy & 1] != sy) {
        const BYTE* row = rows.Row(sy);
        const std::uint16_t one = kOne;
        CombineRows(&row, &one, 1, length, mid.data(), nullptr);
        FilterRowAnyFormat(pixelBytes, job.channels, mid.data(), across, slot);
        tags[sy & 1] = sy;
        t_report.samples += length + static_cast<std::uint64_t>(across.reads) * pixelBytes;
      }
      return static_cast<const std::int16_t*>(slot);
    };
    acc.resize(lanes);
    wide.resize(job.down.MaxTaps() > kLongSpan ? lanes : 0);
    out.resize(lanes);
    for (INT y = job.fromY; y < job.toY; ++y) {
      const Taps::Span& span = down.At(y);
      BYTE* to = job.straight ? job.TargetRow(y, x0) : out.data();
      if (span.count > kLongSpan) {
        // In index order even when mirrored: a long span refilters at most
        // its shared edge row.
        const Taps::Edges& edges = down.taps().edges[static_cast<std::size_t>(span.offset)];
        SumLongSpan<std::int16_t>(span, edges, lanes, [&](INT k) { return filteredRow(span.first + k); }, wide.data());
        FinishLongSpan(wide.data(), edges, 1.0 / (1 << kMidBits), 255, lanes, to);
      } else {
        constexpr int kDown = kWeightBits + kMidBits;
        const std::uint16_t* w = down.taps().weights.data() + span.offset;
        std::fill(acc.begin(), acc.end(), 1u << (kDown - 1));
        for (INT k = 0; k < span.count; ++k) {
          const INT at = backwards ? span.count - 1 - k : k;
          const std::int16_t* row = filteredRow(span.first + at);
          const std::uint32_t weight = w[at];
          for (std::size_t i = 0; i < lanes; ++i) acc[i] += weight * static_cast<std::uint32_t>(row[i]);
        }
        for (std::size_t i = 0; i < lanes; ++i) to[i] = static_cast<BYTE>(acc[i] >> kDown);
      }
      job.Store(out.data(), y, x0, x1 - x0);
      t_report.samples += static_cast<std::uint64_t>(span.count) * lanes;
    }
  }
}

// Draws the whole source onto [left, right) x [top, bottom) of the target;
// right < left or bottom < top mirror the picture.
GpStatus DrawRect(GpBitmap& target, const GpBitmap& sourceIn, std::int64_t left, std::int64_t top,
                  std::int64_t right, std::int64_t bottom) {
  t_report = {};
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

  const int channels = RowSource::Opaque(source) ? 3 : 4;
  Job job{target,
          source,
          Axis{source.width, left, right - left, flipX},
          Axis{source.height, top, bottom - top, flipY},
          fromX,
          toX,
          fromY,
          toY,
          channels,
          FormatBits(target.format) / 8,
          channels == 3 && target.format == PixelFormat24bppRGB};

  // Combining rows first reads the visible source width once per output
  // row; filtering first reads the visible source height once per output
  // column. Pictures of ordinary shape combine first: the orders round
  // differently, and the order must not change with a picture's size. Only
  // a shape far from the target's (where combining first would cost
  // several times more) is filtered first.
  const double visibleColumns = toX - fromX;
  const double visibleRows = toY - fromY;
  const double acrossTaps = visibleColumns * job.across.TapsPerIndex();
  const double downTaps = visibleRows * job.down.TapsPerIndex();
  const double downFirst = downTaps * job.across.SourceSpan(visibleColumns) + visibleRows * acrossTaps;
  const double acrossFirst = job.down.SourceSpan(visibleRows) * acrossTaps + downTaps * visibleColumns;
  if (4 * acrossFirst < downFirst)
    DrawAcrossFirst(job);
  else
    DrawDownFirst(job);
  return Ok;
}

bool Representable(float v) { return std::isfinite(v) && std::fabs(v) < 1e9f; }

}  // namespace

DrawReport gdip::LastDrawReport() { return t_report; }

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
