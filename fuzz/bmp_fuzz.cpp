// Fuzz target for our BMP decoder (palettes with RLE4/RLE8, 16 to 32 bits,
// bit fields, top-down rows): the input loaded as a list entry and composed
// into a frame.
#include "fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!fuzz::StartsWith(data, size, "BM", 2)) return 0;  // the loader would send it elsewhere
  return fuzz::LoadAndUse(data, size);
}
