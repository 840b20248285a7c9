// Reads the first image of a TIFF file into memory, for the pictures the
// platform codecs refuse (16-bit grey above all). libtiff's own error and
// warning handlers stay in place.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

// Releases a raster's pixels.
struct RasterFree {
  void operator()(std::uint8_t* pixels) const { std::free(pixels); }
};

// An uncompressed block of rows, top row first, rows not padded.
struct RawRaster {
  // stride x height bytes; row r begins at pixels + r * stride.
  std::unique_ptr<std::uint8_t[], RasterFree> pixels;
  // width * 3 (RGB), width * 4 (palette), (width + 7) / 8 (1-bit grey),
  // width (8-bit grey), width * 2 (16-bit grey).
  std::int32_t stride = 0;
  std::int32_t height = 0;
  std::int32_t width = 0;
  // 24: red, green, blue. 32: palette entries red, green, blue, 0.
  // 16: one native-order (little-endian) grey sample. 8: one grey byte.
  // 1: eight pixels a byte, first pixel in the high bit. Grey is always
  // min-is-black (min-is-white files are inverted).
  std::int32_t bitsPerPixel = 0;
  // Rows read from the file, from the top; the rows after them are zero.
  std::int32_t rowsRead = 0;
};

// 0 and a filled raster, or -1 with the raster untouched and nothing left
// open or allocated. Shapes read: 8-bit RGB (3 samples), 8-bit palette, and
// single-sample grey of 1, 8 or 16 bits, in strips. Everything else (other
// depths, extra samples, separate planes, tiles, non-integer samples, a
// picture over 1 GiB) gives -1, and so does anything but a regular file.
// Missing tags read as the TIFF defaults. The first row libtiff cannot read
// ends the reading: it and the rows after it are black (in a large raster
// costing no memory until written; the failed row may hold what libtiff
// made of it).
[[nodiscard]] int ReadTiffRaster(const char* path, RawRaster* raster);

// out[i] = palette[indices[i]] for i < count; returns count.
int ExpandPaletteRow(const std::uint8_t* indices, const std::uint32_t* palette, std::uint32_t* out, int count);
