// Fuzz target for the frame decoder: opens the input as an AVI file and
// decodes its first video stream in order and out of order, the way the
// viewer steps through it, then in order again as 32-bit frames held the
// way the player's surface holds them.
#include <cstdint>
#include <cstring>
#include <memory>
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

void CheckBgrx(const std::shared_ptr<const BITMAPINFOHEADER>& frame) {
  if (!frame) return;
  const BITMAPINFOHEADER& bih = *frame;
  if (bih.biSize != 40 || bih.biBitCount != 32 || bih.biCompression != BI_RGB || bih.biWidth <= 0 ||
      bih.biHeight >= 0 || bih.biSizeImage != static_cast<DWORD>(bih.biWidth * 4 * -bih.biHeight))
    __builtin_trap();
  const auto* pixels = reinterpret_cast<const volatile std::uint8_t*>(frame.get()) + 40;
  if (pixels[3] != 255 || pixels[bih.biSizeImage - 1] != 255) __builtin_trap();
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
    BITMAPINFOHEADER wanted{};
    wanted.biSize = sizeof wanted;
    wanted.biBitCount = 32;
    wanted.biCompression = BI_RGB;
    if (PGETFRAME decoder = AVIStreamGetFrameOpen(stream, &wanted)) {
      const LONG length = AVIStreamLength(stream);
      const LONG n = length < kMaxFrames ? length : kMaxFrames;
      std::shared_ptr<const BITMAPINFOHEADER> shown, pending;  // outlive the decoder
      for (LONG i = 0; i < n; ++i) {
        shown = std::move(pending);
        pending = AVIStreamGetFrameShared(decoder, i);
        CheckBgrx(pending);
      }
      if (AVIStreamGetFrameClose(decoder) != AVIERR_OK) __builtin_trap();
      CheckBgrx(shown);
    }
    (void)AVIStreamRelease(stream);  // a file being read releases without anything to report
  }
  (void)AVIFileRelease(file);
  return 0;
}
