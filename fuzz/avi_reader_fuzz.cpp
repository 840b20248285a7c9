// Fuzz target for the AVI reader: opens the input as a file and uses every
// stream the way the frame decoder and the viewer do.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "platform/avifile.h"

namespace {

void UseStream(PAVISTREAM stream) {
  AVISTREAMINFOA info{};
  if (AVIStreamInfoA(stream, &info, sizeof info) != AVIERR_OK) __builtin_trap();
  LONG formatSize = 0;
  if (AVIStreamReadFormat(stream, 0, nullptr, &formatSize) == AVIERR_OK && formatSize > 0) {
    std::vector<std::uint8_t> format(static_cast<std::size_t>(formatSize));
    if (AVIStreamReadFormat(stream, 0, format.data(), &formatSize) != AVIERR_OK) __builtin_trap();
  }
  const LONG length = AVIStreamLength(stream);
  std::vector<std::uint8_t> sample;
  for (LONG i = 0; i < length; ++i) {
    LONG bytes = 0;
    if (AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, nullptr) != AVIERR_OK) __builtin_trap();
    sample.resize(static_cast<std::size_t>(bytes));
    if (AVIStreamRead(stream, i, 1, sample.data(), bytes, &bytes, nullptr) != AVIERR_OK) __builtin_trap();
    const LONG prev = AVIStreamFindSample(stream, i, FIND_KEY | FIND_PREV);
    const LONG next = AVIStreamFindSample(stream, i, FIND_KEY | FIND_NEXT);
    if (prev > i || (next != -1 && next < i)) __builtin_trap();
  }
  if (AVIStreamFindSample(stream, length, FIND_KEY | FIND_PREV) != -1) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = fuzz::InputFile(data, size);
  PAVIFILE file = nullptr;
  if (!path || AVIFileOpenA(&file, path, OF_READ, nullptr) != AVIERR_OK) return 0;
  PAVISTREAM stream = nullptr;
  for (LONG n = 0; AVIFileGetStream(file, &stream, 0, n) == AVIERR_OK; ++n) {
    UseStream(stream);
    if (AVIStreamRelease(stream) != 0) __builtin_trap();
  }
  if (AVIFileRelease(file) != 0) __builtin_trap();
  return 0;
}
