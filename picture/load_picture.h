// Opening a list entry's file as a picture: the platform codecs first, then,
// for paths ending in "tif" that they refuse, the TIFF reader.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/gdiplus.h"

// The picture, owned by the caller, or null when neither the codecs nor the
// TIFF reader gave one, or when its header claims more than its file can
// honestly hold (TooInflated: checked before anything is decoded). The
// 8-bit path is widened as UTF-8 for the codecs. Reports nothing; keeps no
// state; may run on several threads at once.
[[nodiscard]] std::unique_ptr<Bitmap> LoadPicture(const char* path);
// The same for a picture that will only be drawn stretched onto fitCols x
// fitRows: a JPEG at least twice that size both ways comes decoded at half
// its size (GdipCreateBitmapFromFileToFit).
[[nodiscard]] std::unique_ptr<Bitmap> LoadPicture(const char* path, std::int32_t fitCols, std::int32_t fitRows);

// Keeps `picture` when it has a non-zero pixel format. Otherwise drops it
// and, when the path's last three characters are "tif" in any case, reads
// the file with ReadTiffRaster into a new PixelFormat32bppRGB picture
// (blue, green, red, 0; 16-bit grey shifted right by `shift` and held at
// 255). Bilevel rasters and every failure leave `picture` null.
void TiffFallback(const char* path, unsigned shift, std::unique_ptr<Bitmap>& picture);
