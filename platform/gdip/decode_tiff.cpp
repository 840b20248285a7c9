// TIFF through libtiff, reading from the mapped file with its messages kept
// quiet for this handle only (the global handlers belong to other readers).
// Plain 8-bit RGB and RGBA, palettes and 1/4/8-bit grey are read by
// scanline into their own formats (RGBA with premultiplied alpha into
// 32bppPARGB); every other shape libtiff's RGBA reader knows becomes
// 32bppRGB or 32bppARGB. Single-sample 16-bit grey is refused, so that the
// picture loader's own reader, with its 10-bit mapping, takes such files.
#include <algorithm>
#include <cstdarg>
#include <cstring>

#include <tiffio.h>

#include "platform/decode_stop.h"
#include "platform/gdip/decoders.h"
#include "platform/gdip/row_reducer.h"

namespace gdip {
namespace {

struct TiffMemory {
  const BYTE* data;
  toff_t size;
  toff_t position;
};

tmsize_t ReadProc(thandle_t handle, void* out, tmsize_t length) {
  auto* m = static_cast<TiffMemory*>(handle);
  if (length <= 0 || m->position >= m->size || kernel::DecodeStopRequested()) return 0;
  const toff_t n = std::min<toff_t>(static_cast<toff_t>(length), m->size - m->position);
  std::memcpy(out, m->data + m->position, n);
  m->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* m = static_cast<TiffMemory*>(handle);
  const std::int64_t base = whence == SEEK_CUR ? static_cast<std::int64_t>(m->position)
                            : whence == SEEK_END ? static_cast<std::int64_t>(m->size)
                                                 : 0;
  const std::int64_t target = base + static_cast<std::int64_t>(offset);
  if (target < 0) return static_cast<toff_t>(-1);
  m->position = static_cast<toff_t>(target);
  return m->position;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<TiffMemory*>(handle)->size; }

int MapProc(thandle_t handle, void** base, toff_t* size) {
  auto* m = static_cast<TiffMemory*>(handle);
  *base = const_cast<BYTE*>(m->data);
  *size = m->size;
  return 1;
}

void UnmapProc(thandle_t, void*, toff_t) {}

int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsFreer {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// Reads rows by scanline into a bitmap of `format`; the rows must be exactly
// as libtiff delivers them (red, green, blue[, alpha] for the 24 and 32-bit
// formats, which store blue first).
GpStatus ReadScanlines(TIFF* tif, INT width, INT height, PixelFormat format, std::vector<ARGB> colors, INT fitWidth,
                       INT fitHeight, Decoded* out) {
  RowWriter writer;
  GpStatus status = writer.Start(width, height, format, std::move(colors), fitWidth, fitHeight);
  if (status != Ok) return status;
  const int pixelBytes = FormatBits(format) / 8;
  for (INT y = 0; y < height; ++y) {
    if (kernel::DecodeStopRequested()) return InvalidParameter;
    BYTE* row = writer.Row();
    if (TIFFReadScanline(tif, row, static_cast<std::uint32_t>(y), 0) < 0) return InvalidParameter;
    if (pixelBytes >= 3)
      for (BYTE* p = row; p < row + std::ptrdiff_t{width} * pixelBytes; p += pixelBytes) std::swap(p[0], p[2]);
    writer.Push();
  }
  *out = writer.Finish();
  return Ok;
}

struct RgbaImageEnd {
  void operator()(TIFFRGBAImage* image) const { TIFFRGBAImageEnd(image); }
};

// The RGBA reader's rows a strip or tile row at a time, reduced as they
// come. False when the picture's strips are too tall for that to save
// memory (every band would decode its whole strip again).
bool ReadRgbaBands(TIFF* tif, INT width, INT height, bool alpha, std::uint16_t stored, INT fitWidth, INT fitHeight,
                   GpStatus* status, Decoded* out) {
  std::uint32_t band = 0;
  if (TIFFIsTiled(tif) ? !TIFFGetField(tif, TIFFTAG_TILELENGTH, &band) : !TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &band))
    return false;
  band = std::max<std::uint32_t>(band, 16);
  constexpr std::uint64_t kMaxBand = std::uint64_t{64} << 20;
  if (band >= static_cast<std::uint32_t>(height) || std::uint64_t{band} * static_cast<std::uint64_t>(width) * 4 > kMaxBand)
    return false;
  char message[1024];
  TIFFRGBAImage image{};
  if (!TIFFRGBAImageBegin(&image, tif, 0, message)) {
    *status = UnknownImageFormat;
    return true;
  }
  const std::unique_ptr<TIFFRGBAImage, RgbaImageEnd> end(&image);
  image.req_orientation = stored;
  RowWriter writer;
  // The RGBA reader premultiplies.
  if ((*status = writer.Start(width, height, alpha ? PixelFormat32bppPARGB : PixelFormat32bppRGB, {}, fitWidth,
                              fitHeight)) != Ok)
    return true;
  std::vector<std::uint32_t> rows(static_cast<std::size_t>(band) * static_cast<std::size_t>(width));
  for (INT y = 0; y < height; y += static_cast<INT>(band)) {
    const INT n = std::min<INT>(static_cast<INT>(band), height - y);
    image.row_offset = y;
    image.col_offset = 0;
    if (kernel::DecodeStopRequested() ||
        !TIFFRGBAImageGet(&image, rows.data(), static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(n))) {
      *status = InvalidParameter;
      return true;
    }
    for (INT k = 0; k < n; ++k) {
      auto* row = reinterpret_cast<BYTE*>(rows.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(width));
      for (BYTE* p = row; p < row + std::ptrdiff_t{width} * 4; p += 4) std::swap(p[0], p[2]);
      writer.Push(row);
    }
  }
  *out = writer.Finish();
  *status = Ok;
  return true;
}

GpStatus ReadRgba(TIFF* tif, INT width, INT height, bool alpha, INT fitWidth, INT fitHeight, Decoded* out) {
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) return UnknownImageFormat;
  const PixelFormat format = alpha ? PixelFormat32bppARGB : PixelFormat32bppRGB;
  GpStatus status = CheckSize(width, height, format);
  if (status != Ok) return status;
  // Rows as stored, like the scanline paths: the caller turns the picture.
  std::uint16_t stored = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &stored);
  const ReducedSize to = ReducedTo(width, height, fitWidth, fitHeight);
  if ((to.width != width || to.height != height) &&
      ReadRgbaBands(tif, width, height, alpha, stored, fitWidth, fitHeight, &status, out))
    return status;
  Decoded bitmap;
  if ((status = NewBitmap(width, height, format, &bitmap)) != Ok) return status;
  // 32-bit rows are exactly width * 4 bytes, as the RGBA reader fills them.
  auto* raster = reinterpret_cast<std::uint32_t*>(bitmap->pixels);
  if (!TIFFReadRGBAImageOriented(tif, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), raster,
                                 stored, 1))
    return InvalidParameter;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  for (std::size_t i = 0; i < count; ++i) {
    BYTE* p = bitmap->pixels + 4 * i;
    std::swap(p[0], p[2]);  // red, green, blue, alpha -> blue, green, red, alpha
    // The RGBA reader premultiplies; the format is straight alpha.
    const unsigned a = p[3];
    if (alpha && a != 255 && a != 0)
      for (int c = 0; c < 3; ++c) p[c] = static_cast<BYTE>(std::min(255u, (p[c] * 255u + a / 2) / a));
  }
  if ((status = ReduceDecoded(&bitmap, fitWidth, fitHeight)) != Ok) return status;
  *out = std::move(bitmap);
  return Ok;
}

std::vector<ARGB> ColorMap(TIFF* tif, int bits) {
  std::uint16_t *red, *green, *blue;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) return {};
  const std::size_t entries = std::size_t{1} << bits;
  // Some writers store 8-bit values; libtiff's own reader makes the same guess.
  bool eightBit = true;
  for (std::size_t i = 0; i < entries; ++i)
    if (red[i] >= 256 || green[i] >= 256 || blue[i] >= 256) eightBit = false;
  const int shift = eightBit ? 0 : 8;
  std::vector<ARGB> colors(entries);
  for (std::size_t i = 0; i < entries; ++i)
    colors[i] = 0xFF000000u | (static_cast<ARGB>(red[i] >> shift) << 16) |
                (static_cast<ARGB>(green[i] >> shift) << 8) | (blue[i] >> shift);
  return colors;
}

}  // namespace

GpStatus DecodeTiff(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth, INT fitHeight) {
  std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
  if (!options) return OutOfMemory;
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Quiet, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxPixelBytes);
  TiffMemory memory{data, size, 0};
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt("picture", "r", &memory, ReadProc, WriteProc, SeekProc,
                                                          CloseProc, SizeProc, MapProc, UnmapProc, options.get()));
  if (!tif) return InvalidParameter;
  TIFF* t = tif.get();

  std::uint32_t width = 0, height = 0;
  if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height))
    return InvalidParameter;
  if (width == 0 || height == 0) return InvalidParameter;
  if (width > INT32_MAX || height > INT32_MAX) return OutOfMemory;
  std::uint16_t samples = 1, bits = 1, planar = PLANARCONFIG_CONTIG, sampleFormat = SAMPLEFORMAT_UINT, photometric;
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric))
    photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  if (grey && samples == 1 && bits == 16) return UnknownImageFormat;

  const INT w = static_cast<INT>(width);
  const INT h = static_cast<INT>(height);
  const bool scanlines = !TIFFIsTiled(t) && sampleFormat == SAMPLEFORMAT_UINT &&
                         (planar == PLANARCONFIG_CONTIG || samples == 1);
  const auto rowsAre = [&](std::int64_t bytes) { return TIFFScanlineSize64(t) == static_cast<std::uint64_t>(bytes); };
  if (scanlines && photometric == PHOTOMETRIC_RGB && samples == 3 && bits == 8 && rowsAre(std::int64_t{w} * 3))
    return ReadScanlines(t, w, h, PixelFormat24bppRGB, {}, fitWidth, fitHeight, out);
  if (scanlines && samples == 1 && (bits == 1 || bits == 4 || bits == 8) && (grey || photometric == PHOTOMETRIC_PALETTE) &&
      rowsAre((std::int64_t{w} * bits + 7) / 8)) {
    std::vector<ARGB> colors;
    if (photometric == PHOTOMETRIC_PALETTE) {
      colors = ColorMap(t, bits);
      if (colors.empty()) return InvalidParameter;
    } else {
      colors = GreyPalette(1 << bits);
      if (photometric == PHOTOMETRIC_MINISWHITE) std::reverse(colors.begin(), colors.end());
    }
    const PixelFormat format = bits == 1 ? PixelFormat1bppIndexed : bits == 4 ? PixelFormat4bppIndexed : PixelFormat8bppIndexed;
    return ReadScanlines(t, w, h, format, std::move(colors), fitWidth, fitHeight, out);
  }
  std::uint16_t extraCount = 0;
  std::uint16_t* extraTypes = nullptr;
  TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
  const std::uint16_t extra = extraCount > 0 && extraTypes ? extraTypes[0] : EXTRASAMPLE_UNSPECIFIED;
  const bool alpha = extra == EXTRASAMPLE_ASSOCALPHA || extra == EXTRASAMPLE_UNASSALPHA;
  // 8-bit RGBA keeps the colours it stores: the RGBA reader premultiplies
  // straight alpha, and no division brings back a colour under alpha 0.
  if (scanlines && photometric == PHOTOMETRIC_RGB && samples == 4 && bits == 8 && alpha &&
      rowsAre(std::int64_t{w} * 4))
    return ReadScanlines(t, w, h, extra == EXTRASAMPLE_ASSOCALPHA ? PixelFormat32bppPARGB : PixelFormat32bppARGB, {},
                         fitWidth, fitHeight, out);
  return ReadRgba(t, w, h, alpha, fitWidth, fitHeight, out);
}

}  // namespace gdip
