// Frames are reused from entry to entry: whatever an earlier picture left in
// the buffer must never show through the next one.
#include <gtest/gtest.h>

#include <cstring>

#include "avi_build/frame_compose.h"

namespace {

using avi_build::ComposeFrame;
using avi_build::ComposeResult;
using avi_build::FrameBuffer;
using avi_build::StretchTarget;

// A W x H picture of some format with pixels that vary everywhere.
std::unique_ptr<Bitmap> Picture(int W, int H, PixelFormat format) {
  GpBitmap* image = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromScan0(W, H, 0, format, nullptr, &image), Ok);
  BitmapData data{};
  EXPECT_EQ(GdipBitmapLockBits(image, nullptr, ImageLockModeWrite, PixelFormat32bppARGB, &data), Ok);
  for (int y = 0; y < H; ++y) {
    auto* row = static_cast<std::uint8_t*>(data.Scan0) + std::ptrdiff_t(y) * data.Stride;
    for (int x = 0; x < W; ++x) {
      const std::uint8_t pixel[4] = {std::uint8_t(x * 7 + y), std::uint8_t(x + y * 5), std::uint8_t(x ^ y),
                                    std::uint8_t(x * 37 + y)};  // alpha: kept only by 32bppARGB
      std::memcpy(row + 4 * x, pixel, 4);
    }
  }
  EXPECT_EQ(GdipBitmapUnlockBits(image, &data), Ok);
  return std::make_unique<Bitmap>(image);
}

struct ReuseCase {
  const char* name;
  int W, H;
  PixelFormat format;
  std::int32_t clip;
  std::int32_t cols, rows;
};

class FrameReuse : public testing::TestWithParam<ReuseCase> {};

TEST_P(FrameReuse, ADirtyFrameComposesAsAFreshOneDoes) {
  const ReuseCase c = GetParam();
  StretchTarget target;
  if (!c.clip) target.Make(c.cols, c.rows);
  FrameBuffer fresh, dirty;
  ASSERT_TRUE(fresh.Make(c.cols, c.rows));
  ASSERT_TRUE(dirty.Make(c.cols, c.rows));
  std::memset(dirty.pixels.get(), 0xA5, dirty.size());
  ASSERT_EQ(ComposeFrame(Picture(c.W, c.H, c.format), c.clip, target, fresh), ComposeResult::Composed);
  ASSERT_EQ(ComposeFrame(Picture(c.W, c.H, c.format), c.clip, target, dirty), ComposeResult::Composed);
  EXPECT_EQ(std::memcmp(fresh.pixels.get(), dirty.pixels.get(), fresh.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameReuse,
    testing::Values(ReuseCase{"ClipSmaller", 20, 10, PixelFormat24bppRGB, 1, 64, 32},
                    ReuseCase{"ClipLarger", 100, 50, PixelFormat32bppRGB, 1, 64, 32},
                    ReuseCase{"ClipWider", 100, 10, PixelFormat24bppRGB, 1, 64, 32},
                    ReuseCase{"ClipSameSize", 64, 32, PixelFormat32bppRGB, 1, 64, 32},
                    ReuseCase{"ClipCoversPaddedRows", 100, 50, PixelFormat24bppRGB, 1, 63, 32},
                    ReuseCase{"StretchOpaque", 30, 20, PixelFormat24bppRGB, 0, 63, 32},
                    ReuseCase{"StretchWithAlpha", 30, 20, PixelFormat32bppARGB, 0, 64, 32}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
