// Bitmaps in memory: creation, cloning, locking, device-independent bitmaps,
// the encoder list and JPEG saving.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <turbojpeg.h>

#include "platform/gdiplus.h"
#include "platform/text.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using namespace testsupport;

std::unique_ptr<Bitmap> Blank(INT width, INT height, PixelFormat format) {
  GpBitmap* bitmap = nullptr;
  const GpStatus status = GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &bitmap);
  return std::make_unique<Bitmap>(bitmap, status);
}

// Fills a 24 or 32-bit bitmap through a write lock.
void Fill(GpBitmap* bitmap, PixelFormat format, const Pattern& pattern) {
  BitmapData data{};
  ASSERT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeWrite, format, &data), Ok);
  const int bytes = format == PixelFormat24bppRGB ? 3 : 4;
  for (UINT y = 0; y < data.Height; ++y)
    for (UINT x = 0; x < data.Width; ++x) {
      auto* p = static_cast<std::uint8_t*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride + x * bytes;
      const Rgb c = pattern(static_cast<int>(x), static_cast<int>(y));
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
      if (bytes == 4) p[3] = 0xFF;
    }
  ASSERT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
}

TEST(BitmapCreate, RefusesBadSizesAndHugeBuffersWithoutAllocating) {
  GpBitmap* bitmap = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromScan0(0, 10, 0, PixelFormat24bppRGB, nullptr, &bitmap), InvalidParameter);
  EXPECT_EQ(GdipCreateBitmapFromScan0(10, -1, 0, PixelFormat24bppRGB, nullptr, &bitmap), InvalidParameter);
  EXPECT_EQ(GdipCreateBitmapFromScan0(10, 10, 0, 0x12345, nullptr, &bitmap), InvalidParameter);
  EXPECT_EQ(GdipCreateBitmapFromScan0(60000, 60000, 0, PixelFormat32bppRGB, nullptr, &bitmap), OutOfMemory);
  EXPECT_EQ(GdipCreateBitmapFromScan0(INT32_MAX, INT32_MAX, 0, PixelFormat1bppIndexed, nullptr, &bitmap), OutOfMemory);
  EXPECT_EQ(bitmap, nullptr);
}

TEST(BitmapCreate, NewPixelsAreZeroEvenInReusedMemory) {
  // Large blocks are handed out again after a bitmap goes; they must come
  // back cleared.
  for (const auto& [width, height] : {std::pair{5, 3}, std::pair{700, 500}}) {
    for (int round = 0; round < 2; ++round) {
      auto bitmap = Blank(width, height, PixelFormat24bppRGB);
      ASSERT_EQ(bitmap->lastStatus(), Ok);
      const auto pixels = LockedPixels(bitmap->image(), PixelFormat24bppRGB);
      ASSERT_EQ(pixels, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3, 0)) << width << " round " << round;
      Fill(bitmap->image(), PixelFormat24bppRGB, Solid({255, 255, 255}));
    }
  }
}

TEST(BitmapCreate, RowsTheCallerDoesNotWriteAreZeroEvenInReusedMemory) {
  constexpr int kWidth = 700, kHeight = 500;
  for (int round = 0; round < 2; ++round) {
    GpBitmap* image = nullptr;
    ASSERT_EQ(GdipCreateBitmapForRows(kWidth, kHeight, PixelFormat32bppRGB, kHeight / 2, &image), Ok);
    const Bitmap bitmap(image);
    const auto pixels = LockedPixels(image, PixelFormat32bppRGB);
    const std::size_t half = std::size_t{kWidth} * 4 * (kHeight / 2);
    ASSERT_EQ(pixels.size(), 2 * half);
    EXPECT_TRUE(std::all_of(pixels.begin() + std::ptrdiff_t(half), pixels.end(), [](std::uint8_t b) { return b == 0; }))
        << "round " << round;
    Fill(image, PixelFormat32bppRGB, Solid({255, 255, 255}));
  }
}

TEST(BitmapCreate, CallerMemoryIsUsedInPlaceEvenBottomUp) {
  std::vector<std::uint8_t> memory(4 * 3 * 2, 0);
  GpBitmap* raw = nullptr;
  // Negative stride: the first row is the last in memory.
  ASSERT_EQ(GdipCreateBitmapFromScan0(3, 2, -12, PixelFormat32bppRGB, memory.data() + 12, &raw), Ok);
  Bitmap bitmap(raw);
  Fill(raw, PixelFormat24bppRGB, [](int x, int y) { return Rgb{static_cast<std::uint8_t>(10 * x + y), 0, 0}; });
  EXPECT_EQ(memory[12 + 2], 0);   // top row, x 0: red 0
  EXPECT_EQ(memory[12 + 6], 10);  // top row, x 1
  EXPECT_EQ(memory[2], 1);        // bottom row, x 0
  EXPECT_EQ(memory[3], 255);      // 32bppRGB written through a 24-bit lock: the fourth byte is set
}

TEST(BitmapLock, WriteLocksCopyBackReadLocksDoNot) {
  auto bitmap = Blank(4, 2, PixelFormat32bppARGB);
  BitmapData data{};
  ASSERT_EQ(GdipBitmapLockBits(bitmap->image(), nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data), Ok);
  static_cast<std::uint8_t*>(data.Scan0)[0] = 99;
  ASSERT_EQ(GdipBitmapUnlockBits(bitmap->image(), &data), Ok);
  EXPECT_EQ(LockedPixels(bitmap->image(), PixelFormat24bppRGB)[0], 0);

  const GpRect area{1, 1, 2, 1};
  ASSERT_EQ(GdipBitmapLockBits(bitmap->image(), &area, ImageLockModeWrite, PixelFormat24bppRGB, &data), Ok);
  EXPECT_EQ(data.Width, 2u);
  EXPECT_EQ(data.Height, 1u);
  std::memset(data.Scan0, 77, 6);
  ASSERT_EQ(GdipBitmapUnlockBits(bitmap->image(), &data), Ok);
  const auto pixels = LockedPixels(bitmap->image(), PixelFormat32bppRGB);
  EXPECT_EQ(pixels[4 * 4], 0);       // (0, 1) untouched
  EXPECT_EQ(pixels[4 * 5], 77);      // (1, 1)
  EXPECT_EQ(pixels[4 * 6 + 2], 77);  // (2, 1)
  EXPECT_EQ(pixels[4 * 7], 0);       // (3, 1)
}

TEST(BitmapLock, RefusesWhatItCannotDo) {
  auto bitmap = Blank(4, 4, PixelFormat8bppIndexed);
  BitmapData data{};
  const GpRect outside{2, 2, 3, 1};
  EXPECT_EQ(GdipBitmapLockBits(bitmap->image(), &outside, ImageLockModeRead, PixelFormat24bppRGB, &data), InvalidParameter);
  EXPECT_EQ(GdipBitmapLockBits(bitmap->image(), nullptr, ImageLockModeRead, PixelFormat4bppIndexed, &data), InvalidParameter);
  // Writing converted pixels back into a palette is not offered.
  EXPECT_EQ(GdipBitmapLockBits(bitmap->image(), nullptr, ImageLockModeWrite, PixelFormat24bppRGB, &data), NotImplemented);
  ASSERT_EQ(GdipBitmapLockBits(bitmap->image(), nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data), Ok);
  BitmapData second{};
  EXPECT_EQ(GdipBitmapLockBits(bitmap->image(), nullptr, ImageLockModeRead, PixelFormat24bppRGB, &second), WrongState);
  GpBitmap* clone = nullptr;
  EXPECT_EQ(GdipCloneBitmapAreaI(0, 0, 4, 4, PixelFormat24bppRGB, bitmap->image(), &clone), WrongState);
  EXPECT_EQ(GdipBitmapUnlockBits(bitmap->image(), &data), Ok);
  EXPECT_EQ(GdipBitmapUnlockBits(bitmap->image(), &data), WrongState);
}

TEST(BitmapLock, UserBufferReceivesTheConvertedPixels) {
  auto bitmap = Blank(2, 2, PixelFormat24bppRGB);
  Fill(bitmap->image(), PixelFormat24bppRGB, Solid({1, 2, 3}));
  std::vector<std::uint8_t> mine(2 * 2 * 4 + 8, 0xEE);
  BitmapData data{};
  data.Scan0 = mine.data();
  data.Stride = 12;
  ASSERT_EQ(GdipBitmapLockBits(bitmap->image(), nullptr, ImageLockModeRead | ImageLockModeUserInputBuf,
                               PixelFormat32bppRGB, &data),
            Ok);
  EXPECT_EQ(data.Scan0, mine.data());
  ASSERT_EQ(GdipBitmapUnlockBits(bitmap->image(), &data), Ok);
  EXPECT_EQ((std::vector<std::uint8_t>(mine.begin(), mine.begin() + 12)),
            (std::vector<std::uint8_t>{3, 2, 1, 255, 3, 2, 1, 255, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(BitmapClone, ConvertsTheAreaAndKeepsPalettes) {
  // 1-bit, 10 wide, cloned from an odd column so bits must be realigned.
  BmpImage bmp;
  bmp.width = 10;
  bmp.height = 1;
  bmp.bitCount = 1;
  bmp.palette = {0x000000, 0x00FF8000};
  bmp.bits = BmpRows(10, 1, 1, false, [](int x, int) { return static_cast<std::uint32_t>(x % 3 == 0); });
  TempDir dir;
  WriteBmp(dir.file("b.bmp"), bmp);
  Bitmap source(WidenUtf8(dir.file("b.bmp")).c_str());
  ASSERT_EQ(source.lastStatus(), Ok);
  for (const PixelFormat format : {PixelFormat1bppIndexed, PixelFormat24bppRGB}) {
    GpBitmap* raw = nullptr;
    ASSERT_EQ(GdipCloneBitmapAreaI(3, 0, 7, 1, format, source.image(), &raw), Ok);
    Bitmap clone(raw);
    PixelFormat got = 0;
    EXPECT_EQ(GdipGetImagePixelFormat(clone.asImage(), &got), Ok);
    EXPECT_EQ(got, format);
    const auto pixels = LockedPixels(raw, PixelFormat24bppRGB);
    ASSERT_EQ(pixels.size(), 21u);
    for (int x = 0; x < 7; ++x) EXPECT_EQ(pixels[3 * x + 2], (x + 3) % 3 == 0 ? 0xFF : 0) << x;
  }
  GpBitmap* raw = nullptr;
  EXPECT_EQ(GdipCloneBitmapAreaI(5, 0, 6, 1, PixelFormat24bppRGB, source.image(), &raw), InvalidParameter);
  EXPECT_EQ(GdipCloneBitmapAreaI(0, 0, 2, 1, PixelFormat8bppIndexed, source.image(), &raw), NotImplemented);
}

// ---------------------------------------------------------------------------
// Device-independent bitmaps

struct Dib {
  std::vector<std::uint8_t> block;  // header, colours, pixels
  BITMAPINFO* info() { return reinterpret_cast<BITMAPINFO*>(block.data()); }
  void* bits(std::size_t colours) { return block.data() + 40 + 4 * colours; }
};

Dib MakeDib(int width, int height, int bitCount, const std::vector<std::uint32_t>& colours,
            const std::vector<std::uint8_t>& rows) {
  Dib dib;
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bitCount);
  h.biCompression = BI_RGB;
  h.biClrUsed = static_cast<DWORD>(colours.size());
  dib.block.resize(40 + 4 * colours.size());
  std::memcpy(dib.block.data(), &h, 40);
  if (!colours.empty()) std::memcpy(dib.block.data() + 40, colours.data(), 4 * colours.size());
  dib.block.insert(dib.block.end(), rows.begin(), rows.end());
  return dib;
}

TEST(BitmapFromDib, ReadsEachLayoutUpright) {
  const Pattern pattern = Gradient(5, 3);
  const auto pack = [&](int x, int y) {
    const Rgb c = pattern(x, y);
    return static_cast<std::uint32_t>(c.b | c.g << 8 | c.r << 16);
  };
  std::vector<std::uint32_t> greys;
  for (int i = 0; i < 256; ++i) greys.push_back(static_cast<std::uint32_t>(i * 0x010101));
  struct Case {
    const char* name;
    Dib dib;
    std::size_t colours;
    PixelFormat format;
    std::function<Rgb(int, int)> expected;
  };
  const auto grey = [](int x, int y) { const auto v = static_cast<std::uint8_t>(x * 50 + y); return Rgb{v, v, v}; };
  std::vector<Case> cases;
  cases.push_back({"24 bottom-up", MakeDib(5, 3, 24, {}, BmpRows(5, 3, 24, false, pack)), 0, PixelFormat24bppRGB, pattern});
  cases.push_back({"24 top-down", MakeDib(5, -3, 24, {}, BmpRows(5, 3, 24, true, pack)), 0, PixelFormat24bppRGB, pattern});
  cases.push_back({"32", MakeDib(5, 3, 32, {}, BmpRows(5, 3, 32, false, pack)), 0, PixelFormat32bppRGB, pattern});
  cases.push_back({"8 with colours",
                   MakeDib(5, 3, 8, greys, BmpRows(5, 3, 8, false, [&](int x, int y) { return static_cast<std::uint32_t>(grey(x, y).r); })),
                   256, PixelFormat8bppIndexed, grey});
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    GpBitmap* raw = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromGdiDib(c.dib.info(), c.dib.bits(c.colours), &raw), Ok);
    Bitmap bitmap(raw);
    // The bitmap is a copy: the caller may reuse its block at once.
    std::fill(c.dib.block.begin() + 40, c.dib.block.end(), 0xAB);
    PixelFormat format = 0;
    EXPECT_EQ(GdipGetImagePixelFormat(bitmap.asImage(), &format), Ok);
    EXPECT_EQ(format, c.format);
    const auto pixels = LockedPixels(raw, PixelFormat24bppRGB);
    ASSERT_EQ(pixels.size(), 45u);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        const std::uint8_t* p = pixels.data() + 3 * (y * 5 + x);
        EXPECT_EQ((Rgb{p[2], p[1], p[0]}), c.expected(x, y)) << x << "," << y;
      }
  }
}

// ---------------------------------------------------------------------------
// Encoders and saving

CLSID JpegEncoder() {
  UINT count = 0, size = 0;
  EXPECT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
  std::vector<std::uint8_t> block(size);
  auto* codecs = reinterpret_cast<ImageCodecInfo*>(block.data());
  EXPECT_EQ(GdipGetImageEncoders(count, size, codecs), Ok);
  for (UINT i = 0; i < count; ++i)
    if (codecs[i].MimeType && std::u16string_view(codecs[i].MimeType) == u"image/jpeg") return codecs[i].Clsid;
  ADD_FAILURE() << "no image/jpeg encoder";
  return CLSID{};
}

TEST(Encoders, OneBlockHoldsTheRecordsAndTheirStrings) {
  UINT count = 0, size = 0;
  ASSERT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
  ASSERT_GE(count, 1u);
  std::vector<std::uint8_t> block(size);
  auto* codecs = reinterpret_cast<ImageCodecInfo*>(block.data());
  EXPECT_EQ(GdipGetImageEncoders(count, size - 1, codecs), GenericError);
  ASSERT_EQ(GdipGetImageEncoders(count, size, codecs), Ok);
  const auto inside = [&](const void* p) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    return b >= block.data() + count * sizeof(ImageCodecInfo) && b < block.data() + size;
  };
  for (UINT i = 0; i < count; ++i) {
    EXPECT_TRUE(inside(codecs[i].MimeType));
    EXPECT_TRUE(inside(codecs[i].CodecName));
  }
  // The identifier does not change between calls.
  EXPECT_TRUE(JpegEncoder() == JpegEncoder());
}

TEST(SaveJpeg, WritesQuality75At420ThatDecodesBack) {
  const Pattern pattern = Gradient(64, 48);
  auto bitmap = Blank(64, 48, PixelFormat32bppRGB);
  Fill(bitmap->image(), PixelFormat32bppRGB, pattern);
  TempDir dir;
  const std::string path = dir.file("Save0007 \xC3\xA9.jpg");
  const CLSID encoder = JpegEncoder();
  ASSERT_EQ(GdipSaveImageToFile(bitmap->asImage(), WidenUtf8(path).c_str(), &encoder, nullptr), Ok);

  const auto bytes = ReadFileBytes(path);
  ASSERT_FALSE(bytes.empty());
  tjhandle tj = tjInitDecompress();
  int width = 0, height = 0, sampling = -1, colourspace = -1;
  ASSERT_EQ(tjDecompressHeader3(tj, bytes.data(), bytes.size(), &width, &height, &sampling, &colourspace), 0);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  EXPECT_EQ(sampling, TJSAMP_420);
  std::vector<std::uint8_t> decoded(64 * 48 * 3);
  ASSERT_EQ(tjDecompress2(tj, bytes.data(), bytes.size(), decoded.data(), 64, 0, 48, TJPF_BGR, 0), 0);
  tjDestroy(tj);
  int worst = 0;
  const auto want = PatternBgr(64, 48, pattern);
  for (std::size_t i = 0; i < want.size(); ++i) worst = std::max(worst, std::abs(decoded[i] - want[i]));
  EXPECT_LE(worst, 16);
  // Our decoder reads it back too.
  Bitmap reread(WidenUtf8(path).c_str());
  EXPECT_EQ(reread.lastStatus(), Ok);
}

TEST(SaveJpeg, FailsCleanly) {
  auto bitmap = Blank(8, 8, PixelFormat24bppRGB);
  const CLSID encoder = JpegEncoder();
  const CLSID unknown{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  TempDir dir;
  EXPECT_EQ(GdipSaveImageToFile(bitmap->asImage(), WidenUtf8(dir.file("a.jpg")).c_str(), &unknown, nullptr),
            InvalidParameter);
  EXPECT_EQ(GdipSaveImageToFile(bitmap->asImage(), WidenUtf8(dir.file("no/such/folder.jpg")).c_str(), &encoder, nullptr),
            Win32Error);
}

TEST(Startup, PairsRepeat) {
  for (int i = 0; i < 2; ++i) {
    std::uintptr_t token = 0;
    GdiplusStartupInput input;
    ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
    EXPECT_NE(token, 0u);
    GdiplusShutdown(token);
  }
}

}  // namespace
