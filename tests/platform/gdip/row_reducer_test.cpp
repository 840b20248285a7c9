// Rows reduced as they come: every picture pixel weighed by the area it
// shares with each output pixel, transparent ones by their alpha.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/gdip/row_reducer.h"

namespace {

using namespace gdip;

struct Reduction {
  const char* what;
  INT width, height;
  PixelFormat format;
  std::vector<ARGB> palette;
  std::vector<std::vector<BYTE>> rows;  // pushed in order; fewer than height: the rest blank
  bool bottomUp;
  INT fitWidth, fitHeight;
  PixelFormat madeFormat;
  std::vector<BYTE> made;  // the reduced rows' bytes, top down, without padding
};

TEST(RowReducer, AveragesExactAreasRowByRow) {
  const std::vector<Reduction> cases = {
      // Output pixel 0 holds picture pixel 0 and half of pixel 1: (0 + 45) / 1.5.
      {"thirds", 3, 1, PixelFormat24bppRGB, {}, {{0, 0, 0, 90, 90, 90, 180, 180, 180}}, false, 2, 1,
       PixelFormat24bppRGB, {30, 30, 30, 150, 150, 150}},
      // A transparent pixel adds nothing to the colour, half to the alpha;
      // premultiplied, red is half.
      {"alpha", 2, 1, PixelFormat32bppARGB, {}, {{0, 0, 255, 255, 255, 0, 0, 0}}, false, 1, 1, PixelFormat32bppPARGB,
       {0, 0, 128, 128}},
      // Rows from the bottom: the first pushed is the lowest.
      {"bottom up", 1, 4, PixelFormat24bppRGB, {}, {{0, 0, 0}, {40, 40, 40}, {80, 80, 80}, {120, 120, 120}}, true, 1,
       2, PixelFormat24bppRGB, {100, 100, 100, 20, 20, 20}},
      // Rows never pushed are index 0, here white.
      {"blank rows", 2, 4, PixelFormat8bppIndexed, {0xFFFFFFFFu, 0xFF000000u}, {{1, 1}}, false, 1, 2,
       PixelFormat24bppRGB, {128, 128, 128, 255, 255, 255}},
      // Reduced on one side only.
      {"one side", 2, 2, PixelFormat24bppRGB, {}, {{10, 10, 10, 30, 30, 30}, {50, 50, 50, 70, 70, 70}}, false, 1, 9,
       PixelFormat24bppRGB, {20, 20, 20, 60, 60, 60}},
      // A fit no smaller keeps the picture as it is.
      {"whole", 2, 1, PixelFormat8bppIndexed, {0xFF102030u}, {{0, 0}}, false, 2, 1, PixelFormat8bppIndexed, {0, 0}},
  };
  for (const Reduction& c : cases) {
    SCOPED_TRACE(c.what);
    RowWriter writer;
    ASSERT_EQ(writer.Start(c.width, c.height, c.format, c.palette, c.fitWidth, c.fitHeight, c.bottomUp), Ok);
    for (const auto& row : c.rows) {
      std::copy(row.begin(), row.end(), writer.Row());
      writer.Push();
    }
    const Decoded made = writer.Finish();
    ASSERT_TRUE(made);
    EXPECT_EQ(made->format, c.madeFormat);
    const INT bytes = made->width * FormatBits(made->format) / 8;
    std::vector<BYTE> got;
    for (INT y = 0; y < made->height; ++y) got.insert(got.end(), made->Row(y), made->Row(y) + bytes);
    EXPECT_EQ(got, c.made);
  }
}

// Against the definition, pixel by pixel: output pixel (j, o) is the sum
// of each picture pixel times the length it shares with it on each axis
// (picture pixel i spans [i, i + 1) * out, output pixel j [j, j + 1) *
// width), over width * height, rounded half up. Odd sizes and fits, from
// one column to many picture pixels an output pixel, in both layouts.
TEST(RowReducer, OpaqueRowsMatchTheAreaAverageByDefinition) {
  const struct {
    INT width, height, fitWidth, fitHeight;
  } sizes[] = {{7, 5, 3, 2}, {40, 33, 9, 7}, {97, 61, 13, 60}, {64, 64, 64, 5}, {301, 3, 1, 1}, {5, 5, 4, 4}};
  std::uint32_t seed = 12345;
  const auto next = [&seed] { return BYTE((seed = seed * 1664525u + 1013904223u) >> 24); };
  const auto overlap = [](std::int64_t i, std::int64_t pictureSide, std::int64_t j, std::int64_t outSide) {
    return std::max<std::int64_t>(0, std::min((i + 1) * outSide, (j + 1) * pictureSide) -
                                         std::max(i * outSide, j * pictureSide));
  };
  for (const PixelFormat format : {PixelFormat24bppRGB, PixelFormat32bppRGB}) {
    for (const auto& size : sizes) {
      SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << " into " << size.fitWidth << "x"
                                      << size.fitHeight << " format " << format);
      const int step = format == PixelFormat24bppRGB ? 3 : 4;
      std::vector<std::vector<BYTE>> rows(std::size_t(size.height), std::vector<BYTE>(std::size_t(size.width * step)));
      for (auto& row : rows)
        for (BYTE& b : row) b = next();
      RowWriter writer;
      ASSERT_EQ(writer.Start(size.width, size.height, format, {}, size.fitWidth, size.fitHeight), Ok);
      for (const auto& row : rows) writer.Push(row.data());
      const Decoded made = writer.Finish();
      ASSERT_TRUE(made);
      const std::int64_t total = std::int64_t(size.width) * size.height;
      for (INT o = 0; o < made->height; ++o)
        for (INT j = 0; j < made->width; ++j)
          for (int c = 0; c < 3; ++c) {
            std::int64_t sum = 0;
            for (INT y = 0; y < size.height; ++y)
              for (INT i = 0; i < size.width; ++i)
                sum += overlap(i, size.width, j, made->width) * overlap(y, size.height, o, made->height) *
                       rows[std::size_t(y)][std::size_t(i * step + c)];
            ASSERT_EQ(made->Row(o)[3 * j + c], BYTE((sum + total / 2) / total)) << j << "," << o << " channel " << c;
          }
    }
  }
}

// However small the fit, a picture claiming more than the pixel limit is
// refused before anything is decoded.
TEST(RowReducer, RefusesPicturesOverTheLimitWhateverTheFit) {
  RowWriter writer;
  EXPECT_EQ(writer.Start(40000, 40000, PixelFormat24bppRGB, {}, 10, 10), OutOfMemory);
}

}  // namespace
