// Picture files written in code for the tests: JPEG, PNG, GIF and TIFF
// through their libraries, BMP byte by byte. Each Write* returns false when
// the file could not be written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdiplus.h"

namespace testsupport {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// The colour of pixel (x, y), top row 0.
using Pattern = std::function<Rgb(int x, int y)>;
Pattern Solid(Rgb colour);
// Smooth ramps in each channel: red across, green down, blue diagonal.
Pattern Gradient(int width, int height);
// Squares of `cell` pixels alternating between a and b.
Pattern Checker(int cell, Rgb a, Rgb b);

// Rows of blue, green, red bytes, top row first, no padding.
std::vector<std::uint8_t> PatternBgr(int width, int height, const Pattern& pattern);

enum class JpegSampling { k444, k420, kGrey };
bool WriteJpeg(const std::string& path, int width, int height, const Pattern& pattern, int quality = 95,
               JpegSampling sampling = JpegSampling::k444, bool progressive = false);

struct PngImage {
  int width = 0;
  int height = 0;
  int colorType = 2;  // PNG_COLOR_TYPE_*: 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
  int bitDepth = 8;
  bool interlaced = false;
  // Rows as PNG stores them before filtering: packed samples, 16-bit
  // samples big-endian, top row first, no padding.
  std::vector<std::uint8_t> rows;
  std::vector<Rgb> palette;
  std::vector<std::uint8_t> paletteAlpha;  // tRNS for palettes
  int transparentGrey = -1;                // tRNS for grey
};
bool WritePng(const std::string& path, const PngImage& image);
// An 8-bit RGB PNG of the pattern.
bool WritePngRgb(const std::string& path, int width, int height, const Pattern& pattern);

struct GifImage {
  int screenWidth = 0;
  int screenHeight = 0;
  int left = 0, top = 0, width = 0, height = 0;  // the first frame
  std::vector<std::uint8_t> indices;            // width * height, top row first
  std::vector<Rgb> palette;                     // 2..256 entries, power of two
  int transparent = -1;
  bool interlaced = false;
  int extraFrames = 0;  // further frames of index 0 after the first
};
bool WriteGif(const std::string& path, const GifImage& image);

struct TiffImage {
  int width = 0;
  int height = 0;
  int samples = 1;
  int bits = 8;
  int photometric = 1;  // PHOTOMETRIC_*
  int planar = 1;       // PLANARCONFIG_CONTIG
  int compression = 1;  // COMPRESSION_NONE
  int tile = 0;         // tile edge in pixels, 0 for strips
  std::vector<std::uint16_t> extraSamples;
  // Scanlines as libtiff takes them (samples packed, 16-bit native order),
  // top row first; for separate planes all rows of plane 0, then plane 1...
  std::vector<std::uint8_t> rows;
  // 1 << bits entries of each colour for palettes.
  std::vector<std::uint16_t> red, green, blue;
  bool omitPhotometric = false;
};
bool WriteTiff(const std::string& path, const TiffImage& image);
bool WriteTiffGrey16(const std::string& path, int width, int height, const std::vector<std::uint16_t>& samples);
bool WriteTiffGrey8(const std::string& path, int width, int height, const std::vector<std::uint8_t>& samples);
bool WriteTiffRgb(const std::string& path, int width, int height, const Pattern& pattern);
// Sets a SHORT or LONG tag of the first directory of a little-endian TIFF
// held in memory (to make it lie); false when the tag is not there.
bool PatchTiffTag(std::vector<std::uint8_t>& bytes, int tag, std::uint32_t value);

struct BmpImage {
  int width = 0;
  int height = 0;  // negative: rows stored from the top
  int bitCount = 24;
  std::uint32_t compression = 0;  // BI_RGB
  int headerSize = 40;            // 12 (core), 40, 108, 124
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  std::vector<std::uint32_t> masks;    // red, green, blue[, alpha] for bit fields
  // The pixel bytes as stored (padded rows in file order, or RLE codes).
  std::vector<std::uint8_t> bits;
};
std::vector<std::uint8_t> MakeBmp(const BmpImage& image);
bool WriteBmp(const std::string& path, const BmpImage& image);
// Rows for an uncompressed BMP: value(x, y) gives the pixel (top row 0)
// packed in bitCount bits, written little-endian; rows padded to 4 bytes and
// stored bottom-up unless topDown.
std::vector<std::uint8_t> BmpRows(int width, int height, int bitCount, bool topDown,
                                  const std::function<std::uint32_t(int x, int y)>& value);
// A 24-bit bottom-up BMP of the pattern.
bool WriteBmpRgb(const std::string& path, int width, int height, const Pattern& pattern);

// The bitmap locked for reading in `format` (PixelFormat24bppRGB or
// 32bppRGB), rows from the top without padding; empty when the lock fails.
std::vector<std::uint8_t> LockedPixels(GpBitmap* bitmap, PixelFormat format);

}  // namespace testsupport
