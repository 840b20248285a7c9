// Fuzz target for the frame decoder: opens the input as an AVI file and
// decodes its first video stream in order and out of order, the way the
// viewer steps through it.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_input.h"
#include "platform/vfw.h"

namespace {

// Frames decoded in order at most: enough to pass a few key frames while
// keeping one input quick.
constexpr LONG kMaxFrames = 48;

void Check(const void* frame) {
  if (!frame) return;
  BITMAPINFOHEADER bih;
  std::memcpy(&bih, frame, sizeof bih);
  if (bih.biSize != 40 || bih.biBitCount != 24 || bih.biCompression != BI_RGB || bih.biWidth <= 0 ||
      bih.biHeight <= 0 || bih.biSizeImage != static_cast<DWORD>(((bih.biWidth * 3 + 3) & ~3) * bih.biHeight))
    __builtin_trap();
  // Touch the first and the last pixel row: both must be inside the frame.
  const auto* pixels = static_cast<const volatile std::uint8_t*>(frame) + 40;
  (void)pixels[0];
  (void)pixels[bih.biSizeImage - 1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = fuzz::InputFile(data, size);
  PAVIFILE file = nullptr;
  if (!path || AVIFileOpenA(&file, path, OF_READ, nullptr) != AVIERR_OK) return 0;
  PAVISTREAM stream = nullptr;
  if (AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) == AVIERR_OK) {
    if (PGETFRAME decoder = AVIStreamGetFrameOpen(stream, AVIGETFRAMEF_BESTDISPLAYFMT)) {
      const LONG length = AVIStreamLength(stream);
      const LONG n = length < kMaxFrames ? length : kMaxFrames;
      for (LONG i = 0; i < n; ++i) Check(AVIStreamGetFrame(decoder, i));
      const LONG probes[] = {length - 1, 0, length / 2, length, -1};
      for (LONG i : probes) Check(AVIStreamGetFrame(decoder, i));
      for (LONG i = n - 1; i >= 0 && i >= n - 8; --i) Check(AVIStreamGetFrame(decoder, i));
      if (AVIStreamGetFrameClose(decoder) != AVIERR_OK) __builtin_trap();
    }
    (void)AVIStreamRelease(stream);  // a file being read releases without anything to report
  }
  (void)AVIFileRelease(file);
  return 0;
}
