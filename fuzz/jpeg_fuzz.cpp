// Fuzz target for the JPEG decoder (libjpeg-turbo: baseline, progressive,
// CMYK, arithmetic coding): the input loaded as a list entry and composed
// into a frame.
#include "fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!fuzz::StartsWith(data, size, "\xFF\xD8\xFF", 3)) return 0;
  return fuzz::LoadAndUse(data, size);
}
