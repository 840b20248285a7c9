// The colour description of an MPEG-4 Part 2 stream lives in its visual
// object header (video_signal_type), which libavcodec's encoder writes
// without one. This amends that header in a packet. Internal to platform/codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codec {

// Code points as ISO/IEC 23091-2 numbers them (the same in H.264's VUI).
struct VideoColour {
  std::uint8_t primaries;
  std::uint8_t transfer;
  std::uint8_t matrix;
  bool fullRange;
};
// BT.601 matrix at limited range, from sRGB pictures (BT.709 primaries and
// transfer): what libswscale makes of our RGB frames.
constexpr VideoColour kBt601Limited{1, 1, 6, false};

// When the packet holds a visual object header for video that states no
// signal type, `out` receives the packet with that header stating `colour`,
// and the result is true. Otherwise false, and `out` is left alone.
[[nodiscard]] bool SignalColour(const std::uint8_t* data, std::size_t size, const VideoColour& colour,
                                std::vector<std::uint8_t>* out);

}  // namespace codec
