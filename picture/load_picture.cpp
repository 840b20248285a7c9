#include "picture/load_picture.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "picture/tiff_reader.h"
#include "platform/picture_probe.h"
#include "platform/text.h"

namespace {

bool EndsWithTif(const char* path) {
  const std::size_t length = std::strlen(path);
  if (length < 3) return false;
  const char* tail = path + length - 3;
  const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
  return lower(tail[0]) == 't' && lower(tail[1]) == 'i' && lower(tail[2]) == 'f';
}

// One raster row into 32-bit rows of blue, green, red, 0.
void ConvertRow(const RawRaster& raster, const std::uint8_t* src, std::uint8_t* dst, unsigned shift) {
  const std::int32_t width = raster.width;
  switch (raster.bitsPerPixel) {
    case 8:
      for (std::int32_t x = 0; x < width; ++x, dst += 4) dst[0] = dst[1] = dst[2] = src[x], dst[3] = 0;
      break;
    case 16:
      if (shift >= 16) {
        std::memset(dst, 0, 4 * std::size_t(width));
        break;
      }
      // Whole pixels stored at once (blue, green, red, 0 on this
      // little-endian layout), so the loop vectorises.
      for (std::int32_t x = 0; x < width; ++x) {
        const unsigned v = src[2 * x] | (src[2 * x + 1] << 8);
        // Values past the 8-bit range after the shift are held at white.
        const std::uint32_t pixel = std::min(v >> shift, 255u) * 0x010101u;
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
  if (!path) return nullptr;
  PictureProbe probe;
  const bool probed = ProbePictureFile(path, &probe);
  if (probed && TooInflated(probe)) return nullptr;
  std::unique_ptr<Bitmap> picture;
  // A TIFF the codecs refuse goes straight to the TIFF reader: the file is
  // read once.
  if (!probed || !probe.greyTiff16) {
    const std::u16string wide = WidenUtf8(path);
    GpBitmap* image = nullptr;
    const GpStatus status = GdipCreateBitmapFromFileToFit(wide.c_str(), fitCols, fitRows, &image);
    picture = std::make_unique<Bitmap>(image, status);
  }
  const bool codecs = picture && picture->image();
  TiffFallback(path, 2, picture);
  // The codecs hand pictures out upright; the TIFF reader's rows are as stored.
  if (picture && !codecs && probed && probe.orientation != 1 &&
      picture->record(GdipImageRotateFlip(picture->asImage(), UprightTurn(probe.orientation))) != Ok)
    picture.reset();
  return picture;
}

void TiffFallback(const char* path, unsigned shift, std::unique_ptr<Bitmap>& picture) {
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
  for (std::int32_t row = 0; row < raster.rowsRead; ++row)
    ConvertRow(raster, raster.pixels.get() + static_cast<std::ptrdiff_t>(row) * raster.stride,
               scan0 + static_cast<std::ptrdiff_t>(row) * data.Stride, shift);
  (void)result->record(GdipBitmapUnlockBits(converted, &data));
  picture = std::move(result);
}
