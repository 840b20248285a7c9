// Pictures and comparisons shared by the codec tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace codectest {

// A 24-bit input header for width x height, bottom-up unless topDown.
BITMAPINFOHEADER InputHeader(int width, int height, bool topDown = false);

// A 24-bit DIB's pixels (rows padded to 4 bytes, bottom-up unless topDown):
// smooth gradients with a square that moves with index, so neighbouring
// frames differ a little and every codec has something to code.
std::vector<std::uint8_t> MakeFrame(int width, int height, int index, bool topDown = false);
// Random bytes in the same layout: the worst case for every codec.
std::vector<std::uint8_t> MakeNoiseFrame(int width, int height, unsigned seed);

// The picture as rows from the top, 3 bytes per pixel, no padding.
std::vector<std::uint8_t> TopDownRows(const std::uint8_t* pixels, int width, int height, bool topDown = false);

// Peak signal-to-noise ratio of two pictures of the same size, in dB
// (1000 when equal).
double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

// The same for the pictures' brightness alone: what lossy codecs keep at
// every size (chroma subsampling blurs colour edges in tiny pictures).
double LumaPsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

// What a compressor makes of MakeFrame(width, height, i) for i = 0..count-1,
// through the calls the Make-AVI job makes (quality 8500).
struct Compressed {
  std::vector<std::uint8_t> format;
  std::vector<std::vector<std::uint8_t>> samples;
  std::vector<DWORD> flags;
};
Compressed CompressFrames(const char* fcc, int width, int height, int count);

// JPEG pictures for the Motion JPEG tests, through TurboJPEG.
// MakeFrame(width, height, index) with the given TJSAMP_ subsampling, quality
// 90 and the standard Huffman tables.
std::vector<std::uint8_t> MakeJpeg(int width, int height, int index, int subsampling);
// The same picture recoded progressive, losslessly.
std::vector<std::uint8_t> ProgressiveJpeg(const std::vector<std::uint8_t>& jpeg);
// The picture without its Huffman tables, marked as capture cards mark such
// samples (APP0 "AVI1"): the standard tables apply.
std::vector<std::uint8_t> WithoutHuffmanTables(const std::vector<std::uint8_t>& jpeg);

// A picture as a PNG file (8-bit RGB), through libavcodec's encoder; the
// picture is `rows` from the top, blue, green, red, no padding.
std::vector<std::uint8_t> EncodePng(const std::vector<std::uint8_t>& rows, int width, int height);

}  // namespace codectest
