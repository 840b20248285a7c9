// Rows reduced as they come: every picture pixel weighed by the area it
// shares with each output pixel, transparent ones by their alpha.
#include <gtest/gtest.h>

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

// However small the fit, a picture claiming more than the pixel limit is
// refused before anything is decoded.
TEST(RowReducer, RefusesPicturesOverTheLimitWhateverTheFit) {
  RowWriter writer;
  EXPECT_EQ(writer.Start(40000, 40000, PixelFormat24bppRGB, {}, 10, 10), OutOfMemory);
}

}  // namespace
