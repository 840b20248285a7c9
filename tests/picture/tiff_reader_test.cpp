// The TIFF reader on every shape it reads and every shape it refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <tiffio.h>

#include "picture/tiff_reader.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using namespace testsupport;

std::size_t OpenFiles() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

TiffImage Shape(int width, int height, int samples, int bits, int photometric) {
  TiffImage t;
  t.width = width;
  t.height = height;
  t.samples = samples;
  t.bits = bits;
  t.photometric = photometric;
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * samples * bits + 7) / 8;
  for (std::size_t i = 0; i < rowBytes * height; ++i) t.rows.push_back(static_cast<std::uint8_t>(i * 7 + 1));
  return t;
}

std::vector<std::uint8_t> Bytes(const RawRaster& raster) {
  return std::vector<std::uint8_t>(raster.pixels.get(), raster.pixels.get() + static_cast<std::size_t>(raster.stride) * raster.height);
}

struct ReadCase {
  const char* name;
  TiffImage image;
  std::int32_t stride;
  std::int32_t bitsPerPixel;
};

class ReadsShape : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadsShape, RowsInFileOrderWithoutPadding) {
  const ReadCase& c = GetParam();
  TempDir dir;
  ASSERT_TRUE(WriteTiff(dir.file("a.tif"), c.image));
  RawRaster raster;
  ASSERT_EQ(ReadTiffRaster(dir.file("a.tif").c_str(), &raster), 0);
  EXPECT_EQ(raster.width, c.image.width);
  EXPECT_EQ(raster.height, c.image.height);
  EXPECT_EQ(raster.stride, c.stride);
  EXPECT_EQ(raster.bitsPerPixel, c.bitsPerPixel);
  EXPECT_EQ(Bytes(raster), c.image.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Tiff, ReadsShape,
    testing::Values(ReadCase{"Grey16", Shape(3, 2, 1, 16, PHOTOMETRIC_MINISBLACK), 6, 16},
                    ReadCase{"Grey8", Shape(5, 3, 1, 8, PHOTOMETRIC_MINISBLACK), 5, 8},
                    ReadCase{"Bilevel10Wide", Shape(10, 3, 1, 1, PHOTOMETRIC_MINISBLACK), 2, 1},
                    ReadCase{"Rgb5Wide", Shape(5, 2, 3, 8, PHOTOMETRIC_RGB), 15, 24},
                    ReadCase{"UnknownPhotometricReadAsGrey", Shape(4, 2, 1, 8, PHOTOMETRIC_SEPARATED), 4, 8}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(TiffReader, PaletteRowsAreExpandedFromTheColourMapsHighBytes) {
  TiffImage t = Shape(3, 2, 1, 8, PHOTOMETRIC_PALETTE);
  t.rows = {0, 1, 2, 2, 1, 0};
  t.red.assign(256, 0), t.green.assign(256, 0), t.blue.assign(256, 0);
  t.red[0] = 0xABCD, t.green[0] = 0x1234, t.blue[0] = 0x00FF;
  t.red[1] = 0xFF00, t.green[1] = 0x8000, t.blue[1] = 0x0100;
  t.red[2] = 0x0001, t.green[2] = 0xFFFF, t.blue[2] = 0x7F7F;
  TempDir dir;
  ASSERT_TRUE(WriteTiff(dir.file("p.tif"), t));
  RawRaster raster;
  ASSERT_EQ(ReadTiffRaster(dir.file("p.tif").c_str(), &raster), 0);
  EXPECT_EQ(raster.stride, 12);
  EXPECT_EQ(raster.bitsPerPixel, 32);
  const std::vector<std::uint8_t> e0 = {0xAB, 0x12, 0x00, 0}, e1 = {0xFF, 0x80, 0x01, 0}, e2 = {0x00, 0xFF, 0x7F, 0};
  std::vector<std::uint8_t> want;
  for (const auto* e : {&e0, &e1, &e2, &e2, &e1, &e0}) want.insert(want.end(), e->begin(), e->end());
  EXPECT_EQ(Bytes(raster), want);  // 24 bytes: row 0 at 0-11, row 1 at 12-23
}

TEST(TiffReader, ExpandPaletteRowLooksEachIndexUp) {
  const std::uint32_t palette[4] = {10, 20, 30, 40};
  const std::uint8_t indices[5] = {3, 0, 0, 2, 1};
  std::uint32_t out[5] = {};
  EXPECT_EQ(ExpandPaletteRow(indices, palette, out, 5), 5);
  EXPECT_EQ(std::vector<std::uint32_t>(out, out + 5), (std::vector<std::uint32_t>{40, 10, 10, 30, 20}));
}

TEST(TiffReader, MinIsWhiteIsInverted) {
  TiffImage t = Shape(4, 1, 1, 8, PHOTOMETRIC_MINISWHITE);
  t.rows = {0, 10, 200, 255};
  TiffImage wide = Shape(2, 1, 1, 16, PHOTOMETRIC_MINISWHITE);
  wide.rows = {0xFF, 0xFF, 0x00, 0x04};  // 65535 and 1024, little-endian
  TempDir dir;
  ASSERT_TRUE(WriteTiff(dir.file("w.tif"), t));
  ASSERT_TRUE(WriteTiff(dir.file("w16.tif"), wide));
  RawRaster raster;
  ASSERT_EQ(ReadTiffRaster(dir.file("w.tif").c_str(), &raster), 0);
  EXPECT_EQ(Bytes(raster), (std::vector<std::uint8_t>{255, 245, 55, 0}));
  ASSERT_EQ(ReadTiffRaster(dir.file("w16.tif").c_str(), &raster), 0);
  EXPECT_EQ(Bytes(raster), (std::vector<std::uint8_t>{0x00, 0x00, 0xFF, 0xFB}));  // 0 and 64511
}

struct RefuseCase {
  const char* name;
  std::function<bool(const std::string&)> write;
};

class RefusesShape : public testing::TestWithParam<RefuseCase> {};

TEST_P(RefusesShape, WithMinusOneLeavingNothingOpen) {
  TempDir dir;
  const std::string path = dir.file("x.tif");
  ASSERT_TRUE(GetParam().write(path));
  const std::size_t before = OpenFiles();
  RawRaster raster;
  raster.stride = 123;  // untouched on failure
  EXPECT_EQ(ReadTiffRaster(path.c_str(), &raster), -1);
  EXPECT_EQ(raster.stride, 123);
  EXPECT_EQ(raster.pixels, nullptr);
  EXPECT_EQ(OpenFiles(), before);
}

RefuseCase Refuse(const char* name, TiffImage image, std::function<void(TiffImage&)> adjust = {}) {
  if (adjust) adjust(image);
  return {name, [image](const std::string& path) { return WriteTiff(path, image); }};
}

INSTANTIATE_TEST_SUITE_P(
    Tiff, RefusesShape,
    testing::Values(
        Refuse("Grey16TwoSamples", Shape(3, 2, 2, 16, PHOTOMETRIC_MINISBLACK),
               [](TiffImage& t) { t.extraSamples = {EXTRASAMPLE_UNSPECIFIED}; }),
        Refuse("Grey4", Shape(3, 2, 1, 4, PHOTOMETRIC_MINISBLACK)),
        Refuse("Grey8TwoSamples", Shape(3, 2, 2, 8, PHOTOMETRIC_MINISBLACK),
               [](TiffImage& t) { t.extraSamples = {EXTRASAMPLE_ASSOCALPHA}; }),
        Refuse("Rgb16", Shape(3, 2, 3, 16, PHOTOMETRIC_RGB)),
        Refuse("RgbWithAlpha", Shape(3, 2, 4, 8, PHOTOMETRIC_RGB), [](TiffImage& t) { t.extraSamples = {EXTRASAMPLE_UNASSALPHA}; }),
        Refuse("RgbSeparatePlanes", Shape(3, 2, 3, 8, PHOTOMETRIC_RGB), [](TiffImage& t) { t.planar = PLANARCONFIG_SEPARATE; }),
        Refuse("RgbTiled", Shape(20, 20, 3, 8, PHOTOMETRIC_RGB), [](TiffImage& t) { t.tile = 16; }),
        Refuse("Palette4", Shape(3, 2, 1, 4, PHOTOMETRIC_PALETTE),
               [](TiffImage& t) { t.red.assign(16, 0), t.green.assign(16, 0), t.blue.assign(16, 0); }),
        RefuseCase{"NotATiff", [](const std::string& path) { WriteFileText(path, "not a picture"); return true; }},
        RefuseCase{"Jpeg", [](const std::string& path) { return WriteJpeg(path, 8, 8, Solid({1, 2, 3})); }}),
    [](const testing::TestParamInfo<RefuseCase>& info) { return std::string(info.param.name); });

// Lines libtiff's handlers write to stderr while `run` runs.
int StderrLines(const std::function<void()>& run) {
  TempDir dir;
  const std::string log = dir.file("stderr.txt");
  std::fflush(stderr);
  const int saved = dup(2);
  const int file = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(file, 2);
  close(file);
  run();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  const auto bytes = ReadFileBytes(log);
  return static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n'));
}

TEST(TiffReader, ALyingLengthEndsAtTheFirstUnreadableRow) {
  TempDir dir;
  std::vector<std::uint16_t> samples(3 * 40);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint16_t>(1000 + i);
  ASSERT_TRUE(WriteTiffGrey16(dir.file("t.tif"), 3, 40, samples));
  auto bytes = ReadFileBytes(dir.file("t.tif"));
  ASSERT_TRUE(PatchTiffTag(bytes, TIFFTAG_IMAGELENGTH, 60000));
  WriteFileBytes(dir.file("tall.tif"), bytes);
  RawRaster raster;
  int result = -1;
  const int lines = StderrLines([&] { result = ReadTiffRaster(dir.file("tall.tif").c_str(), &raster); });
  ASSERT_EQ(result, 0);
  EXPECT_LT(lines, 10);
  ASSERT_EQ(raster.height, 60000);
  const auto* pixels = raster.pixels.get();
  EXPECT_EQ(pixels[0] | pixels[1] << 8, 1000);  // the rows that are there
  EXPECT_EQ(pixels[6 * 39] | pixels[6 * 39 + 1] << 8, 1000 + 3 * 39);
  EXPECT_EQ(std::count(pixels + 6 * 40, pixels + 6 * 60000, 0), 6 * (60000 - 40));
}

TEST(TiffReader, MissingFileGivesMinusOne) {
  RawRaster raster;
  EXPECT_EQ(ReadTiffRaster("/nonexistent/picture.tif", &raster), -1);
  EXPECT_EQ(ReadTiffRaster(nullptr, &raster), -1);
}

}  // namespace
