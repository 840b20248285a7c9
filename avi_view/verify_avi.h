// Reading a file just made back through the reader, to tell the user it
// holds what was composed: its index, its frame count and, when the
// compressor keeps every pixel, each frame's pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/vfw.h"

namespace avi_view {

// The MD5, in hex, of a packed 24-bit bottom-up DIB's pixels (after the
// header) taken as rows from the top, 3 bytes a pixel, no padding: what
// ffmpeg -pix_fmt bgr24 -f framemd5 gives for the same frame.
[[nodiscard]] std::string FrameMd5(const BITMAPINFOHEADER& header, const std::uint8_t* pixels);

// True when handler (a FourCC; 0 for uncompressed frames) gives back every
// pixel it was given, so that decoded frames can be compared exactly.
[[nodiscard]] bool KeepsEveryPixel(FOURCC handler);

struct Verification {
  bool ok = false;
  // "Verified N frames.", or one line for each thing that differs.
  std::string text;
};

// Opens path and checks that its video stream has `frames` frames, each with
// a readable sample in the index and the first a key frame; with md5s (one
// for each frame, from FrameMd5 of the frame composed) also that each frame
// decodes to the same MD5. Leaves nothing open.
[[nodiscard]] Verification VerifyAvi(const std::string& path, int frames, const std::vector<std::string>& md5s);

}  // namespace avi_view
