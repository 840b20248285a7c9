#include "picture/tiff_reader.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tiffio.h>

#include "platform/decode_stop.h"

namespace {

constexpr std::int64_t kMaxRasterBytes = std::int64_t{1} << 30;
constexpr std::size_t kFreshRasterBytes = std::size_t{16} << 20;

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};

}  // namespace

int ExpandPaletteRow(const std::uint8_t* indices, const std::uint32_t* palette, std::uint32_t* out, int count) {
  for (int i = 0; i < count; ++i) out[i] = palette[indices[i]];
  return count;
}

int ReadTiffRaster(const char* path, RawRaster* raster) {
  if (!path || !raster) return -1;
  // Only a regular file: opening a FIFO would wait for a writer, and a
  // device could be read for ever. The open itself does not block.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return -1;
  }
  // "m": read the strips rather than map the file, whose fresh pages cost
  // more to touch than reading them does. The handle closes fd.
  std::unique_ptr<TIFF, TiffCloser> file(TIFFFdOpen(fd, path, "rm"));
  if (!file) {
    close(fd);
    return -1;
  }
  TIFF* tif = file.get();

  std::uint32_t width = 0, height = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height)) return -1;
  std::uint16_t samples = 1, bits = 1, sampleFormat = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK;
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  // No default exists; libtiff guesses one when the tag is missing, and
  // anything left over reads as grey.
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) return -1;
  if (TIFFIsTiled(tif) || sampleFormat != SAMPLEFORMAT_UINT) return -1;

  // Every branch is checked against the scanline libtiff will deliver, so
  // no read goes past a row.
  std::int64_t rowBytes;
  std::int32_t bitsPerPixel;
  std::int64_t scanline;
  if (photometric == PHOTOMETRIC_RGB) {
    if (samples != 3 || bits != 8) return -1;
    rowBytes = std::int64_t{width} * 3;
    scanline = rowBytes;
    bitsPerPixel = 24;
  } else if (photometric == PHOTOMETRIC_PALETTE) {
    if (samples != 1 || bits != 8) return -1;
    rowBytes = std::int64_t{width} * 4;
    scanline = width;
    bitsPerPixel = 32;
  } else {
    if (samples != 1 || (bits != 1 && bits != 8 && bits != 16)) return -1;
    rowBytes = (std::int64_t{width} * bits + 7) / 8;
    scanline = rowBytes;
    bitsPerPixel = bits;
  }
  if (TIFFScanlineSize64(tif) != static_cast<std::uint64_t>(scanline)) return -1;
  if (rowBytes * height > kMaxRasterBytes) return -1;

  std::uint32_t palette[256];
  if (photometric == PHOTOMETRIC_PALETTE) {
    std::uint16_t *red, *green, *blue;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) return -1;
    // 8-bit samples: libtiff holds exactly 256 entries of each colour.
    for (int k = 0; k < 256; ++k)
      palette[k] = static_cast<std::uint32_t>(red[k] >> 8) | (static_cast<std::uint32_t>(green[k] >> 8) << 8) |
                   (static_cast<std::uint32_t>(blue[k] >> 8) << 16);
  }

  const auto total = static_cast<std::size_t>(rowBytes * height);
  // A large raster comes zeroed in fresh pages, untouched until written, so
  // rows a file lacks cost nothing. A small one comes from the heap, where
  // zeroing would cost a pass over rows read anyway: the rows after a failed
  // one are cleared instead.
  const bool fresh = total >= kFreshRasterBytes;
  std::unique_ptr<std::uint8_t[], RasterFree> pixels(
      static_cast<std::uint8_t*>(fresh ? std::calloc(total, 1) : std::malloc(total)));
  if (!pixels) return -1;
  std::vector<std::uint8_t> indices;
  std::vector<std::uint32_t> expanded;
  if (photometric == PHOTOMETRIC_PALETTE) {
    indices.resize(static_cast<std::size_t>(scanline));
    expanded.resize(width);
  }
  const bool invert = photometric == PHOTOMETRIC_MINISWHITE;
  std::uint32_t r = 0;
  for (; r < height; ++r) {
    if (kernel::DecodeStopRequested()) return -1;
    std::uint8_t* row = pixels.get() + static_cast<std::size_t>(r) * static_cast<std::size_t>(rowBytes);
    // The first row libtiff cannot read ends the reading, and the rows
    // after it stay black: a header that lies about the length would
    // otherwise cost one failing read (and one message) per missing row.
    const int read = TIFFReadScanline(tif, photometric == PHOTOMETRIC_PALETTE ? indices.data() : row, r, 0);
    if (read < 0) {
      if (!fresh) std::memset(row, 0, static_cast<std::size_t>(rowBytes) * (height - r));
      break;
    }
    if (photometric == PHOTOMETRIC_PALETTE) {
      ExpandPaletteRow(indices.data(), palette, expanded.data(), static_cast<int>(width));
      std::memcpy(row, expanded.data(), static_cast<std::size_t>(rowBytes));
    } else if (invert) {
      for (std::int64_t i = 0; i < rowBytes; ++i) row[i] = static_cast<std::uint8_t>(~row[i]);
    }
  }
  file.reset();

  raster->pixels = std::move(pixels);
  raster->stride = static_cast<std::int32_t>(rowBytes);
  raster->height = static_cast<std::int32_t>(height);
  raster->width = static_cast<std::int32_t>(width);
  raster->bitsPerPixel = bitsPerPixel;
  raster->rowsRead = static_cast<std::int32_t>(r);
  return 0;
}
