// Fuzz target for the TIFF picture codec (libtiff, every shape but 16-bit
// grey): the input loaded as a list entry whose name does not end in "tif",
// so the loader's own TIFF reader stays out, and composed into a frame.
#include "fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!fuzz::IsTiff(data, size)) return 0;
  return fuzz::LoadAndUse(data, size);
}
