// Turned photographs and scans come out upright, as ImageMagick's
// -auto-orient shows them: each of the eight orientations, for every
// container that carries one and through every decoding path.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "picture/load_picture.h"
#include "platform/picture_probe.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using namespace testsupport;

bool HaveTools() {
  return RunCommand("command -v exiftool >/dev/null && convert -version 2>/dev/null | grep -q '^Version: ImageMagick'")
             .exitCode == 0;
}

void SetOrientation(const std::vector<std::string>& paths, int orientation) {
  std::string command = "exiftool -q -q -overwrite_original -n -Orientation=" + std::to_string(orientation);
  for (const std::string& path : paths) command += " " + ShellQuote(path);
  ASSERT_EQ(RunCommand(command).exitCode, 0);
}

struct Raster {
  int width = 0, height = 0;
  std::vector<int> values;  // per pixel: red, green, blue, or one grey sample
};

// ImageMagick's upright picture as a binary PNM (8-bit colour or 16-bit grey).
Raster Upright(const std::string& path, bool grey16) {
  const CommandResult r =
      RunCommand("convert " + ShellQuote(path) + " -auto-orient " + (grey16 ? "-depth 16 pgm:-" : "-depth 8 ppm:-"));
  std::istringstream in(r.out);
  std::string magic;
  int maxval = 0;
  Raster raster;
  in >> magic >> raster.width >> raster.height >> maxval;
  in.get();
  const int channels = grey16 ? 1 : 3, bytes = grey16 ? 2 : 1;
  for (int i = 0; i < raster.width * raster.height * channels; ++i) {
    int v = 0;
    for (int b = 0; b < bytes; ++b) v = v << 8 | static_cast<std::uint8_t>(in.get());
    raster.values.push_back(v);
  }
  return raster;
}

// Ours, as red, green, blue per pixel.
Raster Loaded(const std::string& path, std::int32_t fitCols = 0, std::int32_t fitRows = 0) {
  Raster raster;
  const auto picture = LoadPicture(path.c_str(), fitCols, fitRows);
  if (!picture) return raster;
  UINT w = 0, h = 0;
  EXPECT_EQ(GdipGetImageWidth(picture->asImage(), &w), Ok);
  EXPECT_EQ(GdipGetImageHeight(picture->asImage(), &h), Ok);
  raster.width = int(w), raster.height = int(h);
  const auto bgr = LockedPixels(picture->image(), PixelFormat24bppRGB);
  for (std::size_t i = 0; i + 2 < bgr.size(); i += 3) raster.values.insert(raster.values.end(), {bgr[i + 2], bgr[i + 1], bgr[i]});
  return raster;
}

int LargestDifference(const Raster& a, const Raster& b) {
  int most = 0;
  for (std::size_t i = 0; i < a.values.size() && i < b.values.size(); ++i) most = std::max(most, std::abs(a.values[i] - b.values[i]));
  return most;
}

// Six cells of 16 pixels, no two alike, so any turn or mirror shows.
const Pattern kCells = [](int x, int y) {
  const int cell = x / 16 + 3 * (y / 16);
  return Rgb{std::uint8_t(40 * cell), std::uint8_t(255 - 40 * cell), std::uint8_t(cell % 2 ? 200 : 30)};
};

class Orientation : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (!HaveTools()) GTEST_SKIP() << "exiftool or ImageMagick not installed";
  }
  TempDir dir;
};

TEST_P(Orientation, EveryContainerComesUpright) {
  const int o = GetParam();
  const std::string tif = dir.file("strips.tif"), tiled = dir.file("tiles.tif"), png = dir.file("p.png"),
                    jpg = dir.file("p.jpg");
  ASSERT_TRUE(WriteTiffRgb(tif, 48, 32, kCells));
  TiffImage tiles;  // 48 x 32 RGB in tiles of 16
  tiles.width = 48;
  tiles.height = 32;
  tiles.samples = 3;
  tiles.photometric = 2;
  tiles.tile = 16;
  tiles.rows = PatternBgr(48, 32, kCells);
  for (std::size_t i = 0; i + 2 < tiles.rows.size(); i += 3) std::swap(tiles.rows[i], tiles.rows[i + 2]);
  ASSERT_TRUE(WriteTiff(tiled, tiles));
  ASSERT_TRUE(WritePngRgb(png, 48, 32, kCells));
  ASSERT_TRUE(WriteJpeg(jpg, 48, 32, kCells, 100));
  SetOrientation({tif, tiled, png, jpg}, o);

  // ImageMagick here leaves a PNG's eXIf unread: the TIFF's upright picture
  // stands for it.
  const Raster want = Upright(tif, false);
  ASSERT_EQ(want.width, o >= 5 ? 32 : 48);
  for (const std::string& path : {tif, tiled, png}) {
    const Raster got = Loaded(path);
    EXPECT_EQ(got.width, want.width) << path;
    EXPECT_EQ(got.height, want.height) << path;
    EXPECT_EQ(got.values, want.values) << path;
  }
  const Raster jpeg = Loaded(jpg), jpegWant = Upright(jpg, false);
  EXPECT_EQ(jpeg.width, jpegWant.width);
  EXPECT_EQ(jpeg.height, jpegWant.height);
  EXPECT_LE(LargestDifference(jpeg, jpegWant), 2);
  PictureProbe probe;
  ASSERT_TRUE(ProbePictureFile(jpg.c_str(), &probe));
  EXPECT_EQ(probe.orientation, o);
  EXPECT_EQ(probe.UprightWidth(), want.width);
}

// The TIFF reader's 16-bit grey pictures (10-bit rule) and the half-size
// JPEG decoding turn the same way.
TEST_P(Orientation, SixteenBitGreyAndHalfSizeJpegComeUpright) {
  const int o = GetParam();
  const std::string grey = dir.file("g.tif"), big = dir.file("big.jpg");
  std::vector<std::uint16_t> samples;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) samples.push_back(std::uint16_t(40 * (x + 6 * y)));
  ASSERT_TRUE(WriteTiffGrey16(grey, 6, 4, samples));
  ASSERT_TRUE(WriteJpeg(big, 96, 64, kCells, 100));
  SetOrientation({grey, big}, o);

  const Raster want = Upright(grey, true), got = Loaded(grey);
  ASSERT_EQ(got.width, want.width);
  ASSERT_EQ(got.height, want.height);
  for (std::size_t i = 0; i < want.values.size(); ++i) EXPECT_EQ(got.values[3 * i], want.values[i] >> 2) << i;

  // Fitting a quarter-turned picture measures its upright sides.
  const bool turned = o >= 5;
  const Raster half = Loaded(big, turned ? 32 : 48, turned ? 48 : 32);
  EXPECT_EQ(half.width, turned ? 32 : 48);
  EXPECT_EQ(half.height, turned ? 48 : 32);
}

INSTANTIATE_TEST_SUITE_P(AllEight, Orientation, testing::Range(1, 9));

}  // namespace
