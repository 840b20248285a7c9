// How large a compressed stream's pictures may be for the data it holds, so
// that a small file cannot make a frame decoder allocate and touch memory far
// beyond its own size (a header claiming 16000 x 16000 over a few bytes),
// while genuine large pictures still decode. Uncompressed samples need no
// such guess: each must hold its whole picture. Internal to platform/codec.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace codec {

// Pictures up to 4096 x 4096 are taken whatever the stream holds.
constexpr std::int64_t kAnyStreamPixels = std::int64_t{4096} * 4096;

// Beyond that, the stream's samples must hold a byte for every 72 pixels of
// its pictures: FFmpeg's coarsest Motion JPEG of 8192 x 8192 holds 69.
constexpr std::int64_t kPixelsPerStreamByte = 72;

// The most pixels a picture of a stream whose samples hold streamBytes may have.
constexpr std::int64_t PixelLimit(std::uint64_t streamBytes) {
  constexpr auto kMostBytes = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / kPixelsPerStreamByte);
  return std::max(kAnyStreamPixels, static_cast<std::int64_t>(std::min(streamBytes, kMostBytes)) * kPixelsPerStreamByte);
}

}  // namespace codec
