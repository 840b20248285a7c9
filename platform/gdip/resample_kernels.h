// The resampler's pixel loops: rows combined vertically into 16-bit
// samples (vectorised, with an AVX2 build chosen at run time) and combined
// rows filtered horizontally (SSE2 multiply-adds). Integer only; called for
// each output row. Internal to platform/gdip.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/gdip/resample_taps.h"
#include "platform/wintypes.h"

namespace gdip::resample {

// The combined rows keep 7 fraction bits, so they fit signed 16-bit lanes
// (255 << 7 = 32640) and the horizontal filter can multiply-add pairs.
constexpr int kMidBits = 7;
constexpr int kMidMax = 255 << kMidBits;

// Elements read past the last pixel of a combined row by the 4-lane loads.
constexpr std::size_t kMidSlack = 4;

// mid[x] = weighted sum of `count` rows at x (weights w), scaled by
// 2^kMidBits, for x < length. acc holds length values when count > 3.
void CombineRows(const BYTE* const* rows, const std::uint16_t* w, INT count, std::size_t length,
                 std::int16_t* mid, std::uint32_t* acc);

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

// One row filtered horizontally from a combined row `mid` (pixelBytes 3 or
// 4 a pixel from column taps.lowest): `channels` values a pixel into out,
// bytes or combined samples with kMidBits fraction bits.
void FilterRowAnyFormat(int pixelBytes, int channels, const std::int16_t* mid, const Taps& taps, BYTE* out);
void FilterRowAnyFormat(int pixelBytes, int channels, const std::int16_t* mid, const Taps& taps,
                        std::int16_t* out);

}  // namespace gdip::resample
