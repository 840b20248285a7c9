// Bitmap headers read and their rows converted to blue, green, red (and
// alpha) bytes: the one conversion behind BMP files, GDI bitmaps and
// uncompressed AVI streams.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/dib/dib_format.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct RgbCase {
  std::string name;
  int width;
  int height;  // negative: top-down
  int bitCount;
  DWORD compression;
  DWORD clrUsed;
  Bytes table;     // masks or colour table after the header
  Bytes sample;    // rows as stored
  Bytes expected;  // rows from the top, B G R
};

Bytes Le16(std::initializer_list<unsigned> values) {
  Bytes out;
  for (unsigned v : values) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  return out;
}

Bytes Le32(std::initializer_list<std::uint32_t> values) {
  Bytes out;
  for (std::uint32_t v : values)
    for (int i = 0; i < 32; i += 8) out.push_back(static_cast<std::uint8_t>(v >> i));
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Colour table entries: blue, green, red, reserved.
const Bytes kPalette = {0, 0, 0, 0, 255, 255, 255, 0, 10, 20, 30, 0};

const RgbCase kCases[] = {
    {"Bgr24BottomUp", 3, 2, 24, BI_RGB, 0, {},
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0},
     {11, 12, 13, 14, 15, 16, 17, 18, 19, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    {"Bgr24TopDown", 3, -2, 24, BI_RGB, 0, {},
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0},
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
    {"Bgrx32", 2, 1, 32, BI_RGB, 0, {}, {1, 2, 3, 99, 4, 5, 6, 99}, {1, 2, 3, 4, 5, 6}},
    // Index 3 lies past the three colours in use and reads as black.
    {"Pal8", 4, 1, 8, BI_RGB, 3, kPalette, {2, 1, 0, 3}, {10, 20, 30, 255, 255, 255, 0, 0, 0, 0, 0, 0}},
    {"Pal8WithoutTable", 1, 1, 8, BI_RGB, 0, {}, {1, 0, 0, 0}, {0, 0, 0}},
    {"Pal4", 3, -2, 4, BI_RGB, 3, kPalette, {0x21, 0x00, 0, 0, 0x12, 0x20, 0, 0},
     {10, 20, 30, 255, 255, 255, 0, 0, 0, 255, 255, 255, 10, 20, 30, 10, 20, 30}},
    {"Pal1", 9, 1, 1, BI_RGB, 2, kPalette, {0xA0, 0x80, 0, 0},
     Cat({{255, 255, 255, 0, 0, 0, 255, 255, 255}, Bytes(15, 0), {255, 255, 255}})},
    // 5 bits widen by repeating their bits: 16 becomes 132, 31 becomes 255.
    {"Rgb555", 3, 1, 16, BI_RGB, 0, {}, Cat({Le16({0x7C00, 0x03E0, 0x0010}), {0, 0}}),
     {0, 0, 255, 0, 255, 0, 132, 0, 0}},
    {"Bitfields565", 3, 1, 16, BI_BITFIELDS, 0, Le32({0xF800, 0x07E0, 0x001F}),
     Cat({Le16({0xF800, 0x0400, 0x001F}), {0, 0}}), {0, 0, 255, 0, 130, 0, 255, 0, 0}},
    // Channels wider than 8 bits keep their top 8.
    {"Bitfields101010", 1, 1, 32, BI_BITFIELDS, 0, Le32({0x3FF00000, 0x000FFC00, 0x000003FF}),
     Le32({0x3FF00000 | (0x200 << 10) | 0x003}), {0, 128, 255}},
};

Bytes Format(const RgbCase& c) {
  BITMAPINFOHEADER bih{};
  bih.biSize = sizeof bih;
  bih.biWidth = c.width;
  bih.biHeight = c.height;
  bih.biPlanes = 1;
  bih.biBitCount = static_cast<WORD>(c.bitCount);
  bih.biCompression = c.compression;
  bih.biClrUsed = c.clrUsed;
  Bytes format(sizeof bih);
  std::memcpy(format.data(), &bih, sizeof bih);
  format.insert(format.end(), c.table.begin(), c.table.end());
  return format;
}

dib::DibRead Read(const Bytes& format, dib::DibFormat* out) {
  return dib::ReadDibFormat(format.data(), format.size(), sizeof(BITMAPINFOHEADER), dib::ColorTable::kCut, out);
}

// The rows of a stored sample converted, from the top; 3 or 4 bytes a pixel.
Bytes Convert(const dib::DibRows& rows, const dib::DibFormat& f, const Bytes& sample, int bytesPerPixel) {
  const auto width = static_cast<std::size_t>(f.width);
  const auto height = static_cast<std::size_t>(f.rows());
  Bytes out(width * height * static_cast<std::size_t>(bytesPerPixel));
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* row = sample.data() + rows.stride() * (f.topDown() ? y : height - 1 - y);
    std::uint8_t* to = out.data() + y * width * static_cast<std::size_t>(bytesPerPixel);
    if (bytesPerPixel == 3)
      rows.ToBgr(row, to);
    else
      rows.ToBgra(row, to);
  }
  return out;
}

class DibRowsConvert : public ::testing::TestWithParam<RgbCase> {};

TEST_P(DibRowsConvert, GivesTheExpectedRows) {
  const RgbCase& c = GetParam();
  dib::DibFormat f;
  ASSERT_EQ(Read(Format(c), &f), dib::DibRead::kOk);
  dib::DibRows rows;
  ASSERT_TRUE(rows.Init(f, true));
  EXPECT_EQ(rows.stride() * static_cast<std::size_t>(f.rows()), c.sample.size());
  EXPECT_EQ(Convert(rows, f, c.sample, 3), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Formats, DibRowsConvert, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

// Alpha comes from its mask, widened like the colours; without one it is 255.
TEST(DibRowsConvert, AlphaComesFromItsMask) {
  RgbCase argb4444{"", 2, 1, 16, dib::kBiAlphaBitfields, 0, Le32({0x0F00, 0x00F0, 0x000F, 0xF000}),
                   Le16({0x8421, 0xF000}), {}};
  dib::DibFormat f;
  ASSERT_EQ(Read(Format(argb4444), &f), dib::DibRead::kOk);
  dib::DibRows rows;
  ASSERT_TRUE(rows.Init(f, true));
  EXPECT_EQ(Convert(rows, f, argb4444.sample, 4), (Bytes{0x11, 0x22, 0x44, 0x88, 0, 0, 0, 0xFF}));
  RgbCase bgrx{"", 1, 1, 32, BI_RGB, 0, {}, {1, 2, 3, 99}, {}};
  ASSERT_EQ(Read(Format(bgrx), &f), dib::DibRead::kOk);
  ASSERT_TRUE(rows.Init(f, true));
  EXPECT_EQ(Convert(rows, f, bgrx.sample, 4), (Bytes{1, 2, 3, 255}));
}

TEST(DibRowsConvert, RefusesWhatItCannotConvert) {
  const std::vector<std::pair<std::string, RgbCase>> cases = {
      {"24-bit bit fields", {"", 4, 4, 24, BI_BITFIELDS, 0, Le32({0xFF0000, 0xFF00, 0xFF}), {}, {}}},
      {"2 bits", {"", 4, 4, 2, BI_RGB, 0, {}, {}, {}}},
      {"split mask", {"", 4, 4, 16, BI_BITFIELDS, 0, Le32({0xF00F, 0x0FF0, 0}), {}, {}}},
      {"compressed", {"", 4, 4, 24, mmioFOURCC('M', 'J', 'P', 'G'), 0, {}, {}, {}}},
      {"no width", {"", 0, 4, 24, BI_RGB, 0, {}, {}, {}}},
      {"no height", {"", 4, 0, 24, BI_RGB, 0, {}, {}, {}}},
      {"over 1 GiB", {"", 30000, 30000, 24, BI_RGB, 0, {}, {}, {}}},
      {"sides near 2^31", {"", 2000000000, -2000000000, 24, BI_RGB, 0, {}, {}, {}}},
  };
  for (const auto& [what, c] : cases) {
    dib::DibFormat f;
    ASSERT_EQ(Read(Format(c), &f), dib::DibRead::kOk) << what;
    dib::DibRows rows;
    EXPECT_FALSE(rows.Init(f, true)) << what;
  }
}

// Masks, colours or a header cut short by the end of the bytes.
TEST(ReadDibFormat, RefusesWhatLiesPastTheBytes) {
  dib::DibFormat f;
  const Bytes noMasks = Format({"", 4, 4, 16, BI_BITFIELDS, 0, {}, {}, {}});
  EXPECT_EQ(Read(noMasks, &f), dib::DibRead::kDamaged);
  const Bytes shortTable = Format({"", 4, 4, 8, BI_RGB, 2, {1, 2, 3, 0}, {}, {}});
  EXPECT_EQ(dib::ReadDibFormat(shortTable.data(), shortTable.size(), 40, dib::ColorTable::kWhole, &f),
            dib::DibRead::kDamaged);
  const Bytes shortHeader(39, 0);
  EXPECT_EQ(dib::ReadDibFormat(shortHeader.data(), shortHeader.size(), 40, dib::ColorTable::kCut, &f),
            dib::DibRead::kDamaged);
  EXPECT_EQ(dib::ReadDibFormat(nullptr, 0, 40, dib::ColorTable::kCut, &f), dib::DibRead::kDamaged);
}

}  // namespace
