#include "platform/gdip/resample_taps.h"

namespace gdip::resample {

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

}  // namespace gdip::resample
