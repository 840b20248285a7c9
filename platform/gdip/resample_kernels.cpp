#include "platform/gdip/resample_kernels.h"

#include <cstring>
#include <type_traits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gdip::resample {

namespace {

// The body of CombineRows, built once for any x86-64 and once for AVX2.
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
  // Held in locals: stores through a byte pointer `out` could alias the
  // vectors' own pointers, which would then be reloaded for every pixel.
  const std::uint16_t* weights = taps.weights.data();
  const Taps::Edges* edges = taps.edges.data();
  const Taps::Span* spans = taps.spans.data();
  const std::size_t spanCount = taps.spans.size();
  const std::int16_t* base = mid - static_cast<std::ptrdiff_t>(taps.lowest) * PixelBytes;
  // Generic, so that it is only instantiated where Long.
  const auto longPixel = [&](const auto& span, auto* to) {
    LongPixel<PixelBytes, Channels>(base + static_cast<std::ptrdiff_t>(span.first) * PixelBytes, span,
                                    edges[span.offset], to);
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
  for (std::size_t i = 0; i + 1 < spanCount; ++i, out += Channels) {
    const Taps::Span& span = spans[i];
    if constexpr (Long) {
      if (span.count > kLongSpan) {
        longPixel(span, out);
        continue;
      }
    }
    store(pixel(span), out, 4);
  }
  if (spanCount > 0) {
    const Taps::Span& span = spans[spanCount - 1];
    if constexpr (Long) {
      if (span.count > kLongSpan) return longPixel(span, out);
    }
    store(pixel(span), out, Channels);
  }
#else
  constexpr std::uint32_t kHalf = 1u << (kDown - 1);
  for (std::size_t i = 0; i < spanCount; ++i) {
    const Taps::Span& span = spans[i];
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
void FilterAnyFormat(int pixelBytes, int channels, const std::int16_t* mid, const Taps& taps, Out* out) {
  if (pixelBytes == 3)
    FilterRowAnyTaps<3, 3>(mid, taps, out);
  else if (channels == 3)
    FilterRowAnyTaps<4, 3>(mid, taps, out);
  else
    FilterRowAnyTaps<4, 4>(mid, taps, out);
}

}  // namespace

void CombineRows(const BYTE* const* rows, const std::uint16_t* w, INT count, std::size_t length,
                 std::int16_t* mid, std::uint32_t* acc) {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return CombineRowsAvx2(rows, w, count, length, mid, acc);
#endif
  CombineRowsPlain(rows, w, count, length, mid, acc);
}

void FilterRowAnyFormat(int pixelBytes, int channels, const std::int16_t* mid, const Taps& taps, BYTE* out) {
  FilterAnyFormat(pixelBytes, channels, mid, taps, out);
}

void FilterRowAnyFormat(int pixelBytes, int channels, const std::int16_t* mid, const Taps& taps,
                        std::int16_t* out) {
  FilterAnyFormat(pixelBytes, channels, mid, taps, out);
}

}  // namespace gdip::resample
