// What loading a picture file will hold in memory, read from its header
// alone, so that memory can be planned before a decoder allocates it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdiplus.h"

struct PictureProbe {
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint64_t fileBytes = 0;
  // What decoding makes: the pixels (a 16-bit grey TIFF: the picture
  // loader's raster and its 32-bit picture; a progressive JPEG: its
  // coefficients too). Pixels the decoders would refuse as too large count
  // nothing. An estimate from above for the shapes the decoders know.
  std::uint64_t pixelBytes = 0;
  // The most that loading it holds at once: the pixels, and the file when
  // the decoders read it into memory.
  std::uint64_t bytes = 0;
  // A single-sample 16-bit grey TIFF, which the codecs refuse
  // (UnknownImageFormat) and the picture loader's TIFF reader takes.
  bool greyTiff16 = false;
  // Bits a pixel as the file stores it, all samples together (24 for an RGB
  // JPEG, 16 for a 16-bit grey TIFF, 48 for a 16-bit RGB one).
  int fileBits = 0;

  // The file's Orientation (TIFF tag, or EXIF in a JPEG or PNG): 1 as
  // stored, 2-8 turned or mirrored; 5-8 are seen with width and height
  // swapped. Decoding turns the picture upright.
  int orientation = 1;

  // The size the picture is seen at, upright.
  std::int64_t UprightWidth() const { return orientation >= 5 ? height : width; }
  std::int64_t UprightHeight() const { return orientation >= 5 ? width : height; }
};

// The turn that shows a picture of that orientation upright
// (GdipImageRotateFlip); anything outside 2-8 needs none.
RotateFlipType UprightTurn(int orientation);

// True and the probe when path is a regular file whose signature names a
// picture codec (BMP, JPEG, PNG, GIF, TIFF) and whose header gives a size;
// false otherwise. Reads a few header fields; never blocks (a FIFO or a
// device is not read). May be called from any thread.
[[nodiscard]] bool ProbePictureFile(const char* path, PictureProbe* probe);
// The same for loading it to fit fitWidth x fitHeight
// (GdipCreateBitmapFromFileToFit): the reduced pixels count, and the whole
// ones too for pictures held whole before they are reduced.
[[nodiscard]] bool ProbePictureFile(const char* path, PictureProbe* probe, std::int64_t fitWidth,
                                    std::int64_t fitHeight);

// When the picture was taken, as text that sorts in time order:
// "YYYY:MM:DD HH:MM:SS.nnnnnnnnn" from its EXIF DateTimeOriginal and
// SubSecTimeOriginal (the camera's clock), else the file's modification
// time in local time; empty when the file cannot be read. Any thread.
std::string PictureCaptureTime(const char* path);
