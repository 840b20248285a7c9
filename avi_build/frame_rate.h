// Frame rates as the FPS box and --fps take them (whole numbers, decimals,
// fractions) and as a stream header stores them (dwRate / dwScale).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace avi_build {

struct FrameRate {
  std::uint32_t rate = 10;  // dwRate
  std::uint32_t scale = 1;  // dwScale
};

// Reads "25", "29.97", "0.5", "30000/1001" after any blanks. The NTSC rates
// 29.97, 23.976 and 59.94 become x000/1001; another decimal its exact
// fraction when the scale stays within 1000, else the nearest such one; a
// fraction is kept reduced. False for text that starts with no positive
// rate that fits 32 bits. With `prefix`, what follows the number is ignored
// (as the dialog's boxes read "12abc"); without, it must be blank.
[[nodiscard]] bool ParseFrameRate(std::string_view text, FrameRate* out, bool prefix = false);

// The rate as the FPS box shows it: "25", "29.97", "2.5", else "rate/scale".
std::string FrameRateText(std::uint32_t rate, std::uint32_t scale);

}  // namespace avi_build
