// How large the pictures a compressed stream's decoder makes may be. A
// stream's pictures may be as large as its format says, within the frame
// buffer's cap (dib::Fits): decoding one costs that picture once and the
// frame. A sample whose own header claims more than its format is held to
// about the format's size, so a small file cannot make the decoder allocate
// and touch far more than the frame it shows. Internal to platform/codec.
#pragma once

#include <algorithm>
#include <cstdint>

namespace codec {

// Pictures up to 4096 x 4096 are taken whatever the format says (formats
// that state a size other than their samples'), and up to this size a
// second picture decodes ahead and several decode at once on frame threads.
constexpr std::int64_t kAnyStreamPixels = std::int64_t{4096} * 4096;

// The most pixels a picture in a sample of a width x height stream may have:
// the format's size with room for the alignment decoders give their
// pictures (whole macroblocks, coding units, SIMD rows).
constexpr std::int64_t SamplePixelLimit(int width, int height) {
  constexpr std::int64_t kAlignment = 64;
  return std::max(kAnyStreamPixels, (std::int64_t{width} + kAlignment) * (std::int64_t{height} + kAlignment));
}

}  // namespace codec
