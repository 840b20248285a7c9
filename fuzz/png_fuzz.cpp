// Fuzz target for the PNG decoder (libpng): the input loaded as a list
// entry and composed into a frame. The chunk checksums are recomputed
// first: libpng refuses a chunk whose checksum is wrong, so mutated inputs
// would otherwise never reach decompression and our transforms.
#include <vector>

#include <zlib.h>

#include "fuzz/picture_fuzz.h"

namespace {

std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Each whole chunk after the signature gets the checksum of its type and data.
void FixChecksums(std::vector<std::uint8_t>& png) {
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint32_t length = Be32(&png[at]);
    if (length > png.size() - at - 12) break;
    const uLong crc = crc32(0, &png[at + 4], static_cast<uInt>(length + 4));
    for (int b = 0; b < 4; ++b) png[at + 8 + length + b] = static_cast<std::uint8_t>(crc >> (24 - 8 * b));
    at += 12 + std::size_t{length};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!fuzz::StartsWith(data, size, "\x89PNG\r\n\x1A\n", 8)) return 0;
  std::vector<std::uint8_t> png(data, data + size);
  FixChecksums(png);
  return fuzz::LoadAndUse(png.data(), png.size());
}
