#include "picture/load_picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "picture/tiff_reader.h"
#include "platform/picture_probe.h"
#include "platform/text.h"

namespace {

// "tif", or the common four-letter "tiff", in any case.
bool EndsWithTif(const char* path) {
  const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
  const auto endsWith = [&](const char* tail) {
    const std::size_t length = std::strlen(path), n = std::strlen(tail);
    if (length < n) return false;
    for (std::size_t i = 0; i < n; ++i)
      if (lower(path[length - n + i]) != tail[i]) return false;
    return true;
  };
  return endsWith("tif") || endsWith("tiff");
}

// The right shift of an n-bit rule range, or -1 for a range mapped evenly.
int RuleShift(const GreyRange& range) {
  const std::uint64_t size = std::uint64_t{range.hi} + 1;
  if (range.lo != 0 || size < 256 || (size & (size - 1)) != 0) return -1;
  int bits = 0;
  while ((std::uint64_t{1} << bits) < size) ++bits;
  return bits - 8;
}

// One raster row into 32-bit rows of blue, green, red, 0.
// `shift`: the n-bit rule's, or -1 to map 16-bit samples through `table`.
void ConvertRow(const RawRaster& raster, const std::uint8_t* src, std::uint8_t* dst, int shift,
                const std::uint8_t* table) {
  const std::int32_t width = raster.width;
  switch (raster.bitsPerPixel) {
    case 8:
      for (std::int32_t x = 0; x < width; ++x, dst += 4) dst[0] = dst[1] = dst[2] = src[x], dst[3] = 0;
      break;
    case 16:
      if (shift < 0) {
        for (std::int32_t x = 0; x < width; ++x, dst += 4)
          dst[0] = dst[1] = dst[2] = table[src[2 * x] | (src[2 * x + 1] << 8)], dst[3] = 0;
        break;
      }
      if (shift >= 16) {
        std::memset(dst, 0, 4 * std::size_t(width));
        break;
      }
      // Whole pixels stored at once (blue, green, red, 0 on this
      // little-endian layout), so the loop vectorises.
      for (std::int32_t x = 0; x < width; ++x) {
        const unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
        // Values past the 8-bit range after the shift are held at white.
        const std::uint32_t pixel = std::min(v >> unsigned(shift), 255u) * 0x010101u;
        std::memcpy(dst + 4 * std::ptrdiff_t(x), &pixel, 4);
      }
      break;
    case 24:
      for (std::int32_t x = 0; x < width; ++x, dst += 4, src += 3) dst[0] = src[2], dst[1] = src[1], dst[2] = src[0], dst[3] = 0;
      break;
    case 32:
      for (std::int32_t x = 0; x < width; ++x, dst += 4, src += 4) dst[0] = src[2], dst[1] = src[1], dst[2] = src[0], dst[3] = 0;
      break;
  }
}

}  // namespace

std::unique_ptr<Bitmap> LoadPicture(const char* path) { return LoadPicture(path, 0, 0); }

std::unique_ptr<Bitmap> LoadPicture(const char* path, std::int32_t fitCols, std::int32_t fitRows) {
  return LoadPicture(path, fitCols, fitRows, GreyRange{});
}

std::unique_ptr<Bitmap> LoadPicture(const char* path, std::int32_t fitCols, std::int32_t fitRows,
                                    const GreyRange& grey) {
  return LoadPictureClipped(path, fitCols, fitRows, 0, 0, grey);
}

std::unique_ptr<Bitmap> LoadPictureClipped(const char* path, std::int32_t fitCols, std::int32_t fitRows,
                                           std::int32_t clipCols, std::int32_t clipRows, const GreyRange& grey) {
  if (!path) return nullptr;
  PictureProbe probe;
  const bool probed = ProbePictureFile(path, &probe);
  std::unique_ptr<Bitmap> picture;
  // A TIFF the codecs refuse goes straight to the TIFF reader: the file is
  // read once.
  if (!probed || !probe.greyTiff16) {
    const std::u16string wide = WidenUtf8(path);
    GpBitmap* image = nullptr;
    const GpStatus status = GdipCreateBitmapFromFileClipped(wide.c_str(), fitCols, fitRows, clipCols, clipRows, &image);
    picture = std::make_unique<Bitmap>(image, status);
  }
  const bool codecs = picture && picture->image();
  TiffFallback(path, grey, picture);
  // The codecs hand pictures out upright; the TIFF reader's rows are as stored.
  if (picture && !codecs && probed && probe.orientation != 1 &&
      picture->record(GdipImageRotateFlip(picture->asImage(), UprightTurn(probe.orientation))) != Ok)
    picture.reset();
  return picture;
}

std::unique_ptr<Bitmap> LoadPictureWithin(const char* path, std::int32_t cols, std::int32_t rows) {
  std::int32_t fitCols = 0, fitRows = 0;
  PictureProbe probe;
  if (path && cols > 0 && rows > 0 && ProbePictureFile(path, &probe)) {
    const double width = double(probe.UprightWidth()), height = double(probe.UprightHeight());
    const double scale = std::min(cols / width, rows / height);
    if (scale < 1) {
      fitCols = static_cast<std::int32_t>(std::max(1.0, std::round(width * scale)));
      fitRows = static_cast<std::int32_t>(std::max(1.0, std::round(height * scale)));
    }
  }
  return LoadPicture(path, fitCols, fitRows);
}

void TiffFallback(const char* path, unsigned shift, std::unique_ptr<Bitmap>& picture) {
  // Shifts of 16 and more leave every 16-bit sample black.
  const std::uint32_t hi = shift >= 24 ? 0xFFFFFFFFu : static_cast<std::uint32_t>((std::uint64_t{256} << shift) - 1);
  TiffFallback(path, GreyRange{0, hi}, picture);
}

void TiffFallback(const char* path, const GreyRange& grey, std::unique_ptr<Bitmap>& picture) {
  PixelFormat format = PixelFormatUndefined;
  if (picture) {
    const GpStatus status = GdipGetImagePixelFormat(picture->asImage(), &format);
    if (status != Ok) {
      (void)picture->record(status);
      format = PixelFormatUndefined;
    }
  }
  if (format != PixelFormatUndefined) return;
  picture.reset();
  if (!path || !EndsWithTif(path)) return;

  RawRaster raster;
  if (ReadTiffRaster(path, &raster) != 0) return;
  const std::int32_t bits = raster.bitsPerPixel;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return;  // bilevel pictures are not converted

  // Every row read is converted over whatever the new bitmap holds; the rows
  // after them (zero in the raster) are zero, and cost no memory until
  // touched.
  GpBitmap* converted = nullptr;
  if (GdipCreateBitmapForRows(raster.width, raster.height, PixelFormat32bppRGB, raster.rowsRead, &converted) != Ok)
    return;
  auto result = std::make_unique<Bitmap>(converted);
  BitmapData data{};
  if (GdipBitmapLockBits(converted, nullptr, ImageLockModeWrite, PixelFormat32bppRGB, &data) != Ok) return;
  auto* scan0 = static_cast<std::uint8_t*>(data.Scan0);
  const int shift = RuleShift(grey);
  std::vector<std::uint8_t> table;
  if (bits == 16 && shift < 0) {
    table.resize(65536);
    for (std::uint32_t v = 0; v < 65536; ++v) table[v] = MapGrey(grey, v);
  }
  for (std::int32_t row = 0; row < raster.rowsRead; ++row)
    ConvertRow(raster, raster.pixels.get() + static_cast<std::ptrdiff_t>(row) * raster.stride,
               scan0 + static_cast<std::ptrdiff_t>(row) * data.Stride, shift, table.data());
  (void)result->record(GdipBitmapUnlockBits(converted, &data));
  picture = std::move(result);
}

bool ParseGreyRange(std::string_view text, GreyRange* range) {
  for (const auto& [name, bits] : {std::pair{"10", 10}, {"12", 12}, {"14", 14}, {"16", 16}})
    if (text == name) {
      *range = {0, (1u << bits) - 1};
      return true;
    }
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const auto number = [](std::string_view digits, std::uint32_t* value) {
    if (digits.empty() || digits.size() > 5) return false;
    *value = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return false;
      *value = *value * 10 + std::uint32_t(c - '0');
    }
    return *value <= 65535;
  };
  GreyRange read;
  if (!number(text.substr(0, colon), &read.lo) || !number(text.substr(colon + 1), &read.hi) || read.lo >= read.hi)
    return false;
  *range = read;
  return true;
}

std::uint8_t MapGrey(const GreyRange& range, std::uint32_t v) {
  const int shift = RuleShift(range);
  if (shift >= 0) return shift >= 32 ? 0 : static_cast<std::uint8_t>(std::min(v >> shift, 255u));
  if (v <= range.lo) return 0;
  if (v >= range.hi) return 255;
  const std::uint64_t span = std::uint64_t{range.hi} - range.lo;
  return static_cast<std::uint8_t>((std::uint64_t{v - range.lo} * 255 + span / 2) / span);
}

GreyRange GreyRangeOfPictures(const std::vector<std::string>& paths) {
  std::vector<std::uint64_t> counts(65536);
  std::uint64_t total = 0;
  for (const std::string& path : paths) {
    PictureProbe probe;
    RawRaster raster;
    if (!ProbePictureFile(path.c_str(), &probe) || !probe.greyTiff16 || ReadTiffRaster(path.c_str(), &raster) != 0 ||
        raster.bitsPerPixel != 16)
      continue;
    for (std::int32_t row = 0; row < raster.rowsRead; ++row) {
      const std::uint8_t* p = raster.pixels.get() + static_cast<std::ptrdiff_t>(row) * raster.stride;
      for (std::int32_t x = 0; x < raster.width; ++x) ++counts[p[2 * x] | (p[2 * x + 1] << 8)];
    }
    total += std::uint64_t(raster.rowsRead) * std::uint64_t(raster.width);
  }
  if (total == 0) return {};
  // The sample below which lie at most `part` thousandths of all.
  const auto percentile = [&](std::uint64_t part) {
    const std::uint64_t below = total * part / 1000;
    std::uint64_t seen = 0;
    for (std::uint32_t v = 0; v < 65536; ++v)
      if ((seen += counts[v]) > below) return v;
    return 65535u;
  };
  GreyRange range{percentile(1), percentile(999)};
  if (range.hi <= range.lo) range.hi = range.lo + 1;
  return range;
}
