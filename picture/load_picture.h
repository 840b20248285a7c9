// Opening a list entry's file as a picture: the platform codecs first, then,
// for paths ending in "tif" that they refuse, the TIFF reader.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdiplus.h"

// How 16-bit grey samples become 8-bit grey: lo and below black, hi and
// above white. A range from 0 to 2^n - 1 is the n-bit rule, each sample
// shifted right by n - 8 (so 1023 is the 10-bit rule, 10-bit cameras'
// data, and the default); any other range is mapped evenly.
struct GreyRange {
  std::uint32_t lo = 0;
  std::uint32_t hi = 1023;
  bool operator==(const GreyRange&) const = default;
};
// "10", "12", "14", "16" (bits) or "LO:HI" with LO < HI <= 65535; false
// for anything else ("auto" is the caller's: see GreyRangeOfPictures).
[[nodiscard]] bool ParseGreyRange(std::string_view text, GreyRange* range);
// The 8-bit grey of sample v under the range.
std::uint8_t MapGrey(const GreyRange& range, std::uint32_t v);
// One range for a whole list of pictures: its 16-bit grey TIFFs' samples
// from the 0.1th to the 99.9th percentile, so that frames do not flicker;
// the default range when no path holds such a picture. Reads every such
// file's samples.
GreyRange GreyRangeOfPictures(const std::vector<std::string>& paths);

// The picture, owned by the caller, or null when neither the codecs nor the
// TIFF reader gave one (the codecs refuse pictures over their pixel limit
// before decoding anything). The 8-bit path is widened as UTF-8 for the
// codecs. Reports nothing; keeps no
// state; may run on several threads at once.
[[nodiscard]] std::unique_ptr<Bitmap> LoadPicture(const char* path);
// The same for a picture that will only be drawn at fitCols x fitRows
// (upright): a larger side comes reduced to it as it is decoded
// (GdipCreateBitmapFromFileToFit). 16-bit grey TIFFs come whole.
[[nodiscard]] std::unique_ptr<Bitmap> LoadPicture(const char* path, std::int32_t fitCols, std::int32_t fitRows);
// The same with 16-bit grey mapped through `grey`.
[[nodiscard]] std::unique_ptr<Bitmap> LoadPicture(const char* path, std::int32_t fitCols, std::int32_t fitRows,
                                                  const GreyRange& grey);
// The same, except that a JPEG that will be centred unscaled on a clipCols x
// clipRows frame comes as only the middle the frame shows
// (GdipCreateBitmapFromFileClipped).
[[nodiscard]] std::unique_ptr<Bitmap> LoadPictureClipped(const char* path, std::int32_t fitCols,
                                                         std::int32_t fitRows, std::int32_t clipCols,
                                                         std::int32_t clipRows, const GreyRange& grey);
// The picture for showing within cols x rows with its proportions kept: one
// larger than that comes reduced to the largest size that fits.
[[nodiscard]] std::unique_ptr<Bitmap> LoadPictureWithin(const char* path, std::int32_t cols, std::int32_t rows);

// Keeps `picture` when it has a non-zero pixel format. Otherwise drops it
// and, when the path ends in "tif" or "tiff" in any case, reads
// the file with ReadTiffRaster into a new PixelFormat32bppRGB picture
// (blue, green, red, 0; 16-bit grey shifted right by `shift` and held at
// 255). Bilevel rasters and every failure leave `picture` null.
void TiffFallback(const char* path, unsigned shift, std::unique_ptr<Bitmap>& picture);
// The same with 16-bit grey mapped through `grey`.
void TiffFallback(const char* path, const GreyRange& grey, std::unique_ptr<Bitmap>& picture);
