// Colour channels of packed pixels (16-bit formats, bit fields) widened to
// 8 bits.
#pragma once

#include <bit>
#include <cstdint>

namespace dib {

// An n-bit channel value widened to 8 bits by repeating its bits, as
// libswscale does: 5 bits give (v << 3) | (v >> 2), so 16 becomes 132 and 31
// becomes 255. Channels wider than 8 bits keep their top 8; a channel of no
// bits reads 0.
constexpr std::uint8_t ExpandChannel(std::uint32_t value, int bits) {
  if (bits <= 0) return 0;
  if (bits >= 8) return static_cast<std::uint8_t>(value >> (bits - 8));
  std::uint32_t out = 0;
  for (int filled = 0; filled < 8; filled += bits) out |= (value << (8 - bits)) >> filled;
  return static_cast<std::uint8_t>(out);
}

// Where one channel lies in a pixel, from its bit-field mask.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;  // from the lowest to the highest bit of the mask

  constexpr Channel() = default;
  constexpr explicit Channel(std::uint32_t m)
      : mask(m), shift(m ? std::countr_zero(m) : 0), bits(m ? std::bit_width(m >> std::countr_zero(m)) : 0) {}

  // Whether the mask's bits are one run; a mask with gaps has no meaning of
  // its own, and readers may refuse it.
  constexpr bool contiguous() const { return std::popcount(mask) == bits; }
  // The channel of pixel widened to 8 bits, or `absent` when there is no mask.
  constexpr std::uint8_t Get(std::uint32_t pixel, std::uint8_t absent = 0) const {
    return mask ? ExpandChannel((pixel & mask) >> shift, bits) : absent;
  }
};

}  // namespace dib
