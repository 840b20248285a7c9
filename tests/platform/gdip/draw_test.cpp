// Drawing a picture onto a rectangle of a bitmap: averaging when shrinking,
// bilinear when enlarging, clipped to the target, within one level of an
// exact computation, at a cost that follows the picture's and the target's
// pixels whatever their shapes.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <random>

#include "platform/gdip/draw.h"
#include "platform/gdiplus.h"
#include "tests/support/picture_fixtures.h"

namespace {

// Heap bytes in use while counting, and their peak: operator new below
// keeps them, so a test sees what a draw allocates on top of what existed.
std::atomic<bool> g_counting{false};
std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_peak{0};

}  // namespace

void* operator new(std::size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  if (g_counting.load(std::memory_order_relaxed)) {
    const std::int64_t live = g_live += static_cast<std::int64_t>(malloc_usable_size(block));
    std::int64_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
  }
  return block;
}

void operator delete(void* block) noexcept {
  if (block && g_counting.load(std::memory_order_relaxed))
    g_live -= static_cast<std::int64_t>(malloc_usable_size(block));
  std::free(block);
}

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace {

using namespace testsupport;

std::unique_ptr<Bitmap> Make(INT width, INT height, PixelFormat format, const Pattern& pattern) {
  GpBitmap* raw = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &raw), Ok);
  auto bitmap = std::make_unique<Bitmap>(raw);
  BitmapData data{};
  EXPECT_EQ(GdipBitmapLockBits(raw, nullptr, ImageLockModeWrite, PixelFormat32bppARGB, &data), Ok);
  for (INT y = 0; y < height; ++y)
    for (INT x = 0; x < width; ++x) {
      auto* p = static_cast<std::uint8_t*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride + 4 * x;
      const Rgb c = pattern(x, y);
      p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 255;
    }
  EXPECT_EQ(GdipBitmapUnlockBits(raw, &data), Ok);
  return bitmap;
}

GpStatus Draw(Bitmap& target, Bitmap& source, float left, float top, float right, float bottom) {
  GpGraphics* graphics = nullptr;
  EXPECT_EQ(GdipGetImageGraphicsContext(target.asImage(), &graphics), Ok);
  const GpPointF points[3] = {{left, top}, {right, top}, {left, bottom}};
  const GpStatus status = GdipDrawImagePoints(graphics, source.asImage(), points, 3);
  EXPECT_EQ(GdipDeleteGraphics(graphics), Ok);
  return status;
}

Rgb At(const std::vector<std::uint8_t>& pixels, int width, int x, int y) {
  const std::uint8_t* p = pixels.data() + 3 * (static_cast<std::size_t>(y) * width + x);
  return Rgb{p[2], p[1], p[0]};
}

// The filter written out in floating point: each destination pixel's weights
// over the source along one axis.
std::vector<std::pair<int, double>> Weights(int source, int dest, int r) {
  if (source == dest) return {{r, 1.0}};
  const double scale = static_cast<double>(source) / dest;
  std::vector<std::pair<int, double>> out;
  if (source > dest) {
    const double a = r * scale, b = (r + 1) * scale;
    for (int k = static_cast<int>(a); k < source && k < b; ++k)
      out.push_back({k, (std::min(b, k + 1.0) - std::max(a, double(k))) / scale});
  } else {
    const double u = std::clamp((r + 0.5) * scale - 0.5, 0.0, source - 1.0);
    const int k = static_cast<int>(u);
    out.push_back({k, 1 - (u - k)});
    if (k + 1 < source) out.push_back({k + 1, u - k});
  }
  return out;
}

Rgb Reference(const Pattern& source, int sw, int sh, int dw, int dh, int x, int y) {
  double sum[3] = {0, 0, 0};
  for (auto [sy, wy] : Weights(sh, dh, y))
    for (auto [sx, wx] : Weights(sw, dw, x)) {
      const Rgb c = source(sx, sy);
      sum[0] += wx * wy * c.r, sum[1] += wx * wy * c.g, sum[2] += wx * wy * c.b;
    }
  const auto round = [](double v) { return static_cast<std::uint8_t>(std::lround(v)); };
  return Rgb{round(sum[0]), round(sum[1]), round(sum[2])};
}

Pattern Noise(unsigned seed, int width, int height) {
  auto colours = std::make_shared<std::vector<Rgb>>();
  std::mt19937 random(seed);
  for (int i = 0; i < width * height; ++i)
    colours->push_back(Rgb{static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                           static_cast<std::uint8_t>(random())});
  return [colours, width](int x, int y) { return (*colours)[static_cast<std::size_t>(y) * width + x]; };
}

struct StretchCase {
  int sw, sh, dw, dh;
  PixelFormat sourceFormat;
  int step;               // compare every step-th pixel
  bool mirrored = false;  // drawn upside down and right to left
};

class Stretch : public testing::TestWithParam<StretchCase> {};

TEST_P(Stretch, MatchesTheExactFilterWithinOneLevel) {
  const StretchCase c = GetParam();
  Pattern pattern = Noise(static_cast<unsigned>(c.sw * 31 + c.dh), c.sw, c.sh);
  if (c.sourceFormat == PixelFormat16bppRGB565) {
    // Colours the 16-bit picture holds exactly.
    pattern = [noise = pattern](int x, int y) {
      const Rgb n = noise(x, y);
      const auto five = [](int v) { return static_cast<std::uint8_t>((v & 0xF8) | (v >> 5)); };
      return Rgb{five(n.r), static_cast<std::uint8_t>((n.g & 0xFC) | (n.g >> 6)), five(n.b)};
    };
  }
  auto source = Make(c.sw, c.sh, c.sourceFormat, pattern);
  GpBitmap* raw = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(c.dw, c.dh, 0, PixelFormat24bppRGB, nullptr, &raw), Ok);
  Bitmap target(raw);
  const auto dw = static_cast<float>(c.dw), dh = static_cast<float>(c.dh);
  ASSERT_EQ(c.mirrored ? Draw(target, *source, dw, dh, 0, 0) : Draw(target, *source, 0, 0, dw, dh), Ok);
  const auto pixels = LockedPixels(raw, PixelFormat24bppRGB);
  int worst = 0;
  for (int y = 0; y < c.dh; y += c.step)
    for (int x = 0; x < c.dw; x += c.step) {
      const Rgb got = At(pixels, c.dw, x, y);
      const Rgb want = c.mirrored ? Reference(pattern, c.sw, c.sh, c.dw, c.dh, c.dw - 1 - x, c.dh - 1 - y)
                                  : Reference(pattern, c.sw, c.sh, c.dw, c.dh, x, y);
      worst = std::max({worst, std::abs(got.r - want.r), std::abs(got.g - want.g), std::abs(got.b - want.b)});
    }
  EXPECT_LE(worst, 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Stretch,
                         testing::Values(StretchCase{37, 23, 11, 9, PixelFormat24bppRGB, 1},
                                         StretchCase{7, 5, 31, 17, PixelFormat24bppRGB, 1},
                                         StretchCase{37, 5, 11, 17, PixelFormat32bppRGB, 1},
                                         StretchCase{20, 20, 20, 20, PixelFormat32bppARGB, 1},
                                         StretchCase{13, 7, 29, 3, PixelFormat16bppRGB565, 1},
                                         StretchCase{1, 1, 9, 4, PixelFormat24bppRGB, 1},
                                         StretchCase{2592, 1944, 1280, 1024, PixelFormat24bppRGB, 37},
                                         StretchCase{640, 480, 1280, 1024, PixelFormat32bppRGB, 29}));

// Shapes far from the target's: long averaged spans (thousands of source
// pixels to one), pictures wider than one strip of work, both pass orders,
// mirrored, and converted formats.
INSTANTIATE_TEST_SUITE_P(ExtremeShapes, Stretch,
                         testing::Values(StretchCase{4096, 1, 16, 8, PixelFormat24bppRGB, 1},
                                         StretchCase{1, 4096, 8, 16, PixelFormat24bppRGB, 1},
                                         StretchCase{100000, 3, 7, 5, PixelFormat32bppRGB, 1},
                                         StretchCase{3, 100000, 5, 7, PixelFormat16bppRGB565, 1},
                                         StretchCase{70000, 40, 8, 40, PixelFormat24bppRGB, 1},
                                         StretchCase{200000, 2, 3, 5, PixelFormat24bppRGB, 1, true},
                                         StretchCase{3000, 2, 5, 700, PixelFormat24bppRGB, 7, true},
                                         StretchCase{2, 3000, 700, 5, PixelFormat24bppRGB, 7, true},
                                         StretchCase{5000, 2, 4, 300, PixelFormat32bppARGB, 3},
                                         StretchCase{5, 1, 700, 300, PixelFormat24bppRGB, 11}));

struct CostCase {
  int sw, sh;
  PixelFormat sourceFormat;
};

class ExtremeShapeCost : public testing::TestWithParam<CostCase> {};

// Onto a 1280 x 1024 frame, the draw's work stays within a few passes over
// the picture and the frame (up to 4 bytes a pixel, 2 taps, 2 passes), and
// what it allocates stays small beside them.
TEST_P(ExtremeShapeCost, FollowsThePictureAndTheFrame) {
  const CostCase c = GetParam();
  constexpr int kCols = 1280, kRows = 1024;
  GpBitmap* raw = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(c.sw, c.sh, 0, c.sourceFormat, nullptr, &raw), Ok);
  Bitmap source(raw);
  ASSERT_EQ(GdipCreateBitmapFromScan0(kCols, kRows, 0, PixelFormat24bppRGB, nullptr, &raw), Ok);
  Bitmap target(raw);

  g_live = 0;
  g_peak = 0;
  g_counting = true;
  const GpStatus status = Draw(target, source, 0, 0, kCols, kRows);
  g_counting = false;
  ASSERT_EQ(status, Ok);

  const std::uint64_t pixels = static_cast<std::uint64_t>(c.sw) * c.sh + std::uint64_t{kCols} * kRows;
  EXPECT_LE(gdip::LastDrawReport().samples, 16 * pixels);
  EXPECT_LE(g_peak.load(), 2 << 20);
}

INSTANTIATE_TEST_SUITE_P(OntoAFrame, ExtremeShapeCost,
                         testing::Values(CostCase{2'000'000, 1, PixelFormat24bppRGB},
                                         CostCase{1, 2'000'000, PixelFormat24bppRGB},
                                         CostCase{100'000, 100, PixelFormat16bppRGB565},
                                         CostCase{100, 100'000, PixelFormat8bppIndexed},
                                         CostCase{1000, 1, PixelFormat32bppRGB},
                                         CostCase{1, 1000, PixelFormat32bppARGB}));

TEST(Draw, KnownAveragesAndInterpolations) {
  // A one-pixel checker halved is mid grey.
  auto checker = Make(8, 8, PixelFormat24bppRGB, Checker(1, {0, 0, 0}, {255, 255, 255}));
  auto half = Make(4, 4, PixelFormat24bppRGB, Solid({9, 9, 9}));
  ASSERT_EQ(Draw(*half, *checker, 0, 0, 4, 4), Ok);
  for (std::uint8_t v : LockedPixels(half->image(), PixelFormat24bppRGB)) EXPECT_NEAR(v, 127.5, 0.5);

  // Two pixels stretched to four: the ends keep their colour, the middle
  // pixels sit a quarter of the way in.
  auto pair = Make(2, 1, PixelFormat24bppRGB, [](int x, int) { return x ? Rgb{200, 200, 200} : Rgb{0, 0, 0}; });
  auto four = Make(4, 1, PixelFormat24bppRGB, Solid({9, 9, 9}));
  ASSERT_EQ(Draw(*four, *pair, 0, 0, 4, 1), Ok);
  const auto row = LockedPixels(four->image(), PixelFormat24bppRGB);
  EXPECT_EQ(At(row, 4, 0, 0).r, 0);
  EXPECT_EQ(At(row, 4, 1, 0).r, 50);
  EXPECT_EQ(At(row, 4, 2, 0).r, 150);
  EXPECT_EQ(At(row, 4, 3, 0).r, 200);
}

TEST(Draw, EveryPixelCountsHoweverFarAPictureShrinks) {
  // Stripes one pixel wide, across and down, average to mid grey: no pixel
  // of a long span may weigh nothing.
  for (const auto& [sw, sh, dw, dh] : {std::tuple{65536, 1, 2, 1}, std::tuple{100000, 2, 3, 1},
                                       std::tuple{1, 65536, 1, 2}, std::tuple{2, 100000, 1, 3}}) {
    const bool across = sw > sh;
    auto stripes = Make(sw, sh, PixelFormat24bppRGB, [across](int x, int y) {
      return ((across ? x : y) & 1) ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
    });
    auto target = Make(dw, dh, PixelFormat24bppRGB, Solid({9, 9, 9}));
    ASSERT_EQ(Draw(*target, *stripes, 0, 0, static_cast<float>(dw), static_cast<float>(dh)), Ok);
    for (std::uint8_t v : LockedPixels(target->image(), PixelFormat24bppRGB))
      ASSERT_NEAR(v, 127.5, 1) << sw << "x" << sh << " into " << dw << "x" << dh;
  }
}

TEST(Draw, ConstantColourStaysExactAtAnyScale) {
  for (const auto& [sw, sh, dw, dh] : {std::tuple{97, 61, 1280, 1024}, std::tuple{1280, 1024, 97, 61},
                                       std::tuple{3, 1000, 1000, 3}, std::tuple{5000, 1, 1, 1}}) {
    auto source = Make(sw, sh, PixelFormat24bppRGB, Solid({201, 7, 99}));
    auto target = Make(dw, dh, PixelFormat24bppRGB, Solid({0, 0, 0}));
    ASSERT_EQ(Draw(*target, *source, 0, 0, static_cast<float>(dw), static_cast<float>(dh)), Ok);
    const auto pixels = LockedPixels(target->image(), PixelFormat24bppRGB);
    for (std::size_t i = 0; i < pixels.size(); i += 3)
      ASSERT_EQ((Rgb{pixels[i + 2], pixels[i + 1], pixels[i]}), (Rgb{201, 7, 99})) << sw << "x" << sh << " pixel " << i / 3;
  }
}

TEST(Draw, ClipsToTheTargetAndMirrors) {
  const Pattern pattern = [](int x, int y) { return Rgb{static_cast<std::uint8_t>(10 * x), static_cast<std::uint8_t>(10 * y), 1}; };
  auto source = Make(4, 4, PixelFormat24bppRGB, pattern);
  auto target = Make(4, 4, PixelFormat24bppRGB, Solid({255, 255, 255}));
  // Shifted up and left by two: only the source's lower right quarter shows.
  ASSERT_EQ(Draw(*target, *source, -2, -2, 2, 2), Ok);
  auto pixels = LockedPixels(target->image(), PixelFormat24bppRGB);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(At(pixels, 4, x, y), (x < 2 && y < 2 ? pattern(x + 2, y + 2) : Rgb{255, 255, 255})) << x << "," << y;

  // Upper-left corner on the right: mirrored left to right.
  ASSERT_EQ(Draw(*target, *source, 4, 0, 0, 4), Ok);
  pixels = LockedPixels(target->image(), PixelFormat24bppRGB);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(At(pixels, 4, x, 1), pattern(3 - x, 1));

  // Entirely outside: nothing drawn, no failure.
  EXPECT_EQ(Draw(*target, *source, 100, 100, 200, 200), Ok);
}

TEST(Draw, BlendsTransparentPicturesOverTheTarget) {
  GpBitmap* raw = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(1, 1, 0, PixelFormat32bppARGB, nullptr, &raw), Ok);
  Bitmap red(raw);
  BitmapData data{};
  ASSERT_EQ(GdipBitmapLockBits(raw, nullptr, ImageLockModeWrite, PixelFormat32bppARGB, &data), Ok);
  auto* p = static_cast<std::uint8_t*>(data.Scan0);
  p[0] = 0, p[1] = 0, p[2] = 255, p[3] = 128;
  EXPECT_EQ(GdipBitmapUnlockBits(raw, &data), Ok);
  auto target = Make(2, 2, PixelFormat24bppRGB, Solid({0, 0, 200}));
  ASSERT_EQ(Draw(*target, red, 0, 0, 2, 2), Ok);
  const Rgb got = At(LockedPixels(target->image(), PixelFormat24bppRGB), 2, 1, 1);
  EXPECT_NEAR(got.r, 128, 1);
  EXPECT_EQ(got.g, 0);
  EXPECT_NEAR(got.b, 100, 1);
}

TEST(Draw, RefusesWhatItDoesNotDraw) {
  auto source = Make(2, 2, PixelFormat24bppRGB, Solid({1, 2, 3}));
  auto target = Make(4, 4, PixelFormat24bppRGB, Solid({0, 0, 0}));
  GpGraphics* graphics = nullptr;
  ASSERT_EQ(GdipGetImageGraphicsContext(target->asImage(), &graphics), Ok);
  const GpPointF rotated[3] = {{2, 0}, {4, 2}, {0, 2}};
  EXPECT_EQ(GdipDrawImagePoints(graphics, source->asImage(), rotated, 3), NotImplemented);
  const GpPointF notFinite[3] = {{0, 0}, {NAN, 0}, {0, 4}};
  EXPECT_EQ(GdipDrawImagePoints(graphics, source->asImage(), notFinite, 3), ValueOverflow);
  EXPECT_EQ(GdipDrawImagePoints(graphics, source->asImage(), rotated, 4), InvalidParameter);
  EXPECT_EQ(GdipDrawImageRectI(graphics, source->asImage(), 0, 0, 4, 4), Ok);
  EXPECT_EQ(GdipDeleteGraphics(graphics), Ok);
  GpBitmap* indexed = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(2, 2, 0, PixelFormat8bppIndexed, nullptr, &indexed), Ok);
  Bitmap owner(indexed);
  EXPECT_EQ(GdipGetImageGraphicsContext(owner.asImage(), &graphics), NotImplemented);
}

}  // namespace
