// Driver of bench/pictures.sh.
//   picture_bench make-tiffs DIR COUNT WIDTH HEIGHT
//     writes COUNT 16-bit grey TIFFs holding 10-bit samples, as scientific
//     cameras store them.
//   picture_bench run WIDTH HEIGHT FILE...
//     loads each picture and stretches it onto a WIDTH x HEIGHT 24-bit frame
//     the way a Make-AVI job composes its frames (a copy of a blank canvas,
//     drawn on, locked to 24 bits, rows copied into a bottom-up frame), then
//     prints how many pictures a second that took.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <tiffio.h>

#include "picture/load_picture.h"
#include "platform/dib/layout.h"

namespace {

int MakeTiffs(const std::string& dir, int count, int width, int height) {
  std::filesystem::create_directories(dir);
  std::vector<std::uint16_t> row(static_cast<std::size_t>(width));
  std::uint32_t noise = 12345;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/pic%03d.tif", i);
    TIFF* tif = TIFFOpen((dir + name).c_str(), "w");
    if (!tif) return 1;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        noise = noise * 1664525u + 1013904223u;
        const int wave = ((x + 3 * i) * 1023 / width + y * 511 / height) & 1023;
        row[static_cast<std::size_t>(x)] = static_cast<std::uint16_t>((wave + (noise >> 28)) & 1023);
      }
      if (TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
        TIFFClose(tif);
        return 1;
      }
    }
    TIFFClose(tif);
  }
  return 0;
}

int Run(int cols, int rows, const std::vector<std::string>& files) {
  std::uintptr_t token = 0;
  GdiplusStartupInput input;
  if (GdiplusStartup(&token, &input, nullptr) != Ok) return 1;
  GpBitmap* canvas = nullptr;
  if (GdipCreateBitmapFromScan0(cols, rows, 0, PixelFormat24bppRGB, nullptr, &canvas) != Ok) return 1;
  const auto stride = static_cast<std::size_t>(dib::Stride(cols, 24));
  std::vector<std::uint8_t> frame(stride * rows);
  const GpPointF points[3] = {{0, 0}, {static_cast<float>(cols), 0}, {0, static_cast<float>(rows)}};

  using Clock = std::chrono::steady_clock;
  Clock::duration loading{}, composing{};
  int failed = 0;
  unsigned checksum = 0;
  for (const std::string& file : files) {
    const auto start = Clock::now();
    std::unique_ptr<Bitmap> picture = LoadPicture(file.c_str());
    const auto loaded = Clock::now();
    loading += loaded - start;
    if (!picture) {
      ++failed;
      continue;
    }
    GpBitmap* copy = nullptr;
    GpGraphics* graphics = nullptr;
    BitmapData data{};
    bool ok = GdipCloneBitmapAreaI(0, 0, cols, rows, PixelFormat24bppRGB, canvas, &copy) == Ok &&
              GdipGetImageGraphicsContext(AsImage(copy), &graphics) == Ok &&
              GdipDrawImagePoints(graphics, picture->asImage(), points, 3) == Ok;
    if (graphics) (void)GdipDeleteGraphics(graphics);
    picture.reset();
    if (ok && GdipBitmapLockBits(copy, nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data) == Ok) {
      std::memset(frame.data(), 0, frame.size());
      for (int i = 0; i < rows; ++i)
        std::memcpy(frame.data() + stride * (rows - 1 - i),
                    static_cast<const std::uint8_t*>(data.Scan0) + static_cast<std::ptrdiff_t>(i) * data.Stride,
                    3 * static_cast<std::size_t>(cols));
      (void)GdipBitmapUnlockBits(copy, &data);
      checksum += frame[stride * (rows / 2) + 3 * (cols / 2)];
    } else {
      ok = false;
    }
    if (copy) (void)GdipDisposeImage(AsImage(copy));
    if (!ok) ++failed;
    composing += Clock::now() - loaded;
  }
  (void)GdipDisposeImage(AsImage(canvas));
  GdiplusShutdown(token);

  const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
  const double total = seconds(loading + composing);
  const auto count = static_cast<double>(files.size());
  std::printf("pictures %zu failed %d seconds %.3f per_second %.2f load_ms %.2f stretch_ms %.2f checksum %u\n",
              files.size(), failed, total, count / total, 1000 * seconds(loading) / count,
              1000 * seconds(composing) / count, checksum);
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "make-tiffs" && argc == 6)
    return MakeTiffs(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
  if (mode == "run" && argc >= 5) return Run(std::atoi(argv[2]), std::atoi(argv[3]), {argv + 4, argv + argc});
  std::fprintf(stderr,
               "usage: picture_bench make-tiffs DIR COUNT WIDTH HEIGHT\n"
               "       picture_bench run WIDTH HEIGHT FILE...\n");
  return 2;
}
