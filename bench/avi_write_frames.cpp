// Writes uncompressed 24-bit frames through the AVI functions and reads them
// back, printing the rates. For large-file checks (OpenDML past 4 GiB) and
// the writer's and reader's raw speed:
//   avi_write_frames OUT.avi FRAMES [WIDTH HEIGHT [FPS]]
// Frame i has its index in its first pixels over a fixed pattern, so every
// frame differs and can be checked: `--md5 FRAME` prints the MD5 that
// `ffmpeg -pix_fmt bgr24 -f framemd5` gives for it instead of writing.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/md5.h>
}

#include "platform/dib/layout.h"
#include "platform/vfw.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string path;
  long frames = 0;
  int width = 1280, height = 1024, fps = 10;
  long md5Frame = -1;
};

int Stride(int width) { return static_cast<int>(dib::Stride(width, 24)); }

void FillFrame(std::vector<std::uint8_t>& frame, int width, int height, long index) {
  const int stride = Stride(width);
  if (frame.empty()) {
    frame.assign(static_cast<std::size_t>(stride) * height, 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        std::uint8_t* p = &frame[static_cast<std::size_t>(y) * stride + 3 * x];
        p[0] = static_cast<std::uint8_t>(x);
        p[1] = static_cast<std::uint8_t>(y);
        p[2] = static_cast<std::uint8_t>(x + y);
      }
  }
  // The index, little-endian, in the bottom row's first bytes.
  for (int i = 0; i < 8 && i < 3 * width; ++i) frame[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(index >> (8 * i));
}

std::string TopDownMd5(const std::vector<std::uint8_t>& frame, int width, int height) {
  AVMD5* md5 = av_md5_alloc();
  av_md5_init(md5);
  for (int y = height - 1; y >= 0; --y)
    av_md5_update(md5, frame.data() + static_cast<std::size_t>(y) * Stride(width), static_cast<std::size_t>(3 * width));
  std::uint8_t digest[16];
  av_md5_final(md5, digest);
  av_free(md5);
  char hex[33];
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

int Write(const Options& o) {
  const int stride = Stride(o.width);
  const LONG frameBytes = stride * o.height;
  AVISTREAMINFOA h{};
  h.fccType = streamtypeVIDEO;
  h.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
  h.wPriority = 1;
  h.dwScale = 1;
  h.dwRate = static_cast<DWORD>(o.fps);
  h.dwSuggestedBufferSize = static_cast<DWORD>(frameBytes);
  h.dwQuality = static_cast<DWORD>(-1);
  h.dwSampleSize = 0;
  h.rcFrame = RECT{0, 0, o.width, o.height};
  std::strcpy(h.szName, "Stillweaver");
  BITMAPINFOHEADER bih{};
  bih.biSize = sizeof bih;
  bih.biWidth = o.width;
  bih.biHeight = o.height;
  bih.biPlanes = 1;
  bih.biBitCount = 24;
  bih.biSizeImage = static_cast<DWORD>(frameBytes);

  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  HRESULT hr = AVIFileOpenA(&file, o.path.c_str(), OF_WRITE | OF_CREATE, nullptr);
  if (hr == AVIERR_OK) hr = AVIFileCreateStreamA(file, &stream, &h);
  if (hr == AVIERR_OK) hr = AVIStreamSetFormat(stream, 0, &bih, sizeof bih);
  std::vector<std::uint8_t> frame;
  const auto start = Clock::now();
  for (long i = 0; hr == AVIERR_OK && i < o.frames; ++i) {
    FillFrame(frame, o.width, o.height, i);
    hr = AVIStreamWrite(stream, static_cast<LONG>(i), 1, frame.data(), frameBytes, AVIIF_KEYFRAME, nullptr, nullptr);
  }
  LONG released = stream ? AVIStreamRelease(stream) : 0;
  const LONG finished = file ? AVIFileRelease(file) : 0;
  const double seconds = Seconds(start);
  AVIFileExit();
  if (hr != AVIERR_OK || released != 0 || finished != 0) {
    std::fprintf(stderr, "write failed: 0x%08x 0x%08x 0x%08x\n", static_cast<unsigned>(hr),
                 static_cast<unsigned>(released), static_cast<unsigned>(finished));
    return 1;
  }
  const double bytes = static_cast<double>(frameBytes) * o.frames;
  std::printf("write: %ld frames %dx%d, %.0f MB in %.2f s: %.1f frames/s, %.0f MB/s\n", o.frames, o.width,
              o.height, bytes / 1e6, seconds, o.frames / seconds, bytes / 1e6 / seconds);
  return 0;
}

int Read(const Options& o) {
  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  HRESULT hr = AVIFileOpenA(&file, o.path.c_str(), OF_READ, nullptr);
  if (hr == AVIERR_OK) hr = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0);
  const auto start = Clock::now();
  const LONG length = hr == AVIERR_OK ? AVIStreamLength(stream) : 0;
  std::vector<std::uint8_t> frame, expected;
  long bad = 0;
  for (LONG i = 0; hr == AVIERR_OK && i < length; ++i) {
    LONG bytes = 0;
    hr = AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, nullptr);
    frame.resize(static_cast<std::size_t>(bytes));
    if (hr == AVIERR_OK) hr = AVIStreamRead(stream, i, 1, frame.data(), bytes, &bytes, nullptr);
    long index = 0;
    for (int b = 0; b < 8 && b < bytes; ++b) index |= static_cast<long>(frame[static_cast<std::size_t>(b)]) << (8 * b);
    if (index != i) ++bad;
  }
  const double seconds = Seconds(start);
  if (stream) (void)AVIStreamRelease(stream);  // a file being read releases without anything to report
  if (file) (void)AVIFileRelease(file);
  AVIFileExit();
  if (hr != AVIERR_OK || bad) {
    std::fprintf(stderr, "read failed: 0x%08x, %ld frames out of place\n", static_cast<unsigned>(hr), bad);
    return 1;
  }
  std::printf("read: %ld frames in %.2f s: %.1f frames/s, every frame in place\n", static_cast<long>(length),
              seconds, length / seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--md5" && i + 1 < args.size()) {
      o.md5Frame = std::atol(args[i + 1].c_str());
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      break;
    }
  }
  if (args.size() != 2 && args.size() != 4 && args.size() != 5) {
    std::fprintf(stderr, "usage: avi_write_frames OUT.avi FRAMES [WIDTH HEIGHT [FPS]] [--md5 FRAME]\n");
    return 2;
  }
  o.path = args[0];
  o.frames = std::atol(args[1].c_str());
  if (args.size() >= 4) {
    o.width = std::atoi(args[2].c_str());
    o.height = std::atoi(args[3].c_str());
  }
  if (args.size() == 5) o.fps = std::atoi(args[4].c_str());
  if (o.frames < 0 || o.width < 1 || o.height < 1 || o.fps < 1) return 2;
  if (o.md5Frame >= 0) {
    std::vector<std::uint8_t> frame;
    FillFrame(frame, o.width, o.height, o.md5Frame);
    std::printf("%s\n", TopDownMd5(frame, o.width, o.height).c_str());
    return 0;
  }
  const int written = Write(o);
  return written != 0 ? written : Read(o);
}
