// Opening pictures: the codecs first, the TIFF reader for "tif" paths they
// refuse, and the conversion of its rasters to 32-bit pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include <tiffio.h>

#include "picture/load_picture.h"
#include "platform/text.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using namespace testsupport;

PixelFormat FormatOf(const std::unique_ptr<Bitmap>& picture) {
  PixelFormat format = 0;
  if (picture) {
    EXPECT_EQ(GdipGetImagePixelFormat(picture->asImage(), &format), Ok);
  }
  return format;
}

// The picture's own 32-bit pixels (blue, green, red, fourth byte) as stored.
std::vector<std::uint8_t> Pixels32(const std::unique_ptr<Bitmap>& picture) {
  return LockedPixels(picture->image(), PixelFormat32bppRGB);
}

TEST(LoadPicture, CodecPicturesComeBackInTheirOwnFormat) {
  TempDir dir;
  // Even under a "tif" name, and even for a TIFF the codecs can read.
  ASSERT_TRUE(WriteJpeg(dir.file("photo.tif"), 16, 8, Solid({10, 20, 30})));
  ASSERT_TRUE(WriteBmpRgb(dir.file("plain.bmp"), 5, 5, Solid({1, 2, 3})));
  ASSERT_TRUE(WriteTiffGrey8(dir.file("grey.tif"), 4, 1, {200, 200, 200, 200}));
  EXPECT_EQ(FormatOf(LoadPicture(dir.file("photo.tif").c_str())), PixelFormat24bppRGB);
  EXPECT_EQ(FormatOf(LoadPicture(dir.file("plain.bmp").c_str())), PixelFormat24bppRGB);
  EXPECT_EQ(FormatOf(LoadPicture(dir.file("grey.tif").c_str())), PixelFormat8bppIndexed);
}

TEST(LoadPicture, SixteenBitGreyIsShiftedByTwoAndHeldAtWhite) {
  TempDir dir;
  const std::vector<std::uint16_t> samples = {1023, 4, 3, 1024, 0, 65535};
  ASSERT_TRUE(WriteTiffGrey16(dir.file("deep.TIF"), 3, 2, samples));
  const auto picture = LoadPicture(dir.file("deep.TIF").c_str());
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(FormatOf(picture), PixelFormat32bppRGB);
  const std::vector<std::uint8_t> want = {255, 255, 255, 0, 1, 1, 1, 0, 0, 0, 0, 0,
                                          255, 255, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0};
  EXPECT_EQ(Pixels32(picture), want);
}

TEST(LoadPicture, TheNameMustEndInTifOrTiffForTheReader) {
  TempDir dir;
  const std::vector<std::uint16_t> samples(4, 400);
  for (const auto& [name, read] : {std::pair{"a.tif", true}, std::pair{"b.TiF", true}, std::pair{"motif", true},
                                   std::pair{"c.tiff", true}, std::pair{"C.TIFF", true}, std::pair{"d.png", false},
                                   std::pair{"tif.x", false}, std::pair{"e.tiffs", false}}) {
    ASSERT_TRUE(WriteTiffGrey16(dir.file(name), 2, 2, samples));
    EXPECT_EQ(LoadPicture(dir.file(name).c_str()) != nullptr, read) << name;
  }
}

struct RangeCase {
  const char* range;
  std::vector<std::uint8_t> grey;  // of the samples 0, 1023, 1024, 4095, 65535, 600
};

TEST(LoadPicture, SixteenBitGreyMapsThroughTheChosenRange) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffGrey16(dir.file("deep.tif"), 6, 1, {0, 1023, 1024, 4095, 65535, 600}));
  const RangeCase cases[] = {{"10", {0, 255, 255, 255, 255, 150}},
                             {"12", {0, 63, 64, 255, 255, 37}},
                             {"16", {0, 3, 4, 15, 255, 2}},
                             {"100:1100", {0, 235, 236, 255, 255, 128}}};
  for (const RangeCase& c : cases) {
    GreyRange range;
    ASSERT_TRUE(ParseGreyRange(c.range, &range)) << c.range;
    const auto picture = LoadPicture(dir.file("deep.tif").c_str(), 0, 0, range);
    ASSERT_NE(picture, nullptr);
    const auto pixels = Pixels32(picture);
    std::vector<std::uint8_t> grey;
    for (std::size_t i = 0; i < pixels.size(); i += 4) grey.push_back(pixels[i]);
    EXPECT_EQ(grey, c.grey) << c.range;
  }
  GreyRange range;
  for (const char* bad : {"", "8", "auto", "5:5", "9:3", "0:65536", "a:b", ":9"}) EXPECT_FALSE(ParseGreyRange(bad, &range)) << bad;
}

TEST(LoadPicture, OneRangeSpansTheWholeListsSamples) {
  TempDir dir;
  std::vector<std::uint16_t> low(1000), high(1000);
  for (int i = 0; i < 1000; ++i) low[i] = std::uint16_t(1000 + i), high[i] = std::uint16_t(3000 + i);
  ASSERT_TRUE(WriteTiffGrey16(dir.file("low.tif"), 100, 10, low));
  ASSERT_TRUE(WriteTiffGrey16(dir.file("high.tif"), 100, 10, high));
  ASSERT_TRUE(WriteJpeg(dir.file("photo.jpg"), 8, 8, Solid({9, 9, 9})));
  EXPECT_EQ(GreyRangeOfPictures({dir.file("low.tif"), dir.file("photo.jpg"), dir.file("high.tif")}),
            (GreyRange{1002, 3998}));
  EXPECT_EQ(GreyRangeOfPictures({dir.file("photo.jpg"), dir.file("missing.tif")}), GreyRange{});
}

TEST(LoadPicture, FilesNobodyReadsGiveNull) {
  TempDir dir;
  WriteFileText(dir.file("notes.bmp"), "not a bitmap\n");
  WriteFileText(dir.file("notes.tif"), "not a tiff either\n");
  EXPECT_EQ(LoadPicture(dir.file("notes.bmp").c_str()), nullptr);
  EXPECT_EQ(LoadPicture(dir.file("notes.tif").c_str()), nullptr);
  EXPECT_EQ(LoadPicture(dir.file("missing.jpg").c_str()), nullptr);
  EXPECT_EQ(LoadPicture("if"), nullptr);
  EXPECT_EQ(LoadPicture(nullptr), nullptr);
}

// 35 bytes claiming a 32768 x 32768 screen (1 GiB) around one pixel: no
// longer refused for its file's size, it opens, and decoded to fit it costs
// only the fit.
TEST(LoadPicture, AFileFarSmallerThanItsPictureOpensAtTheFit) {
  TempDir dir;
  const std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 0, 0x80, 0, 0x80, 0, 0, 0,
                                         0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x80, 0, 0, 0, 0xFF, 0xFF, 0xFF,
                                         2, 2, 0x44, 1, 0, 0x3B};
  WriteFileBytes(dir.file("screen.gif"), gif);
  Bitmap decoded(WidenUtf8(dir.file("screen.gif")).c_str());
  EXPECT_EQ(decoded.lastStatus(), Ok);
  const auto fitted = LoadPicture(dir.file("screen.gif").c_str(), 40, 30);
  ASSERT_NE(fitted, nullptr);
  UINT width = 0, height = 0;
  EXPECT_EQ(GdipGetImageWidth(fitted->asImage(), &width), Ok);
  EXPECT_EQ(GdipGetImageHeight(fitted->asImage(), &height), Ok);
  EXPECT_EQ(std::pair(width, height), std::pair(40u, 30u));
}

TEST(LoadPicture, FileNamesOutsideAsciiOpen) {
  TempDir dir;
  const std::vector<std::uint16_t> samples(4, 40);
  // Valid UTF-8 (é, 日本) and a Latin-1 byte that is not UTF-8.
  for (const std::string stem : {"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "caf\xE9"}) {
    ASSERT_TRUE(WriteJpeg(dir.file(stem + ".jpg"), 8, 8, Solid({9, 9, 9})));
    ASSERT_TRUE(WriteTiffGrey16(dir.file(stem + ".tif"), 2, 2, samples));
    EXPECT_EQ(FormatOf(LoadPicture(dir.file(stem + ".jpg").c_str())), PixelFormat24bppRGB) << stem;
    EXPECT_EQ(FormatOf(LoadPicture(dir.file(stem + ".tif").c_str())), PixelFormat32bppRGB) << stem;
  }
}

// TiffFallback on its own: with no codec picture every raster kind converts.
struct FallbackCase {
  const char* name;
  std::function<bool(const std::string&)> write;
  std::vector<std::uint8_t> want;  // first pixel; empty: no picture
};

class Fallback : public testing::TestWithParam<FallbackCase> {};

TEST_P(Fallback, ConvertsTheRaster) {
  TempDir dir;
  const std::string path = dir.file("f.tif");
  ASSERT_TRUE(GetParam().write(path));
  std::unique_ptr<Bitmap> picture;
  TiffFallback(path.c_str(), 2, picture);
  if (GetParam().want.empty()) {
    EXPECT_EQ(picture, nullptr);
    return;
  }
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(FormatOf(picture), PixelFormat32bppRGB);
  const auto pixels = Pixels32(picture);
  EXPECT_EQ(std::vector<std::uint8_t>(pixels.begin(), pixels.begin() + 4), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Rasters, Fallback,
    testing::Values(
        FallbackCase{"Grey8", [](const std::string& p) { return WriteTiffGrey8(p, 2, 1, {200, 7}); }, {200, 200, 200, 0}},
        FallbackCase{"Rgb", [](const std::string& p) { return WriteTiffRgb(p, 2, 1, Solid({10, 20, 30})); }, {30, 20, 10, 0}},
        FallbackCase{"Palette", [](const std::string& p) {
                       TiffImage t;
                       t.width = 2, t.height = 1, t.photometric = PHOTOMETRIC_PALETTE, t.rows = {1, 0};
                       t.red.assign(256, 0), t.green.assign(256, 0), t.blue.assign(256, 0);
                       t.red[1] = 0x1100, t.green[1] = 0x2200, t.blue[1] = 0x3300;
                       return WriteTiff(p, t);
                     }, {0x33, 0x22, 0x11, 0}},
        FallbackCase{"Bilevel", [](const std::string& p) {
                       TiffImage t;
                       t.width = 10, t.height = 2, t.bits = 1, t.rows.assign(4, 0xAA);
                       return WriteTiff(p, t);
                     }, {}}),
    [](const testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.name); });

TEST(TiffFallback, KeepsAUsableCodecPicture) {
  GpBitmap* raw = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(2, 2, 0, PixelFormat8bppIndexed, nullptr, &raw), Ok);
  auto picture = std::make_unique<Bitmap>(raw);
  Bitmap* before = picture.get();
  TiffFallback("whatever.tif", 2, picture);
  EXPECT_EQ(picture.get(), before);
}

TEST(TiffFallback, DropsAPictureWithoutAnImage) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffGrey16(dir.file("x.tif"), 1, 1, {8}));
  auto empty = std::make_unique<Bitmap>(nullptr, UnknownImageFormat);
  TiffFallback(dir.file("x.tif").c_str(), 2, empty);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(Pixels32(empty), (std::vector<std::uint8_t>{2, 2, 2, 0}));
  auto other = std::make_unique<Bitmap>(nullptr, UnknownImageFormat);
  TiffFallback(dir.file("x.png").c_str(), 2, other);
  EXPECT_EQ(other, nullptr);
}

// A 16-bit TIFF whose length claims more rows than it holds keeps the rows
// it holds; the missing ones are black.
TEST(TiffFallback, ALyingLengthKeepsTheRowsThatAreThere) {
  TempDir dir;
  ASSERT_TRUE(WriteTiffGrey16(dir.file("t.tif"), 1, 40, std::vector<std::uint16_t>(40, 400)));
  auto bytes = ReadFileBytes(dir.file("t.tif"));
  ASSERT_TRUE(PatchTiffTag(bytes, TIFFTAG_IMAGELENGTH, 60000));
  WriteFileBytes(dir.file("tall.tif"), bytes);
  std::unique_ptr<Bitmap> picture;
  TiffFallback(dir.file("tall.tif").c_str(), 2, picture);
  ASSERT_NE(picture, nullptr);
  const auto pixels = Pixels32(picture);
  ASSERT_EQ(pixels.size(), 4u * 60000);
  EXPECT_EQ(pixels[4 * 39], 100);
  EXPECT_EQ(std::count(pixels.begin() + 4 * 40, pixels.end(), 0), 4 * (60000 - 40));
}

// Rows long enough for the vectorised conversion and its tail, at every
// kind of shift: t = min(sample >> shift, 255), none left past 15.
TEST(TiffFallback, SixteenBitRowsConvertAtEveryShift) {
  TempDir dir;
  const int width = 37, height = 2;
  std::vector<std::uint16_t> samples;
  for (int i = 0; i < width * height; ++i) samples.push_back(static_cast<std::uint16_t>(i * 1777 + 3));
  ASSERT_TRUE(WriteTiffGrey16(dir.file("wide.tif"), width, height, samples));
  for (unsigned shift : {0u, 2u, 8u, 15u, 16u}) {
    std::unique_ptr<Bitmap> picture;
    TiffFallback(dir.file("wide.tif").c_str(), shift, picture);
    ASSERT_NE(picture, nullptr) << shift;
    std::vector<std::uint8_t> want;
    for (std::uint16_t v : samples) {
      const auto t = static_cast<std::uint8_t>(shift >= 16 ? 0 : std::min(v >> shift, 255));
      want.insert(want.end(), {t, t, t, 0});
    }
    EXPECT_EQ(Pixels32(picture), want) << "shift " << shift;
  }
}

}  // namespace
