// Fuzz target for the PNG decoder (libpng): the input loaded as a list
// entry and composed into a frame.
#include "fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!fuzz::StartsWith(data, size, "\x89PNG\r\n\x1A\n", 8)) return 0;
  return fuzz::LoadAndUse(data, size);
}
