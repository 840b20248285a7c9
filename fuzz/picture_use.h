// What the Make-AVI job does with a list entry, shared by the picture fuzz
// targets: the picture as the loader hands it out, checked against the
// loader's memory rule, then composed into a small frame both ways the job
// does it (its middle clipped into the frame, and stretched over it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "avi_build/frame_compose.h"
#include "platform/dib/layout.h"
#include "platform/gdiplus.h"
#include "platform/picture_probe.h"

namespace fuzz {

inline bool StartsWith(const std::uint8_t* data, std::size_t size, const char* magic, std::size_t length) {
  return size >= length && std::memcmp(data, magic, length) == 0;
}

inline bool IsTiff(const std::uint8_t* data, std::size_t size) {
  return StartsWith(data, size, "II*\0", 4) || StartsWith(data, size, "MM\0*", 4) ||
         StartsWith(data, size, "II+\0", 4) || StartsWith(data, size, "MM\0+", 4);
}

// Pictures whose header claims more pixel bytes than this are left out:
// with the sanitizers and coverage counters a picture of megapixels takes
// seconds to decode and compose, and it runs the code a small one runs.
// Headers that claim more than the loader then makes are still caught: the
// check below and libFuzzer's allocation limit see what was decoded.
// STILLWEAVER_FUZZ_PIXEL_BYTES sets another bound, for campaigns after the
// memory and time large pictures take.
inline std::uint64_t MaxProbedBytes() {
  static const std::uint64_t bound = [] {
    const char* text = std::getenv("STILLWEAVER_FUZZ_PIXEL_BYTES");
    return text && *text ? std::strtoull(text, nullptr, 10) : std::uint64_t{256} << 10;
  }();
  return bound;
}

// Whether the target goes on with the file at `path`: not when it claims a
// large picture.
inline bool WorthLoading(const char* path) {
  PictureProbe probe;
  if (!ProbePictureFile(path, &probe)) return true;  // the decoder may still make something of it
  return probe.pixelBytes <= MaxProbedBytes();
}

// The codecs refuse pictures over their pixel limit before decoding; a
// larger picture handed out means a decoder missed the check.
inline void CheckAdmitted(const Bitmap& picture, std::size_t /*fileBytes*/) {
  UINT width = 0, height = 0;
  PixelFormat format = PixelFormatUndefined;
  if (GdipGetImageWidth(picture.asImage(), &width) != Ok || GdipGetImageHeight(picture.asImage(), &height) != Ok ||
      GdipGetImagePixelFormat(picture.asImage(), &format) != Ok)
    __builtin_trap();
  // The second byte of a pixel format holds its bits per pixel.
  if (!dib::Fits(width, height, (format >> 8) & 0xFF)) __builtin_trap();
}

// Composes the picture into a small frame, clipped and stretched.
inline void Compose(std::unique_ptr<Bitmap> picture) {
  if (!picture || !picture->image()) return;
  constexpr std::int32_t kCols = 40, kRows = 30;
  static avi_build::FrameBuffer frame;
  static avi_build::StretchTarget target;
  if (!frame.pixels) {
    if (!frame.Make(kCols, kRows)) return;
    target.Make(kCols, kRows);
  }
  UINT width = 0, height = 0;
  if (GdipGetImageWidth(picture->asImage(), &width) != Ok || GdipGetImageHeight(picture->asImage(), &height) != Ok)
    __builtin_trap();
  // The middle of the picture straight into the frame's rows, converted to
  // 24 bits on the way.
  const std::int32_t w = std::min<std::int32_t>(static_cast<std::int32_t>(width), kCols);
  const std::int32_t h = std::min<std::int32_t>(static_cast<std::int32_t>(height), kRows);
  const GpRect area{(static_cast<std::int32_t>(width) - w) / 2, (static_cast<std::int32_t>(height) - h) / 2, w, h};
  BitmapData data{};
  data.Stride = frame.stride;
  data.Scan0 = frame.pixels.get();
  if (GdipBitmapLockBits(picture->image(), &area, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat24bppRGB,
                         &data) == Ok)
    (void)GdipBitmapUnlockBits(picture->image(), &data);
  (void)avi_build::ComposeFrame(std::move(picture), 0, target, frame);
}

}  // namespace fuzz
