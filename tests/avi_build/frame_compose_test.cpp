// Composing pictures into frames: where a clipped picture lands, that a
// stretched one covers the frame upright, and padding.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "avi_build/frame_compose.h"
#include "picture/load_picture.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using avi_build::ComposeFrame;
using avi_build::ComposeResult;
using avi_build::FrameBuffer;
using avi_build::StretchTarget;

// A pixel that says where it came from (never black).
struct Bgr {
  std::uint8_t b, g, r;
  bool operator==(const Bgr&) const = default;
};
Bgr Coded(int x, int y) {
  return {std::uint8_t(1 + (x % 200)), std::uint8_t(1 + (y % 200)), std::uint8_t(1 + ((x / 200) * 8 + y / 200))};
}

// A 24-bit picture of W × H coded pixels, made in memory.
std::unique_ptr<Bitmap> CodedPicture(int W, int H) {
  GpBitmap* image = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromScan0(W, H, 0, PixelFormat24bppRGB, nullptr, &image), Ok);
  BitmapData data{};
  EXPECT_EQ(GdipBitmapLockBits(image, nullptr, ImageLockModeWrite, PixelFormat24bppRGB, &data), Ok);
  for (int y = 0; y < H; ++y) {
    auto* row = static_cast<std::uint8_t*>(data.Scan0) + std::ptrdiff_t(y) * data.Stride;
    for (int x = 0; x < W; ++x) {
      const Bgr c = Coded(x, y);
      std::memcpy(row + 3 * x, &c, 3);
    }
  }
  EXPECT_EQ(GdipBitmapUnlockBits(image, &data), Ok);
  return std::make_unique<Bitmap>(image);
}

// Frame pixel (x, y), y counted from the top.
Bgr FramePixel(const FrameBuffer& frame, int x, int y) {
  const std::uint8_t* p = frame.pixels.get() + std::ptrdiff_t(frame.header.biHeight - 1 - y) * frame.stride + 3 * x;
  return {p[0], p[1], p[2]};
}

struct ClipCase {
  int W, H;
  int left, top;        // black columns on the left, black rows at the top
  int sourceX, sourceY; // first source column and row copied
};

class ClipTest : public testing::TestWithParam<ClipCase> {};

TEST_P(ClipTest, CentresOrCutsThePictureOnBlack) {
  const ClipCase c = GetParam();
  const int cols = 1280, rows = 1024;
  FrameBuffer frame;
  ASSERT_TRUE(frame.Make(cols, rows));
  StretchTarget unused;
  ASSERT_EQ(ComposeFrame(CodedPicture(c.W, c.H), 1, unused, frame), ComposeResult::Composed);

  const int w = std::min(c.W, cols), h = std::min(c.H, rows);
  const Bgr black{0, 0, 0};
  int mismatches = 0;
  for (int y = 0; y < rows && mismatches < 5; ++y) {
    for (int x = 0; x < cols && mismatches < 5; ++x) {
      const bool inside = x >= c.left && x < c.left + w && y >= c.top && y < c.top + h;
      const Bgr want = inside ? Coded(c.sourceX + x - c.left, c.sourceY + y - c.top) : black;
      if (!(FramePixel(frame, x, y) == want)) {
        ADD_FAILURE() << "pixel " << x << "," << y;
        ++mismatches;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Frames1280x1024, ClipTest,
                         testing::Values(ClipCase{640, 480, 320, 272, 0, 0},
                                         // 319 columns left, 320 right; 272 rows at the top, 271 at the bottom
                                         ClipCase{641, 481, 319, 272, 0, 0},
                                         ClipCase{2000, 1500, 0, 0, 360, 238},
                                         ClipCase{2000, 500, 0, 262, 360, 0},
                                         ClipCase{1280, 1024, 0, 0, 0, 0}));

TEST(StretchTest, CoversTheWholeFrameUpright) {
  // Top half green, bottom half blue; left quarter red on top.
  GpBitmap* image = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(640, 480, 0, PixelFormat24bppRGB, nullptr, &image), Ok);
  BitmapData data{};
  ASSERT_EQ(GdipBitmapLockBits(image, nullptr, ImageLockModeWrite, PixelFormat24bppRGB, &data), Ok);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      auto* p = static_cast<std::uint8_t*>(data.Scan0) + std::ptrdiff_t(y) * data.Stride + 3 * x;
      const Bgr c = y < 240 ? (x < 160 ? Bgr{0, 0, 255} : Bgr{0, 255, 0}) : Bgr{255, 0, 0};
      std::memcpy(p, &c, 3);
    }
  EXPECT_EQ(GdipBitmapUnlockBits(image, &data), Ok);

  FrameBuffer frame;
  ASSERT_TRUE(frame.Make(1280, 1024));
  StretchTarget target;
  target.Make(1280, 1024);
  ASSERT_EQ(ComposeFrame(std::make_unique<Bitmap>(image), 0, target, frame), ComposeResult::Composed);

  EXPECT_EQ(FramePixel(frame, 0, 0), (Bgr{0, 0, 255}));
  EXPECT_EQ(FramePixel(frame, 300, 500), (Bgr{0, 0, 255}));  // 2x across, ~2.13x down
  EXPECT_EQ(FramePixel(frame, 340, 500), (Bgr{0, 255, 0}));
  EXPECT_EQ(FramePixel(frame, 1279, 0), (Bgr{0, 255, 0}));
  EXPECT_EQ(FramePixel(frame, 0, 1023), (Bgr{255, 0, 0}));
  EXPECT_EQ(FramePixel(frame, 1279, 1023), (Bgr{255, 0, 0}));
}

TEST(FrameBufferTest, OddWidthsPadEachRowWithZero) {
  FrameBuffer frame;
  ASSERT_TRUE(frame.Make(1281, 4));
  EXPECT_EQ(frame.stride, 3844);
  EXPECT_EQ(frame.header.biSizeImage, 3844u * 4);
  StretchTarget target;
  target.Make(1281, 4);
  ASSERT_EQ(ComposeFrame(CodedPicture(50, 50), 0, target, frame), ComposeResult::Composed);
  for (int row = 0; row < 4; ++row) EXPECT_EQ(frame.pixels[std::size_t(row) * 3844 + 3843], 0) << row;
}

TEST(ConvertTest, PaletteAndThirtyTwoBitPicturesBecomeBlueGreenRed) {
  testsupport::TempDir dir;
  // An 8-bit palette BMP and a 32-bit RGBA PNG, each 2 × 1: (red, blue).
  testsupport::BmpImage bmp;
  bmp.width = 2;
  bmp.height = 1;
  bmp.bitCount = 8;
  bmp.palette = {0xFF0000, 0x0000FF};
  bmp.bits = {0, 1, 0, 0};
  ASSERT_TRUE(testsupport::WriteBmp(dir.file("p.bmp"), bmp));
  testsupport::PngImage png;
  png.width = 2;
  png.height = 1;
  png.colorType = 6;
  png.rows = {255, 0, 0, 255, 0, 0, 255, 255};
  ASSERT_TRUE(testsupport::WritePng(dir.file("a.png"), png));

  for (const std::string name : {"p.bmp", "a.png"}) {
    std::unique_ptr<Bitmap> picture = LoadPicture(dir.file(name).c_str());
    ASSERT_TRUE(picture) << name;
    FrameBuffer frame;
    ASSERT_TRUE(frame.Make(2, 1));
    StretchTarget unused;
    ASSERT_EQ(ComposeFrame(std::move(picture), 1, unused, frame), ComposeResult::Composed);
    EXPECT_EQ(FramePixel(frame, 0, 0), (Bgr{0, 0, 255})) << name;
    EXPECT_EQ(FramePixel(frame, 1, 0), (Bgr{255, 0, 0})) << name;
  }
}

TEST(SkipTest, NoCanvasMeansTheStretchedFrameIsSkipped) {
  FrameBuffer frame;
  ASSERT_TRUE(frame.Make(16, 16));
  StretchTarget noCanvas;  // never made
  EXPECT_EQ(ComposeFrame(CodedPicture(8, 8), 0, noCanvas, frame), ComposeResult::Skipped);
}

}  // namespace
