// Frame rates typed as whole numbers, decimals and fractions, and how the
// FPS box shows a stream's rate.
#include <gtest/gtest.h>

#include "avi_build/frame_rate.h"

namespace {

using avi_build::FrameRate;

struct RateCase {
  const char* text;
  bool ok;
  std::uint32_t rate, scale;
};

TEST(FrameRate, TextReadsAsTheRateAStreamStores) {
  const RateCase cases[] = {
      {"10", true, 10, 1},           {" 25", true, 25, 1},          {"29.97", true, 30000, 1001},
      {"23.976", true, 24000, 1001}, {"59.94", true, 60000, 1001},  {"29.970", true, 30000, 1001},
      {"30000/1001", true, 30000, 1001}, {"50/2", true, 25, 1},     {"0.5", true, 1, 2},
      {"2.5", true, 5, 2},           {".25", true, 1, 4},           {"12.345", true, 2469, 200},
      {"0.3333", true, 1, 3},        {"4294967295", true, 4294967295u, 1},
      {"0", false, 0, 0},            {"0.0", false, 0, 0},          {"-5", false, 0, 0},
      {"", false, 0, 0},             {"abc", false, 0, 0},          {"1/0", false, 0, 0},
      {"4294967296", false, 0, 0},   {"30x", false, 0, 0},          {"2.5.1", false, 0, 0},
  };
  for (const RateCase& c : cases) {
    FrameRate r{0, 0};
    EXPECT_EQ(avi_build::ParseFrameRate(c.text, &r), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(std::pair(r.rate, r.scale), std::pair(c.rate, c.scale)) << c.text;
    }
  }
}

TEST(FrameRate, TheDialogReadsTheStartOfItsBoxes) {
  FrameRate r;
  ASSERT_TRUE(avi_build::ParseFrameRate("30x", &r, true));
  EXPECT_EQ(r.rate, 30u);
  ASSERT_TRUE(avi_build::ParseFrameRate("2.5 fps", &r, true));
  EXPECT_EQ(std::pair(r.rate, r.scale), std::pair(5u, 2u));
  EXPECT_FALSE(avi_build::ParseFrameRate("fps 2", &r, true));
}

TEST(FrameRate, StreamRatesShowAsTheyAreTyped) {
  const struct {
    std::uint32_t rate, scale;
    const char* text;
  } cases[] = {{10, 1, "10"},     {30000, 1001, "29.97"}, {24000, 1001, "23.976"}, {60000, 1001, "59.94"},
               {1, 2, "0.5"},     {5, 2, "2.5"},          {2469, 200, "12.345"},   {1, 3, "1/3"},
               {250, 10, "25"},   {15000, 1001, "15000/1001"}, {10, 0, "10"}};
  for (const auto& c : cases) {
    EXPECT_EQ(avi_build::FrameRateText(c.rate, c.scale), c.text);
    FrameRate back;
    ASSERT_TRUE(avi_build::ParseFrameRate(avi_build::FrameRateText(c.rate, c.scale), &back)) << c.text;
    EXPECT_EQ(std::uint64_t(back.rate) * (c.scale ? c.scale : 1), std::uint64_t(c.rate) * back.scale) << c.text;
  }
}

}  // namespace
