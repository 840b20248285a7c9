// Composing one loaded picture into the fixed-size frame that a Make-AVI job
// compresses and writes: stretched over the whole frame, or clipped (centred
// on black when smaller, its middle cut out when larger).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/dib/layout.h"
#include "platform/gdiplus.h"
#include "platform/wintypes.h"

namespace avi_build {

// Bytes per frame row: 3 × cols rounded up to a multiple of 4.
constexpr std::int32_t FrameStride(std::int32_t cols) { return static_cast<std::int32_t>(dib::Stride(cols, 24)); }

// The 40-byte header of a bottom-up 24-bit frame of cols × rows pixels.
BITMAPINFOHEADER FrameHeader(std::int32_t cols, std::int32_t rows);

// The frame: bottom-up rows of blue, green, red; row padding holds 0.
struct FrameBuffer {
  BITMAPINFOHEADER header{};
  std::int32_t stride = 0;
  std::unique_ptr<std::uint8_t[]> pixels;  // header.biHeight × stride bytes

  // Sizes and allocates the frame; false when the memory cannot be had.
  [[nodiscard]] bool Make(std::int32_t cols, std::int32_t rows);
  std::size_t size() const { return std::size_t(header.biSizeImage); }
};

// What a stretched picture is drawn onto: a blank frame-sized 24-bit canvas
// and the destination corners (upper-left, upper-right, lower-left). One
// composition at a time may use a target: its canvas is locked while it is
// copied into the frame.
struct StretchTarget {
  std::unique_ptr<Bitmap> canvas;  // null when the canvas could not be made
  GpPointF points[3]{};

  void Make(std::int32_t cols, std::int32_t rows);
};

enum class ComposeResult { Composed, Skipped };

// The placement ComposeFrame's `clip` names beside 0 (stretched) and 1
// (clipped): the whole picture scaled with its proportions kept to the
// largest size the frame holds, centred on black.
constexpr std::int32_t kPlaceFit = 2;

struct FitArea {
  std::int32_t x, y, width, height;  // from the frame's top-left corner
  bool operator==(const FitArea&) const = default;
};
// Where a width x height picture goes in a cols x rows frame when fitted:
// one side fills the frame, the other is rounded to the nearest pixel (at
// least 1), and the margins split with the odd pixel right or below.
FitArea FitPlacement(std::int64_t width, std::int64_t height, std::int32_t cols, std::int32_t rows);

// Fills frame from picture (disposed before return, whatever the result).
// Skipped: the pixels are not to be used (the picture could not be locked or
// the working copy of the canvas could not be made).
// clip: 0 stretched (target's canvas), 1 clipped, kPlaceFit fitted.
[[nodiscard]] ComposeResult ComposeFrame(std::unique_ptr<Bitmap> picture, std::int32_t clip,
                                         const StretchTarget& target, FrameBuffer& frame);

}  // namespace avi_build
