// Decoding files of every kind, each locked to 24 and 32 bits, and a table of
// corrupt, truncated and lying files that must fail cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <tiffio.h>

#include "platform/decode_stop.h"
#include "platform/dib/layout.h"
#include "platform/gdiplus.h"
#include "platform/picture_probe.h"
#include "platform/text.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using namespace testsupport;

GpStatus Decode(const std::string& path, std::unique_ptr<Bitmap>* out) {
  *out = std::make_unique<Bitmap>(WidenUtf8(path).c_str());
  return (*out)->lastStatus();
}

// Colours used by the palette cases: index i.
Rgb Swatch(int i) {
  return Rgb{static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(255 - i * 11), static_cast<std::uint8_t>(i * 5 + 3)};
}
std::vector<Rgb> Swatches(int n) {
  std::vector<Rgb> out;
  for (int i = 0; i < n; ++i) out.push_back(Swatch(i));
  return out;
}
std::vector<std::uint32_t> BmpSwatches(int n) {
  std::vector<std::uint32_t> out;
  for (const Rgb& c : Swatches(n)) out.push_back(static_cast<std::uint32_t>(c.r << 16 | c.g << 8 | c.b));
  return out;
}

constexpr int W = 11;  // odd, so 24-bit rows need padding
constexpr int H = 6;

struct DecodeCase {
  const char* name;
  std::function<bool(const std::string&)> write;
  PixelFormat format;
  std::function<Rgb(int, int)> expected;
  int tolerance = 0;
  int width = W;
  int height = H;
};

int IndexAt(int x, int y, int n) { return (x + 3 * y) % n; }

std::vector<DecodeCase> Cases() {
  const Pattern gradient = Gradient(W, H);
  const auto indexed = [](int n) { return [n](int x, int y) { return Swatch(IndexAt(x, y, n)); }; };
  const auto grey = [](int x, int y) {
    const auto v = static_cast<std::uint8_t>((x * 23 + y * 41) & 0xFF);
    return Rgb{v, v, v};
  };
  const auto bmpIndexed = [](int bits, bool topDown) {
    return [bits, topDown](const std::string& path) {
      const int n = 1 << bits;
      BmpImage bmp;
      bmp.width = W;
      bmp.height = topDown ? -H : H;
      bmp.bitCount = bits;
      bmp.palette = BmpSwatches(n);
      bmp.bits = BmpRows(W, H, bits, topDown, [n](int x, int y) { return static_cast<std::uint32_t>(IndexAt(x, y, n)); });
      return WriteBmp(path, bmp);
    };
  };
  const auto bmpDirect = [gradient](int bits, std::uint32_t compression, std::vector<std::uint32_t> masks, int headerSize,
                                    std::function<std::uint32_t(Rgb)> pack) {
    return [=](const std::string& path) {
      BmpImage bmp;
      bmp.width = W;
      bmp.height = H;
      bmp.bitCount = bits;
      bmp.compression = compression;
      bmp.masks = masks;
      bmp.headerSize = headerSize;
      bmp.bits = BmpRows(W, H, bits, false, [&](int x, int y) { return pack(gradient(x, y)); });
      return WriteBmp(path, bmp);
    };
  };
  // Colours a 5 or 6-bit channel can hold exactly after expansion.
  const auto five = [](std::uint8_t v) { const int q = v >> 3; return static_cast<std::uint8_t>(q << 3 | q >> 2); };
  const auto six = [](std::uint8_t v) { const int q = v >> 2; return static_cast<std::uint8_t>(q << 2 | q >> 4); };
  const auto png = [](int colorType, int depth, std::function<void(PngImage&)> fill) {
    return [=](const std::string& path) {
      PngImage image;
      image.width = W;
      image.height = H;
      image.colorType = colorType;
      image.bitDepth = depth;
      fill(image);
      return WritePng(path, image);
    };
  };
  const auto pngRgb = [gradient](int depth, bool alpha) {
    return [=](PngImage& image) {
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const Rgb c = gradient(x, y);
          const std::uint8_t samples[4] = {c.r, c.g, c.b, 200};
          for (int s = 0; s < (alpha ? 4 : 3); ++s) {
            image.rows.push_back(samples[s]);
            if (depth == 16) image.rows.push_back(samples[s]);  // v * 257 scales back to v
          }
        }
    };
  };
  const auto pngPacked = [](int bits, int n) {
    return [=](PngImage& image) {
      const std::size_t rowBytes = (static_cast<std::size_t>(W) * bits + 7) / 8;
      image.rows.assign(rowBytes * H, 0);
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const int bit = x * bits;
          image.rows[rowBytes * y + bit / 8] |= static_cast<std::uint8_t>(IndexAt(x, y, n) << (8 - bits - bit % 8));
        }
      if (image.colorType == 3) image.palette = Swatches(n);
    };
  };
  const auto gif = [](bool interlaced, int transparent, int extraFrames) {
    return [=](const std::string& path) {
      GifImage image;
      image.screenWidth = image.width = W;
      image.screenHeight = image.height = H;
      image.palette = Swatches(16);
      image.transparent = transparent;
      image.interlaced = interlaced;
      image.extraFrames = extraFrames;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) image.indices.push_back(static_cast<std::uint8_t>(IndexAt(x, y, 16)));
      return WriteGif(path, image);
    };
  };
  const auto tiffRgb = [gradient](std::function<void(TiffImage&)> adjust) {
    return [=](const std::string& path) {
      TiffImage image;
      image.width = W;
      image.height = H;
      image.samples = 3;
      image.photometric = PHOTOMETRIC_RGB;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const Rgb c = gradient(x, y);
          image.rows.insert(image.rows.end(), {c.r, c.g, c.b});
        }
      adjust(image);
      return WriteTiff(path, image);
    };
  };

  std::vector<DecodeCase> cases = {
      {"Bmp24", [=](const std::string& p) { return WriteBmpRgb(p, W, H, gradient); }, PixelFormat24bppRGB, gradient},
      {"Bmp24CoreHeader", bmpDirect(24, 0, {}, 12, [](Rgb c) { return std::uint32_t(c.b | c.g << 8 | c.r << 16); }),
       PixelFormat24bppRGB, gradient},
      {"Bmp32", bmpDirect(32, 0, {}, 40, [](Rgb c) { return std::uint32_t(c.b | c.g << 8 | c.r << 16); }),
       PixelFormat32bppRGB, gradient},
      {"Bmp32BitfieldsAlphaV5",
       bmpDirect(32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, 124,
                 [](Rgb c) { return std::uint32_t(c.b | c.g << 8 | c.r << 16 | 0x80u << 24); }),
       PixelFormat32bppARGB, gradient},
      {"Bmp32BitfieldsSwapped",
       bmpDirect(32, 3, {0xFF, 0xFF00, 0xFF0000}, 40, [](Rgb c) { return std::uint32_t(c.r | c.g << 8 | c.b << 16); }),
       PixelFormat32bppRGB, gradient},
      {"Bmp16Rgb555", bmpDirect(16, 0, {}, 40, [](Rgb c) { return std::uint32_t((c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3); }),
       PixelFormat16bppRGB555, [=](int x, int y) { const Rgb c = gradient(x, y); return Rgb{five(c.r), five(c.g), five(c.b)}; }},
      {"Bmp16Bitfields565",
       bmpDirect(16, 3, {0xF800, 0x7E0, 0x1F}, 40, [](Rgb c) { return std::uint32_t((c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3); }),
       PixelFormat16bppRGB565, [=](int x, int y) { const Rgb c = gradient(x, y); return Rgb{five(c.r), six(c.g), five(c.b)}; }},
      {"Bmp16Bitfields4444",
       bmpDirect(16, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}, 56,
                 [](Rgb c) { return std::uint32_t(0xF000 | (c.r >> 4) << 8 | (c.g >> 4) << 4 | c.b >> 4); }),
       PixelFormat32bppARGB, [=](int x, int y) {
         const Rgb c = gradient(x, y);
         const auto four = [](std::uint8_t v) { return static_cast<std::uint8_t>((v >> 4) * 17); };
         return Rgb{four(c.r), four(c.g), four(c.b)};
       }},
      {"Bmp8", bmpIndexed(8, false), PixelFormat8bppIndexed, indexed(256)},
      {"Bmp8TopDown", bmpIndexed(8, true), PixelFormat8bppIndexed, indexed(256)},
      {"Bmp4", bmpIndexed(4, false), PixelFormat4bppIndexed, indexed(16)},
      {"Bmp1", bmpIndexed(1, false), PixelFormat1bppIndexed, indexed(2)},
      {"JpegColour", [=](const std::string& p) { return WriteJpeg(p, W, H, gradient, 100); }, PixelFormat24bppRGB, gradient, 6},
      {"JpegSubsampled", [](const std::string& p) { return WriteJpeg(p, W, H, Solid({200, 40, 90}), 95, JpegSampling::k420); },
       PixelFormat24bppRGB, [](int, int) { return Rgb{200, 40, 90}; }, 4},
      {"JpegGrey", [=](const std::string& p) { return WriteJpeg(p, W, H, grey, 100, JpegSampling::kGrey); },
       PixelFormat8bppIndexed, grey, 3},
      {"PngRgb8", png(2, 8, pngRgb(8, false)), PixelFormat24bppRGB, gradient},
      {"PngRgb16", png(2, 16, pngRgb(16, false)), PixelFormat24bppRGB, gradient},
      {"PngRgba", png(6, 8, pngRgb(8, true)), PixelFormat32bppARGB, gradient},
      {"PngRgba16", png(6, 16, pngRgb(16, true)), PixelFormat32bppARGB, gradient},
      {"PngRgbInterlaced", png(2, 8, [=](PngImage& i) { pngRgb(8, false)(i); i.interlaced = true; }), PixelFormat24bppRGB,
       gradient},
      {"PngPalette8", png(3, 8, pngPacked(8, 256)), PixelFormat8bppIndexed, indexed(256)},
      {"PngPalette4", png(3, 4, pngPacked(4, 16)), PixelFormat4bppIndexed, indexed(16)},
      {"PngPalette2", png(3, 2, pngPacked(2, 4)), PixelFormat8bppIndexed, indexed(4)},
      {"PngPalette1", png(3, 1, pngPacked(1, 2)), PixelFormat1bppIndexed, indexed(2)},
      {"PngPaletteAlpha", png(3, 4, [=](PngImage& i) { pngPacked(4, 16)(i); i.paletteAlpha = {0, 128}; }),
       PixelFormat4bppIndexed, indexed(16)},
      {"PngGrey8", png(0, 8, [=](PngImage& i) {
         for (int y = 0; y < H; ++y)
           for (int x = 0; x < W; ++x) i.rows.push_back(grey(x, y).r);
       }), PixelFormat8bppIndexed, grey},
      {"PngGrey16", png(0, 16, [=](PngImage& i) {
         for (int y = 0; y < H; ++y)
           for (int x = 0; x < W; ++x) i.rows.insert(i.rows.end(), {grey(x, y).r, grey(x, y).r});
       }), PixelFormat8bppIndexed, grey},
      {"PngGrey1", png(0, 1, pngPacked(1, 2)), PixelFormat1bppIndexed,
       [=](int x, int y) { const std::uint8_t v = IndexAt(x, y, 2) ? 255 : 0; return Rgb{v, v, v}; }},
      {"PngGrey4", png(0, 4, pngPacked(4, 16)), PixelFormat8bppIndexed,
       [=](int x, int y) { const auto v = static_cast<std::uint8_t>(IndexAt(x, y, 16) * 17); return Rgb{v, v, v}; }},
      {"PngGreyAlpha", png(4, 8, [=](PngImage& i) {
         for (int y = 0; y < H; ++y)
           for (int x = 0; x < W; ++x) i.rows.insert(i.rows.end(), {grey(x, y).r, 255});
       }), PixelFormat32bppARGB, grey},
      {"PngGreyTransparent", png(0, 8, [=](PngImage& i) {
         for (int y = 0; y < H; ++y)
           for (int x = 0; x < W; ++x) i.rows.push_back(grey(x, y).r);
         i.transparentGrey = 0;
       }), PixelFormat32bppARGB, grey},
      {"Gif", gif(false, -1, 0), PixelFormat8bppIndexed, indexed(16)},
      {"GifInterlaced", gif(true, -1, 0), PixelFormat8bppIndexed, indexed(16)},
      {"GifTransparent", gif(false, 5, 0), PixelFormat8bppIndexed, indexed(16)},
      {"GifAnimatedFirstFrame", gif(false, -1, 2), PixelFormat8bppIndexed, indexed(16)},
      {"GifFrameOnLargerScreen", [](const std::string& path) {
         GifImage image;
         image.screenWidth = W;
         image.screenHeight = H;
         image.left = 2, image.top = 1, image.width = 3, image.height = 2;
         image.palette = Swatches(4);
         image.indices = {1, 2, 3, 3, 2, 1};
         return WriteGif(path, image);
       }, PixelFormat8bppIndexed, [](int x, int y) {
         if (x >= 2 && x < 5 && y >= 1 && y < 3) {
           const int i = (y - 1) * 3 + (x - 2);
           return Swatch(std::vector<int>{1, 2, 3, 3, 2, 1}[static_cast<std::size_t>(i)]);
         }
         return Swatch(0);  // the background colour
       }},
      // A screen of 0 by 0 takes the frame's size.
      {"GifNoScreen", [=](const std::string& path) {
         GifImage image;
         image.width = W, image.height = H;
         image.palette = Swatches(16);
         for (int y = 0; y < H; ++y)
           for (int x = 0; x < W; ++x) image.indices.push_back(static_cast<std::uint8_t>(IndexAt(x, y, 16)));
         return WriteGif(path, image);
       }, PixelFormat8bppIndexed, indexed(16)},
      // The transparent index (not 0) fills the screen around the frame.
      {"GifFrameOnLargerScreenTransparent", [](const std::string& path) {
         GifImage image;
         image.screenWidth = W;
         image.screenHeight = H;
         image.left = 1, image.top = 2, image.width = 2, image.height = 2;
         image.palette = Swatches(4);
         image.indices = {0, 1, 2, 3};
         image.transparent = 2;
         return WriteGif(path, image);
       }, PixelFormat8bppIndexed, [](int x, int y) {
         if (x >= 1 && x < 3 && y >= 2 && y < 4) return Swatch((y - 2) * 2 + (x - 1));
         return Swatch(2);
       }},
      {"TiffRgb", tiffRgb([](TiffImage&) {}), PixelFormat24bppRGB, gradient},
      {"TiffRgbLzw", tiffRgb([](TiffImage& t) { t.compression = COMPRESSION_LZW; }), PixelFormat24bppRGB, gradient},
      {"TiffRgbTiled", tiffRgb([](TiffImage& t) { t.tile = 16; }), PixelFormat32bppRGB, gradient},
      {"TiffRgbPlanes", tiffRgb([](TiffImage& t) {
         std::vector<std::uint8_t> planes;
         for (int s = 0; s < 3; ++s)
           for (std::size_t i = s; i < t.rows.size(); i += 3) planes.push_back(t.rows[i]);
         t.rows = planes;
         t.planar = PLANARCONFIG_SEPARATE;
       }), PixelFormat32bppRGB, gradient},
      {"TiffRgba", tiffRgb([](TiffImage& t) {
         std::vector<std::uint8_t> rgba;
         for (std::size_t i = 0; i < t.rows.size(); i += 3) rgba.insert(rgba.end(), {t.rows[i], t.rows[i + 1], t.rows[i + 2], 255});
         t.rows = rgba;
         t.samples = 4;
         t.extraSamples = {EXTRASAMPLE_UNASSALPHA};
       }), PixelFormat32bppARGB, gradient},
      {"TiffRgb16", tiffRgb([](TiffImage& t) {
         std::vector<std::uint8_t> wide;
         for (std::uint8_t v : t.rows) wide.insert(wide.end(), {v, v});
         t.rows = wide;
         t.bits = 16;
       }), PixelFormat32bppRGB, gradient},
      {"TiffGrey8", [=](const std::string& p) {
         std::vector<std::uint8_t> samples;
         for (int y = 0; y < H; ++y)
           for (int x = 0; x < W; ++x) samples.push_back(grey(x, y).r);
         return WriteTiffGrey8(p, W, H, samples);
       }, PixelFormat8bppIndexed, grey},
      {"TiffGrey8MinIsWhite", [=](const std::string& p) {
         TiffImage t;
         t.width = W, t.height = H, t.photometric = PHOTOMETRIC_MINISWHITE;
         for (int y = 0; y < H; ++y)
           for (int x = 0; x < W; ++x) t.rows.push_back(static_cast<std::uint8_t>(255 - grey(x, y).r));
         return WriteTiff(p, t);
       }, PixelFormat8bppIndexed, grey},
      {"TiffPalette8", [=](const std::string& p) {
         TiffImage t;
         t.width = W, t.height = H, t.photometric = PHOTOMETRIC_PALETTE;
         for (const Rgb& c : Swatches(256)) {
           t.red.push_back(static_cast<std::uint16_t>(c.r * 257));
           t.green.push_back(static_cast<std::uint16_t>(c.g * 257));
           t.blue.push_back(static_cast<std::uint16_t>(c.b * 257));
         }
         for (int y = 0; y < H; ++y)
           for (int x = 0; x < W; ++x) t.rows.push_back(static_cast<std::uint8_t>(IndexAt(x, y, 256)));
         return WriteTiff(p, t);
       }, PixelFormat8bppIndexed, indexed(256)},
      {"TiffBilevel", [=](const std::string& p) {
         TiffImage t;
         t.width = W, t.height = H, t.bits = 1;
         const std::size_t rowBytes = (W + 7) / 8;
         t.rows.assign(rowBytes * H, 0);
         for (int y = 0; y < H; ++y)
           for (int x = 0; x < W; ++x)
             if (IndexAt(x, y, 2)) t.rows[rowBytes * y + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
         return WriteTiff(p, t);
       }, PixelFormat1bppIndexed, [](int x, int y) { const std::uint8_t v = IndexAt(x, y, 2) ? 255 : 0; return Rgb{v, v, v}; }},
  };
  return cases;
}

class DecodeEachKind : public testing::TestWithParam<DecodeCase> {};

void ExpectPixels(const std::vector<std::uint8_t>& pixels, int bytesPerPixel, const DecodeCase& c) {
  ASSERT_EQ(pixels.size(), static_cast<std::size_t>(c.width) * c.height * bytesPerPixel);
  int wrong = 0;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      const std::uint8_t* p = pixels.data() + (static_cast<std::size_t>(y) * c.width + x) * bytesPerPixel;
      const Rgb want = c.expected(x, y);
      const bool near = std::abs(p[0] - want.b) <= c.tolerance && std::abs(p[1] - want.g) <= c.tolerance &&
                        std::abs(p[2] - want.r) <= c.tolerance;
      if (!near && ++wrong <= 3)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << int(p[2]) << "," << int(p[1]) << "," << int(p[0])
                      << " not " << int(want.r) << "," << int(want.g) << "," << int(want.b) << " (" << bytesPerPixel
                      << " bytes a pixel)";
    }
}

TEST_P(DecodeEachKind, GivesItsFormatAndLocksToTheRightBytes) {
  const DecodeCase& c = GetParam();
  TempDir dir;
  // The extension says nothing: the content picks the decoder.
  const std::string path = dir.file("picture.dat");
  ASSERT_TRUE(c.write(path));
  std::unique_ptr<Bitmap> bitmap;
  ASSERT_EQ(Decode(path, &bitmap), Ok);
  ASSERT_NE(bitmap->image(), nullptr);
  PixelFormat format = 0;
  ASSERT_EQ(GdipGetImagePixelFormat(bitmap->asImage(), &format), Ok);
  EXPECT_EQ(format, c.format);
  UINT width = 0, height = 0;
  EXPECT_EQ(GdipGetImageWidth(bitmap->asImage(), &width), Ok);
  EXPECT_EQ(GdipGetImageHeight(bitmap->asImage(), &height), Ok);
  EXPECT_EQ(width, static_cast<UINT>(c.width));
  EXPECT_EQ(height, static_cast<UINT>(c.height));
  ExpectPixels(LockedPixels(bitmap->image(), PixelFormat24bppRGB), 3, c);
  ExpectPixels(LockedPixels(bitmap->image(), PixelFormat32bppRGB), 4, c);
}

// The probe reads the size from the header alone, and counts at least the
// pixels the decoder makes (at most twice them) besides the file.
TEST_P(DecodeEachKind, ProbeFindsTheSizeAndCountsThePixels) {
  const DecodeCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.file("picture.dat");
  ASSERT_TRUE(c.write(path));
  std::unique_ptr<Bitmap> bitmap;
  ASSERT_EQ(Decode(path, &bitmap), Ok);
  BitmapData data{};
  ASSERT_EQ(GdipBitmapLockBits(bitmap->image(), nullptr, ImageLockModeRead, c.format, &data), Ok);
  const std::uint64_t pixels = std::uint64_t(std::abs(data.Stride)) * data.Height;
  ASSERT_EQ(GdipBitmapUnlockBits(bitmap->image(), &data), Ok);
  PictureProbe probe;
  ASSERT_TRUE(ProbePictureFile(path.c_str(), &probe));
  EXPECT_EQ(probe.width, c.width);
  EXPECT_EQ(probe.height, c.height);
  EXPECT_EQ(probe.fileBytes, std::filesystem::file_size(path));
  EXPECT_GE(probe.pixelBytes, pixels);
  EXPECT_LE(probe.pixelBytes, 2 * pixels);
  EXPECT_EQ(probe.bytes, probe.fileBytes + probe.pixelBytes);
}

INSTANTIATE_TEST_SUITE_P(Files, DecodeEachKind, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(Decode, TransparencyReachesTheAlphaChannel) {
  TempDir dir;
  const std::string path = dir.file("a.gif");
  GifImage image;
  image.screenWidth = image.width = 2;
  image.screenHeight = image.height = 1;
  image.palette = Swatches(2);
  image.indices = {0, 1};
  image.transparent = 1;
  ASSERT_TRUE(WriteGif(path, image));
  std::unique_ptr<Bitmap> bitmap;
  ASSERT_EQ(Decode(path, &bitmap), Ok);
  GpBitmap* cloned = nullptr;
  ASSERT_EQ(GdipCloneBitmapAreaI(0, 0, 2, 1, PixelFormat32bppARGB, bitmap->image(), &cloned), Ok);
  Bitmap clone(cloned);
  BitmapData data{};
  ASSERT_EQ(GdipBitmapLockBits(cloned, nullptr, ImageLockModeRead, PixelFormat32bppARGB, &data), Ok);
  const auto* p = static_cast<const std::uint8_t*>(data.Scan0);
  EXPECT_EQ(p[3], 255);
  EXPECT_EQ(p[7], 0);
  EXPECT_EQ(GdipBitmapUnlockBits(cloned, &data), Ok);
}

// RGBA TIFFs keep the colours they store, as PNGs do: straight alpha as it
// is, even under alpha 0; premultiplied alpha divided out when locked.
TEST(Decode, TiffAlphaKeepsTheStoredColours) {
  struct Case {
    std::uint16_t extra;
    std::vector<std::uint8_t> rgba;
    PixelFormat format;
    std::vector<std::uint8_t> bgr;
  };
  for (const Case& c : {Case{EXTRASAMPLE_UNASSALPHA, {200, 100, 50, 0, 90, 60, 30, 1, 10, 20, 30, 255},
                             PixelFormat32bppARGB, {50, 100, 200, 30, 60, 90, 30, 20, 10}},
                        Case{EXTRASAMPLE_ASSOCALPHA, {0, 0, 0, 0, 64, 32, 16, 128, 10, 20, 30, 255},
                             PixelFormat32bppPARGB, {0, 0, 0, 32, 64, 128, 30, 20, 10}}}) {
    SCOPED_TRACE(c.extra);
    TempDir dir;
    TiffImage t;
    t.width = 3, t.height = 1, t.samples = 4, t.photometric = PHOTOMETRIC_RGB;
    t.extraSamples = {c.extra};
    t.rows = c.rgba;
    ASSERT_TRUE(WriteTiff(dir.file("a.tif"), t));
    std::unique_ptr<Bitmap> bitmap;
    ASSERT_EQ(Decode(dir.file("a.tif"), &bitmap), Ok);
    PixelFormat format = 0;
    ASSERT_EQ(GdipGetImagePixelFormat(bitmap->asImage(), &format), Ok);
    EXPECT_EQ(format, c.format);
    EXPECT_EQ(LockedPixels(bitmap->image(), PixelFormat24bppRGB), c.bgr);
  }
}

// A scan whose data meets the end-of-image marker part of the way down: the
// rows it holds decode, the rows it lacks stay black (and untouched). The
// whole file keeps its last rows.
TEST(Decode, AJpegScanEndingEarlyLeavesTheRowsItLacksBlack) {
  constexpr int kW = 64, kH = 256;
  const Rgb colour{200, 100, 50};
  TempDir dir;
  ASSERT_TRUE(WriteJpeg(dir.file("whole.jpg"), kW, kH, Solid(colour), 95, JpegSampling::k420));
  std::vector<std::uint8_t> bytes = ReadFileBytes(dir.file("whole.jpg"));
  std::size_t scan = 0;
  for (std::size_t i = 2; i + 3 < bytes.size() && !scan; ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) scan = i + 2 + (bytes[i + 2] << 8 | bytes[i + 3]);
  ASSERT_NE(scan, 0u);
  std::size_t cut = scan + (bytes.size() - 2 - scan) * 3 / 10;
  if (bytes[cut - 1] == 0xFF) --cut;  // not inside a stuffed byte
  bytes.resize(cut);
  bytes.insert(bytes.end(), {0xFF, 0xD9});
  WriteFileBytes(dir.file("cut.jpg"), bytes);

  for (const auto& [name, bottom] : {std::pair{"whole.jpg", colour}, std::pair{"cut.jpg", Rgb{0, 0, 0}}}) {
    SCOPED_TRACE(name);
    std::unique_ptr<Bitmap> bitmap;
    ASSERT_EQ(Decode(dir.file(name), &bitmap), Ok);
    const std::vector<std::uint8_t> pixels = LockedPixels(bitmap->image(), PixelFormat24bppRGB);
    const auto near = [](const std::uint8_t* p, Rgb want) {
      return std::abs(p[2] - want.r) <= 3 && std::abs(p[1] - want.g) <= 3 && std::abs(p[0] - want.b) <= 3;
    };
    EXPECT_TRUE(near(pixels.data(), colour));
    EXPECT_TRUE(near(pixels.data() + (pixels.size() - 3), bottom));
  }
}

TEST(Decode, RleBitmapsExpandRunsEscapesAndDeltas) {
  // 4 x 3, bottom-up: the bottom row a literal 1, 2, 3 and a run of one 1;
  // the middle row skipped by a delta; the top row a run of four 3s.
  const std::vector<std::uint8_t> rle8 = {0, 3, 1, 2, 3, 0, 1, 1, 0, 0, 0, 2, 0, 1, 4, 3, 0, 1};
  const std::vector<std::uint8_t> rle4 = {0, 3, 0x12, 0x30, 1, 0x11, 0, 0, 0, 2, 0, 1, 4, 0x33, 0, 1};
  for (const auto& [compression, bits, codes] :
       {std::tuple{BI_RLE8, 8, rle8}, std::tuple{BI_RLE4, 4, rle4}}) {
    SCOPED_TRACE(bits);
    TempDir dir;
    BmpImage bmp;
    bmp.width = 4;
    bmp.height = 3;
    bmp.bitCount = bits;
    bmp.compression = compression;
    bmp.palette = BmpSwatches(4);
    bmp.bits = codes;
    ASSERT_TRUE(WriteBmp(dir.file("rle.bmp"), bmp));
    std::unique_ptr<Bitmap> bitmap;
    ASSERT_EQ(Decode(dir.file("rle.bmp"), &bitmap), Ok);
    const std::vector<std::uint8_t> pixels = LockedPixels(bitmap->image(), PixelFormat24bppRGB);
    const int want[3][4] = {{3, 3, 3, 3}, {0, 0, 0, 0}, {1, 2, 3, 1}};  // rows from the top
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) {
        const Rgb c = Swatch(want[y][x]);
        const std::uint8_t* p = pixels.data() + (y * 4 + x) * 3;
        EXPECT_EQ((Rgb{p[2], p[1], p[0]}), c) << x << "," << y;
      }
  }
}

// ---------------------------------------------------------------------------
// Files that must fail

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

std::vector<std::uint8_t> Written(const std::function<bool(const std::string&)>& write) {
  TempDir dir;
  write(dir.file("f"));
  return ReadFileBytes(dir.file("f"));
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> bytes, double keep) {
  bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * keep));
  return bytes;
}

std::vector<std::uint8_t> SmallBmp() { return Written([](const std::string& p) { return WriteBmpRgb(p, 64, 64, Gradient(64, 64)); }); }
std::vector<std::uint8_t> SmallJpeg() { return Written([](const std::string& p) { return WriteJpeg(p, 64, 64, Gradient(64, 64)); }); }
std::vector<std::uint8_t> SmallPng() { return Written([](const std::string& p) { return WritePngRgb(p, 64, 64, Gradient(64, 64)); }); }
std::vector<std::uint8_t> SmallTiff() { return Written([](const std::string& p) { return WriteTiffRgb(p, 64, 64, Gradient(64, 64)); }); }
std::vector<std::uint8_t> SmallGif() {
  return Written([](const std::string& p) {
    GifImage g;
    g.screenWidth = g.width = 64;
    g.screenHeight = g.height = 64;
    g.palette = Swatches(16);
    for (int i = 0; i < 64 * 64; ++i) g.indices.push_back(static_cast<std::uint8_t>((i * 7 + i / 64) % 16));
    return WriteGif(p, g);
  });
}

// A TIFF whose width and length tags claim 60000.
std::vector<std::uint8_t> HugeTiff() {
  std::vector<std::uint8_t> bytes = SmallTiff();
  PatchTiffTag(bytes, TIFFTAG_IMAGEWIDTH, 60000);
  PatchTiffTag(bytes, TIFFTAG_IMAGELENGTH, 60000);
  return bytes;
}

std::vector<std::uint8_t> HugePng() {
  std::vector<std::uint8_t> bytes = SmallPng();
  PutBe32(bytes, 16, 60000);  // IHDR width and height
  PutBe32(bytes, 20, 60000);
  PutBe32(bytes, 29, Crc32(bytes.data() + 12, 17));
  return bytes;
}

std::vector<std::uint8_t> HugeJpeg() {
  std::vector<std::uint8_t> bytes = SmallJpeg();
  for (std::size_t i = 2; i + 9 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {  // SOF0: length, precision, height, width
      bytes[i + 5] = bytes[i + 7] = 60000 >> 8;
      bytes[i + 6] = bytes[i + 8] = 60000 & 0xFF;
      break;
    }
  return bytes;
}

// SmallJpeg's header claiming 4000 x 4000: its scan is far too short to code
// that many blocks.
std::vector<std::uint8_t> LyingJpeg() {
  std::vector<std::uint8_t> bytes = SmallJpeg();
  for (std::size_t i = 2; i + 9 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = bytes[i + 7] = 4000 >> 8;
      bytes[i + 6] = bytes[i + 8] = 4000 & 0xFF;
      break;
    }
  return bytes;
}

std::vector<std::uint8_t> HugeBmp() {
  std::vector<std::uint8_t> bytes = SmallBmp();
  bytes[18] = bytes[22] = 60000 & 0xFF;
  bytes[19] = bytes[23] = 60000 >> 8;
  return bytes;
}

std::vector<std::uint8_t> HugeGif() {
  std::vector<std::uint8_t> bytes = SmallGif();
  bytes[6] = bytes[8] = 60000 & 0xFF;
  bytes[7] = bytes[9] = 60000 >> 8;
  return bytes;
}

std::vector<std::uint8_t> Random(const char* magic, std::size_t magicLength, std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(magic, magic + magicLength);
  while (bytes.size() < size) bytes.push_back(static_cast<std::uint8_t>(random()));
  return bytes;
}

struct CorruptCase {
  const char* name;
  std::function<std::vector<std::uint8_t>()> bytes;
  GpStatus expected;  // GenericError: any failure will do
};

std::vector<CorruptCase> CorruptCases() {
  return {
      {"Empty", [] { return std::vector<std::uint8_t>{}; }, UnknownImageFormat},
      {"RandomBytes", [] { return Random("", 0, 4096, 1); }, UnknownImageFormat},
      {"TextFile", [] { const std::string t = "just some text\n"; return std::vector<std::uint8_t>(t.begin(), t.end()); }, UnknownImageFormat},
      {"BmpTruncated", [] { return Cut(SmallBmp(), 0.5); }, InvalidParameter},
      {"BmpHeaderCut", [] { auto b = SmallBmp(); b.resize(20); return b; }, InvalidParameter},
      {"BmpHuge", HugeBmp, OutOfMemory},
      {"BmpPixelsPastTheEnd", [] { auto b = SmallBmp(); b[10] = 0xFF; b[11] = 0xFF; b[12] = 0xFF; return b; }, InvalidParameter},
      {"BmpHeaderPastTheEnd", [] { auto b = SmallBmp(); b[14] = 0xF0; b[15] = 0xFF; return b; }, InvalidParameter},
      {"BmpPalettePastTheEnd", [] {
         BmpImage bmp;
         bmp.width = bmp.height = 2;
         bmp.bitCount = 8;
         auto b = MakeBmp(bmp);
         b[46] = 0; b[47] = 1;  // biClrUsed 256, none present
         return b; }, InvalidParameter},
      {"BmpRandom", [] { return Random("BM", 2, 4096, 2); }, GenericError},
      {"JpegTruncated", [] { return Cut(SmallJpeg(), 0.6); }, InvalidParameter},
      {"JpegHuge", HugeJpeg, OutOfMemory},
      {"JpegScanTooShortForItsSize", LyingJpeg, InvalidParameter},
      {"JpegRandom", [] { return Random("\xFF\xD8\xFF", 3, 4096, 3); }, GenericError},
      {"PngTruncated", [] { return Cut(SmallPng(), 0.6); }, InvalidParameter},
      {"PngHuge", HugePng, OutOfMemory},
      {"PngBadCrc", [] { auto b = SmallPng(); b[29] ^= 0xFF; return b; }, InvalidParameter},
      {"PngRandom", [] { return Random("\x89PNG\r\n\x1A\n", 8, 4096, 4); }, GenericError},
      {"GifTruncated", [] { return Cut(SmallGif(), 0.6); }, InvalidParameter},
      {"GifHuge", HugeGif, OutOfMemory},
      {"GifNoImage", [] { return std::vector<std::uint8_t>{'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0, 0x3B}; }, InvalidParameter},
      {"GifRandom", [] { return Random("GIF89a", 6, 4096, 5); }, GenericError},
      {"TiffTruncated", [] { return Cut(SmallTiff(), 0.6); }, InvalidParameter},
      {"TiffHuge", HugeTiff, OutOfMemory},
      {"TiffRandom", [] { return Random("II*\0", 4, 4096, 6); }, GenericError},
  };
}

class CorruptFiles : public testing::TestWithParam<CorruptCase> {};

TEST_P(CorruptFiles, GiveNoImageAndAFailingStatus) {
  const CorruptCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.file("bad.bmp");
  WriteFileBytes(path, c.bytes());
  GpBitmap* bitmap = reinterpret_cast<GpBitmap*>(&dir);  // must be overwritten
  const GpStatus status = GdipCreateBitmapFromFile(WidenUtf8(path).c_str(), &bitmap);
  EXPECT_EQ(bitmap, nullptr);
  if (c.expected == GenericError)
    EXPECT_NE(status, Ok);
  else
    EXPECT_EQ(status, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Files, CorruptFiles, testing::ValuesIn(CorruptCases()),
                         [](const testing::TestParamInfo<CorruptCase>& info) { return std::string(info.param.name); });

// A progressive JPEG with its last scan repeated until it has `scans`: the
// decoder warns of each repeat and decodes it again.
std::vector<std::uint8_t> JpegWithScans(std::size_t scans) {
  std::vector<std::uint8_t> bytes = Written(
      [](const std::string& p) { return WriteJpeg(p, 64, 64, Gradient(64, 64), 90, JpegSampling::kGrey, true); });
  std::vector<std::size_t> starts;
  for (std::size_t i = 2; i + 1 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) starts.push_back(i);
  const std::size_t end = bytes.size() - 2;  // the end-of-image marker
  const std::vector<std::uint8_t> last(bytes.begin() + std::ptrdiff_t(starts.back()), bytes.begin() + std::ptrdiff_t(end));
  for (std::size_t n = starts.size(); n < scans; ++n) bytes.insert(bytes.end() - 2, last.begin(), last.end());
  return bytes;
}

TEST(Decode, AJpegMayHaveAHundredScansAndNoMore) {
  TempDir dir;
  for (const auto& [scans, expected] : {std::pair{std::size_t{100}, Ok}, std::pair{std::size_t{101}, InvalidParameter}}) {
    WriteFileBytes(dir.file("p.jpg"), JpegWithScans(scans));
    std::unique_ptr<Bitmap> bitmap;
    EXPECT_EQ(Decode(dir.file("p.jpg"), &bitmap), expected) << scans << " scans";
  }
}

// A decode whose job is told to stop gives up like one of a corrupt file.
TEST(Decode, AStopRequestEndsEveryKindOfDecode) {
  TempDir dir;
  const std::pair<const char*, std::vector<std::uint8_t>> files[] = {
      {"jpeg", SmallJpeg()}, {"png", SmallPng()}, {"gif", SmallGif()}, {"tiff", SmallTiff()}};
  for (const auto& [name, bytes] : files) {
    WriteFileBytes(dir.file(name), bytes);
    std::atomic<bool> stop{false};
    const kernel::DecodeStopScope scope(stop);
    std::unique_ptr<Bitmap> bitmap;
    EXPECT_EQ(Decode(dir.file(name), &bitmap), Ok) << name;
    stop = true;
    EXPECT_NE(Decode(dir.file(name), &bitmap), Ok) << name;
  }
}

TEST(Probe, FindsNoPictureInWhatIsNotAPictureFile) {
  TempDir dir;
  WriteFileText(dir.file("text.png"), "not a picture");
  ASSERT_EQ(mkfifo(dir.file("fifo.png").c_str(), 0600), 0);
  PictureProbe probe;
  for (const std::string& path : {dir.file("text.png"), dir.file("fifo.png"), dir.path().string(),
                                  std::string("/dev/zero"), dir.file("none.png")})
    EXPECT_FALSE(ProbePictureFile(path.c_str(), &probe)) << path;
}

// The probe names the TIFFs the codecs refuse, so that they are read once,
// by the TIFF reader: single-sample 16-bit grey, and only those.
TEST(Probe, NamesTheTiffsTheCodecsRefuse) {
  TempDir dir;
  struct Case {
    int samples, bits, photometric;
    bool omitPhotometric;
    bool refused;
  };
  int i = 0;
  for (const Case& c : {Case{1, 16, PHOTOMETRIC_MINISBLACK, false, true}, Case{1, 16, PHOTOMETRIC_MINISWHITE, false, true},
                        Case{1, 16, PHOTOMETRIC_MINISBLACK, true, true}, Case{1, 8, PHOTOMETRIC_MINISBLACK, false, false},
                        Case{2, 16, PHOTOMETRIC_MINISBLACK, false, false}, Case{3, 16, PHOTOMETRIC_RGB, false, false}}) {
    TiffImage tiff;
    tiff.width = 3, tiff.height = 2, tiff.samples = c.samples, tiff.bits = c.bits;
    tiff.photometric = c.photometric, tiff.omitPhotometric = c.omitPhotometric;
    if (c.samples == 2) tiff.extraSamples = {EXTRASAMPLE_UNSPECIFIED};
    tiff.rows.assign(std::size_t(3 * 2 * c.samples * c.bits / 8), 7);
    const std::string path = dir.file("t" + std::to_string(i++) + ".tif");
    ASSERT_TRUE(WriteTiff(path, tiff));
    PictureProbe probe;
    ASSERT_TRUE(ProbePictureFile(path.c_str(), &probe));
    EXPECT_EQ(probe.greyTiff16, c.refused) << path;
    std::unique_ptr<Bitmap> decoded;
    EXPECT_EQ(Decode(path, &decoded) == UnknownImageFormat, c.refused) << path;
  }
}

// A picture decoded to fit comes at most the fit's size on each side;
// sizes not given decode whole. The probe for that fit counts the pixels
// made.
TEST(Decode, ToFitReducesPicturesToTheFit) {
  TempDir dir;
  ASSERT_TRUE(WriteJpeg(dir.file("p.jpg"), 640, 504, Gradient(640, 504), 90, JpegSampling::k420));
  ASSERT_TRUE(WriteJpeg(dir.file("odd.jpg"), 640, 503, Gradient(640, 503), 90, JpegSampling::k420));
  ASSERT_TRUE(WritePngRgb(dir.file("p.png"), 640, 504, Gradient(640, 504)));
  struct Case {
    const char* name;
    INT fitWidth, fitHeight;
    UINT width, height;
  };
  for (const Case& c : {Case{"p.jpg", 0, 0, 640, 504}, Case{"p.jpg", 321, 100, 321, 100},
                        Case{"p.jpg", 320, 252, 320, 252}, Case{"p.jpg", 1, 1, 1, 1},
                        Case{"odd.jpg", 80, 62, 80, 62}, Case{"p.png", 80, 62, 80, 62},
                        Case{"p.png", 1000, 100, 640, 100}, Case{"p.png", 0, 62, 640, 504}}) {
    GpBitmap* image = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromFileToFit(WidenUtf8(dir.file(c.name)).c_str(), c.fitWidth, c.fitHeight, &image),
              Ok);
    const Bitmap picture(image);
    UINT width = 0, height = 0;
    EXPECT_EQ(GdipGetImageWidth(picture.asImage(), &width), Ok);
    EXPECT_EQ(GdipGetImageHeight(picture.asImage(), &height), Ok);
    EXPECT_EQ(width, c.width) << c.name << " to fit " << c.fitWidth << "x" << c.fitHeight;
    EXPECT_EQ(height, c.height) << c.name << " to fit " << c.fitWidth << "x" << c.fitHeight;
    PictureProbe probe;
    ASSERT_TRUE(ProbePictureFile(dir.file(c.name).c_str(), &probe, c.fitWidth, c.fitHeight));
    EXPECT_EQ(probe.pixelBytes, static_cast<std::uint64_t>(dib::Stride(c.width, 24)) * c.height) << c.name;
  }
}

// The middle a frame shows, decoded alone, is the same pixels as that middle
// cut from the whole picture, at the iMCU edges of the crop included.
std::vector<std::uint8_t> Middle(const std::string& path, INT cols, INT rows, bool clipped, UINT* w, UINT* h) {
  GpBitmap* image = nullptr;
  const std::u16string wide = WidenUtf8(path);
  if ((clipped ? GdipCreateBitmapFromFileClipped(wide.c_str(), 0, 0, cols, rows, &image)
               : GdipCreateBitmapFromFile(wide.c_str(), &image)) != Ok)
    return {};
  const Bitmap picture(image);
  UINT width = 0, height = 0;
  if (GdipGetImageWidth(picture.asImage(), &width) != Ok || GdipGetImageHeight(picture.asImage(), &height) != Ok)
    return {};
  *w = std::min<UINT>(width, cols), *h = std::min<UINT>(height, rows);
  const GpRect area{INT(width - *w) / 2, INT(height - *h) / 2, INT(*w), INT(*h)};
  std::vector<std::uint8_t> pixels(std::size_t{*w} * *h * 3);
  BitmapData data{};
  data.Stride = INT(*w) * 3;
  data.Scan0 = pixels.data();
  if (GdipBitmapLockBits(image, &area, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat24bppRGB, &data) != Ok)
    return {};
  (void)GdipBitmapUnlockBits(image, &data);
  return pixels;
}

TEST(Decode, AClippedJpegIsTheMiddleOfTheWholeOne) {
  TempDir dir;
  // Noise finer than a block, so that any upsampling seam at the crop shows.
  const Pattern noise = [](int x, int y) {
    const auto v = static_cast<std::uint32_t>(x * 2654435761u ^ y * 40503u);
    return Rgb{std::uint8_t(v >> 3), std::uint8_t(v >> 11), std::uint8_t(v >> 19)};
  };
  struct Case {
    int width, height;
    JpegSampling sampling;
    bool progressive;
    INT cols, rows;
  };
  for (const Case& c : {Case{301, 203, JpegSampling::k420, false, 100, 60}, Case{301, 203, JpegSampling::k420, true, 97, 61},
                        Case{300, 200, JpegSampling::k444, false, 64, 400}, Case{300, 200, JpegSampling::k444, true, 500, 33},
                        Case{333, 177, JpegSampling::k420, false, 332, 176}, Case{64, 48, JpegSampling::kGrey, false, 17, 9},
                        Case{120, 90, JpegSampling::k420, false, 200, 100}}) {
    const std::string path = dir.file("c.jpg");
    ASSERT_TRUE(WriteJpeg(path, c.width, c.height, noise, 90, c.sampling, c.progressive));
    UINT w = 0, h = 0, wholeW = 0, wholeH = 0;
    const std::vector<std::uint8_t> clipped = Middle(path, c.cols, c.rows, true, &w, &h);
    const std::vector<std::uint8_t> whole = Middle(path, c.cols, c.rows, false, &wholeW, &wholeH);
    const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + " into " +
                             std::to_string(c.cols) + "x" + std::to_string(c.rows);
    ASSERT_FALSE(whole.empty()) << name;
    EXPECT_EQ(w, wholeW) << name;
    EXPECT_EQ(h, wholeH) << name;
    EXPECT_TRUE(clipped == whole) << name << (c.progressive ? " progressive" : "");
  }
}

// A directory that repeats a tag: libtiff reads the first copy, and the
// probe must too, or a later copy claiming a far larger (or smaller)
// picture slips past the loader's memory check.
TEST(Probe, ReadsTheFirstOfRepeatedTiffTagsAsTheDecoderDoes) {
  std::vector<std::uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 9, 0};
  const auto put = [&](std::uint32_t value, int bytes) {
    for (int b = 0; b < bytes; ++b) tiff.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
  };
  const std::uint32_t pixelsAt = 8 + 2 + 9 * 12 + 4;
  const std::uint32_t entries[][3] = {{256, 3, 4},  {257, 3, 3}, {257, 3, 60000},   {258, 3, 8}, {259, 3, 1},
                                      {262, 3, 1},  {273, 4, pixelsAt}, {278, 3, 3}, {279, 4, 12}};
  for (const auto& [tag, type, value] : entries) put(tag, 2), put(type, 2), put(1, 4), put(value, 4);
  put(0, 4);
  tiff.resize(pixelsAt + 12, 0x80);
  TempDir dir;
  const std::string path = dir.file("repeated.tif");
  WriteFileBytes(path, tiff);
  std::unique_ptr<Bitmap> bitmap;
  ASSERT_EQ(Decode(path, &bitmap), Ok);
  UINT width = 0, height = 0;
  ASSERT_EQ(GdipGetImageWidth(bitmap->asImage(), &width), Ok);
  ASSERT_EQ(GdipGetImageHeight(bitmap->asImage(), &height), Ok);
  PictureProbe probe;
  ASSERT_TRUE(ProbePictureFile(path.c_str(), &probe));
  EXPECT_EQ(probe.width, static_cast<std::int64_t>(width));
  EXPECT_EQ(probe.height, static_cast<std::int64_t>(height));
}

TEST(Decode, MissingFilesAndFoldersAreNotFound) {
  TempDir dir;
  GpBitmap* bitmap = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromFile(WidenUtf8(dir.file("none.jpg")).c_str(), &bitmap), FileNotFound);
  EXPECT_EQ(GdipCreateBitmapFromFile(WidenUtf8(dir.path().string()).c_str(), &bitmap), FileNotFound);
  EXPECT_EQ(bitmap, nullptr);
}

TEST(Decode, FileNamesOutsideAsciiOpen) {
  TempDir dir;
  // Valid UTF-8 and a byte that is not UTF-8 at all.
  for (const std::string name : {"Bild \xC3\xA9t\xC3\xA9 \xE6\x97\xA5.png", "raw \xE9\xFF.png"}) {
    const std::string path = dir.file(name);
    ASSERT_TRUE(WritePngRgb(path, 4, 4, Solid({1, 2, 3})));
    std::unique_ptr<Bitmap> bitmap;
    EXPECT_EQ(Decode(path, &bitmap), Ok) << name;
  }
}

}  // namespace
