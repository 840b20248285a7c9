// The layout every bitmap of the platform layer shares, and the limits that
// keep a forged header from asking for unbounded memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dib {

// Pixel buffers above this are refused before anything is allocated.
constexpr std::int64_t kMaxPixelBytes = std::int64_t{1} << 30;

// A stream format (the BITMAPINFOHEADER and what follows it) larger than this
// is not a video format. The AVI writer, the reader and the frame decoder
// share it, so a format that can be written can also be read and decoded.
constexpr std::size_t kMaxFormatBytes = std::size_t{16} << 20;

// Bytes from one row to the next: width pixels of bitCount bits, padded to a
// multiple of 4 bytes.
constexpr std::int64_t Stride(std::int64_t width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

// True when width x height pixels of bitCount bits are a positive size whose
// rows stay within kMaxPixelBytes; never overflows, whatever a header claims.
constexpr bool Fits(std::int64_t width, std::int64_t height, int bitCount) {
  return width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX && bitCount > 0 && bitCount <= 64 &&
         Stride(width, bitCount) <= kMaxPixelBytes / height;
}

}  // namespace dib
