// What loading a picture file will hold in memory, read from its header
// alone, so that memory can be planned before a decoder allocates it.
#pragma once

#include <cstdint>

struct PictureProbe {
  std::int64_t width = 0;
  std::int64_t height = 0;
  // The most that loading it holds at once: the file's bytes and the decoded
  // pixels (a 16-bit grey TIFF: the picture loader's raster and its 32-bit
  // picture; a progressive JPEG: its coefficients too). Pixels the decoders
  // would refuse as too large count nothing. An estimate from above for the
  // shapes the decoders know.
  std::uint64_t bytes = 0;
};

// True and the probe when path is a regular file whose signature names a
// picture codec (BMP, JPEG, PNG, GIF, TIFF) and whose header gives a size;
// false otherwise. Reads a few header fields; never blocks (a FIFO or a
// device is not read). May be called from any thread.
[[nodiscard]] bool ProbePictureFile(const char* path, PictureProbe* probe);
