// Fuzz target for the GIF decoder (giflib, the first frame on its screen):
// the input loaded as a list entry and composed into a frame.
#include "fuzz/picture_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!fuzz::StartsWith(data, size, "GIF87a", 6) && !fuzz::StartsWith(data, size, "GIF89a", 6)) return 0;
  return fuzz::LoadAndUse(data, size);
}
