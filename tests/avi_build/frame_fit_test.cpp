// Fitted pictures: their proportions kept, centred on black.
#include <gtest/gtest.h>

#include <cstring>

#include "avi_build/frame_compose.h"
#include "tests/support/picture_fixtures.h"

namespace {

using avi_build::FitArea;

TEST(FitPlacement, OneSideFillsTheFrameAndTheOtherKeepsTheProportions) {
  const struct {
    std::int64_t width, height;
    std::int32_t cols, rows;
    FitArea want;
  } cases[] = {
      {3000, 2000, 1280, 1024, {0, 85, 1280, 853}},    // 3:2 photo in 5:4: bars above and below
      {2000, 3000, 1280, 1024, {298, 0, 683, 1024}},   // upright photo: bars left and right
      {640, 480, 1280, 1024, {0, 32, 1280, 960}},      // enlarged
      {1280, 1024, 1280, 1024, {0, 0, 1280, 1024}},    // same shape
      {100, 1, 10, 10, {0, 4, 10, 1}},                 // never thinner than a pixel
      {5, 3, 4, 5, {0, 1, 4, 2}},                      // 2.4 rounds to 2; the odd row below
  };
  for (const auto& c : cases)
    EXPECT_EQ(avi_build::FitPlacement(c.width, c.height, c.cols, c.rows), c.want) << c.width << "x" << c.height;
}

TEST(ComposeFrame, AFittedPictureLeavesBlackBarsAndCoversItsArea) {
  // White 40 x 20 into 20 x 20: rows 5 to 14 white, the rest black.
  GpBitmap* image = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(40, 20, 0, PixelFormat24bppRGB, nullptr, &image), Ok);
  BitmapData data{};
  ASSERT_EQ(GdipBitmapLockBits(image, nullptr, ImageLockModeWrite, PixelFormat24bppRGB, &data), Ok);
  for (int y = 0; y < 20; ++y) std::memset(static_cast<std::uint8_t*>(data.Scan0) + y * data.Stride, 255, 120);
  ASSERT_EQ(GdipBitmapUnlockBits(image, &data), Ok);
  avi_build::FrameBuffer frame;
  ASSERT_TRUE(frame.Make(20, 20));
  std::memset(frame.pixels.get(), 7, frame.size());  // what an earlier frame left
  const avi_build::StretchTarget none;
  ASSERT_EQ(avi_build::ComposeFrame(std::make_unique<Bitmap>(image), avi_build::kPlaceFit, none, frame),
            avi_build::ComposeResult::Composed);
  for (int top = 0; top < 20; ++top) {
    const std::uint8_t* row = frame.pixels.get() + (19 - top) * frame.stride;  // bottom-up
    const std::uint8_t want = top >= 5 && top < 15 ? 255 : 0;
    for (int x = 0; x < 60; ++x) ASSERT_EQ(row[x], want) << "row " << top << " byte " << x;
  }
}

}  // namespace
