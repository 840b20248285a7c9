// The AVI services at work on the benchmark's frames, timed:
//   avi_bench write RAW.bgr OUT.avi WIDTH HEIGHT none|FOURCC
//     reads top-down bgr24 frames from RAW.bgr and writes them as the
//     Make-AVI job does (bottom-up rows, ICCompress at quality 8500, one
//     AVIStreamWrite per frame); prints "FRAMES SECONDS".
//   avi_bench read IN.avi
//     decodes every frame in order through AVIStreamGetFrame; prints
//     "FRAMES SECONDS".
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/codec/compressor_choice.h"
#include "platform/dib/layout.h"
#include "platform/vfw.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

int Fail(const char* what, long code) {
  std::fprintf(stderr, "avi_bench: %s failed (%ld)\n", what, code);
  return 1;
}

int Write(const std::string& rawPath, const std::string& outPath, int width, int height, const std::string& codecName) {
  FOURCC fcc = 0;
  if (!codec::ParseCompressorName(codecName, &fcc)) return Fail("codec name", 0);
  std::FILE* raw = std::fopen(rawPath.c_str(), "rb");
  if (!raw) return Fail("opening the raw frames", 0);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  const auto stride = static_cast<std::size_t>(dib::Stride(width, 24));
  std::vector<std::uint8_t> topDown(rowBytes * height), frame(stride * height, 0);

  const auto start = Clock::now();
  BITMAPINFOHEADER in{};
  in.biSize = sizeof in;
  in.biWidth = width;
  in.biHeight = height;
  in.biPlanes = 1;
  in.biBitCount = 24;
  in.biCompression = BI_RGB;
  in.biSizeImage = static_cast<DWORD>(stride * height);
  HIC hic = nullptr;
  std::vector<std::uint8_t> format(sizeof in);
  std::memcpy(format.data(), &in, sizeof in);
  std::vector<std::uint8_t> output;
  if (fcc != 0) {
    hic = ICOpen(ICTYPE_VIDEO, fcc, ICMODE_COMPRESS);
    if (!hic) return Fail("ICOpen", 0);
    const auto inArg = reinterpret_cast<DWORD_PTR>(&in);
    const LRESULT formatSize = ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, inArg, 0);
    if (formatSize < static_cast<LRESULT>(sizeof(BITMAPINFOHEADER))) return Fail("ICM_COMPRESS_GET_FORMAT", 0);
    format.resize(static_cast<std::size_t>(formatSize));
    if (ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, inArg, reinterpret_cast<DWORD_PTR>(format.data())) != formatSize)
      return Fail("ICM_COMPRESS_GET_FORMAT", 0);
    const auto outArg = reinterpret_cast<DWORD_PTR>(format.data());
    output.resize(static_cast<std::size_t>(ICSendMessage(hic, ICM_COMPRESS_GET_SIZE, inArg, outArg)));
    if (ICSendMessage(hic, ICM_COMPRESS_BEGIN, inArg, outArg) != ICERR_OK) return Fail("ICM_COMPRESS_BEGIN", 0);
  }
  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  HRESULT hr = AVIFileOpenA(&file, outPath.c_str(), OF_WRITE | OF_CREATE, nullptr);
  if (hr != AVIERR_OK) return Fail("AVIFileOpenA", hr);
  AVISTREAMINFOA info{};
  info.fccType = streamtypeVIDEO;
  info.fccHandler = fcc ? fcc : mmioFOURCC('D', 'I', 'B', ' ');
  info.wPriority = 1;
  info.dwScale = 1;
  info.dwRate = 10;
  info.dwSuggestedBufferSize = in.biSizeImage;
  info.dwQuality = static_cast<DWORD>(-1);
  info.dwSampleSize = 0;
  info.rcFrame = RECT{0, 0, width, height};
  std::strcpy(info.szName, "Stillweaver");
  if ((hr = AVIFileCreateStreamA(file, &stream, &info)) != AVIERR_OK) return Fail("AVIFileCreateStreamA", hr);
  if ((hr = AVIStreamSetFormat(stream, 0, format.data(), static_cast<LONG>(format.size()))) != AVIERR_OK)
    return Fail("AVIStreamSetFormat", hr);
  BITMAPINFOHEADER outHeader;
  std::memcpy(&outHeader, format.data(), sizeof outHeader);
  LONG frames = 0;
  while (std::fread(topDown.data(), 1, topDown.size(), raw) == topDown.size()) {
    for (int y = 0; y < height; ++y)
      std::memcpy(&frame[(height - 1 - y) * stride], &topDown[y * rowBytes], rowBytes);
    const void* data = frame.data();
    LONG size = static_cast<LONG>(in.biSizeImage);
    DWORD flags = AVIIF_KEYFRAME;
    if (hic) {
      if (ICCompress(hic, 0, &outHeader, output.data(), &in, frame.data(), nullptr, &flags, frames, 0, 8500, nullptr,
                     nullptr) != ICERR_OK)
        return Fail("ICCompress", frames);
      data = output.data();
      size = static_cast<LONG>(outHeader.biSizeImage);
    }
    LONG written = 0;
    if ((hr = AVIStreamWrite(stream, frames, 1, data, size, flags, &written, nullptr)) != AVIERR_OK)
      return Fail("AVIStreamWrite", hr);
    ++frames;
  }
  std::fclose(raw);
  if (hic) {
    if (ICSendMessage(hic, ICM_COMPRESS_END, 0, 0) != ICERR_OK) return Fail("ICM_COMPRESS_END", 0);
    (void)ICClose(hic);
  }
  if (AVIStreamRelease(stream) != 0) return Fail("AVIStreamRelease", 0);
  if (AVIFileRelease(file) != 0) return Fail("AVIFileRelease", 0);
  AVIFileExit();
  std::printf("%ld %.6f\n", static_cast<long>(frames), Seconds(start));
  return 0;
}

int Read(const std::string& path) {
  const auto start = Clock::now();
  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  HRESULT hr = AVIFileOpenA(&file, path.c_str(), OF_READ, nullptr);
  if (hr != AVIERR_OK) return Fail("AVIFileOpenA", hr);
  if ((hr = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0)) != AVIERR_OK) return Fail("AVIFileGetStream", hr);
  PGETFRAME decoder = AVIStreamGetFrameOpen(stream, AVIGETFRAMEF_BESTDISPLAYFMT);
  if (!decoder) return Fail("AVIStreamGetFrameOpen", 0);
  const LONG frames = AVIStreamLength(stream);
  unsigned checksum = 0;
  for (LONG i = 0; i < frames; ++i) {
    const auto* dib = static_cast<const std::uint8_t*>(AVIStreamGetFrame(decoder, i));
    if (!dib) return Fail("AVIStreamGetFrame", i);
    checksum += dib[40];  // touch the pixels, as a display would
  }
  (void)AVIStreamGetFrameClose(decoder);
  (void)AVIStreamRelease(stream);  // a file being read releases without anything to report
  (void)AVIFileRelease(file);
  AVIFileExit();
  std::printf("%ld %.6f\n", static_cast<long>(frames), Seconds(start));
  return checksum == 0xFFFFFFFFu;  // keeps the touch from being optimised away
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 6 && args[0] == "write") return Write(args[1], args[2], std::stoi(args[3]), std::stoi(args[4]), args[5]);
  if (args.size() == 2 && args[0] == "read") return Read(args[1]);
  std::fprintf(stderr, "usage: avi_bench write RAW.bgr OUT.avi WIDTH HEIGHT none|FOURCC | avi_bench read IN.avi\n");
  return 2;
}
