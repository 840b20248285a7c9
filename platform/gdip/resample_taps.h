// The resampler's taps: for each destination pixel along one axis, the
// source pixels it reads and their weights. Area averaging where the axis
// shrinks, bilinear interpolation where it grows; weights are 14-bit fixed
// point. Internal to platform/gdip.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/wintypes.h"

namespace gdip::resample {

constexpr int kWeightBits = 14;
constexpr std::uint32_t kOne = 1u << kWeightBits;

// Spans of more taps than this are averaged as plain sums with fractional
// edges: 14-bit weights of 1/count each would weigh their pixels unevenly,
// and past 16384 taps some would be zero and skip their pixels.
constexpr INT kLongSpan = 64;
constexpr int kEdgeBits = 16;  // the edge pixels' share of a long span
// Weights built at a time along the vertical axis.
constexpr double kBlockTaps = 1 << 16;

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
Taps BuildTaps(const Axis& axis, INT from, INT to);

// Widens every span to the longest one with zero weights, kept inside
// [lowest, highest), so the horizontal filter runs a fixed number of taps.
void PadTaps(Taps& taps);

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

}  // namespace gdip::resample
