// Which Motion JPEG samples libjpeg-turbo decodes itself and which it leaves
// to libavcodec (the frame decoder tests check that both show FFmpeg's
// pictures).
#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <string>
#include <vector>

#include "platform/codec/dib_image.h"
#include "platform/codec/jpeg_decoder.h"
#include "tests/platform/codec/codec_test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The picture with a marker segment inserted right after its start marker.
Bytes WithSegment(Bytes jpeg, std::uint8_t marker, const std::string& body) {
  const std::size_t length = body.size() + 2;
  Bytes segment = {0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  segment.insert(segment.end(), body.begin(), body.end());
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

Bytes AsMade(Bytes jpeg) { return jpeg; }
Bytes TrailingBytes(Bytes jpeg) {
  jpeg.resize(jpeg.size() + 100, 0);
  return jpeg;
}
Bytes NoEndMarker(Bytes jpeg) {
  jpeg.erase(jpeg.end() - 2, jpeg.end());
  return jpeg;
}
Bytes Truncated(Bytes jpeg) {
  jpeg.resize(jpeg.size() * 3 / 5);
  return jpeg;
}
Bytes CommentOfOurs(Bytes jpeg) { return WithSegment(std::move(jpeg), 0xFE, "Lavc59.37.100"); }
Bytes LimitedRange(Bytes jpeg) { return WithSegment(std::move(jpeg), 0xFE, "CS=ITU601"); }
Bytes UpsideDown(Bytes jpeg) { return WithSegment(std::move(jpeg), 0xFE, "Intel(R) JPEG Library, version 1.5"); }
Bytes AdobeTransform(Bytes jpeg) { return WithSegment(std::move(jpeg), 0xEE, std::string("Adobe\0\x64\0\0\0\0\0", 12)); }
Bytes Garbage(Bytes jpeg) { return Bytes(jpeg.size(), 0x5A); }
Bytes NoHuffmanTables(Bytes jpeg) { return codectest::WithoutHuffmanTables(jpeg); }
Bytes Progressive(Bytes jpeg) { return codectest::ProgressiveJpeg(jpeg); }

struct TakeCase {
  const char* name;
  int width, height;  // the picture's; the output is 64 x 48
  int subsampling;
  Bytes (*edit)(Bytes);
  bool taken;
};

const TakeCase kTakeCases[] = {
    {"Yuv420", 64, 48, TJSAMP_420, AsMade, true},
    {"Yuv422", 64, 48, TJSAMP_422, AsMade, true},
    {"Yuv444", 64, 48, TJSAMP_444, AsMade, true},
    {"Grey", 64, 48, TJSAMP_GRAY, AsMade, true},
    {"NoHuffmanTables", 64, 48, TJSAMP_420, NoHuffmanTables, true},
    {"Progressive", 64, 48, TJSAMP_420, Progressive, true},
    {"TrailingBytes", 64, 48, TJSAMP_420, TrailingBytes, true},
    {"NoEndMarker", 64, 48, TJSAMP_420, NoEndMarker, true},
    {"CommentOfOurs", 64, 48, TJSAMP_420, CommentOfOurs, true},
    {"Truncated", 64, 48, TJSAMP_420, Truncated, false},
    {"LimitedRange", 64, 48, TJSAMP_420, LimitedRange, false},
    {"UpsideDown", 64, 48, TJSAMP_420, UpsideDown, false},
    {"AdobeTransform", 64, 48, TJSAMP_444, AdobeTransform, false},
    {"Yuv440", 64, 48, TJSAMP_440, AsMade, false},
    {"Field", 64, 24, TJSAMP_422, AsMade, false},
    {"OtherWidth", 32, 48, TJSAMP_420, AsMade, false},
    {"Garbage", 64, 48, TJSAMP_420, Garbage, false},
};

class JpegTakes : public ::testing::TestWithParam<TakeCase> {};

TEST_P(JpegTakes, PlainUndamagedPicturesOfTheStreamSizeOnly) {
  const TakeCase& c = GetParam();
  const Bytes jpeg = c.edit(codectest::MakeJpeg(c.width, c.height, 3, c.subsampling));
  codec::DibImage dib;
  ASSERT_TRUE(dib.Allocate(64, 48));
  ASSERT_EQ(codec::DecodeJpegSample(jpeg.data(), jpeg.size(), 64, 48, dib), c.taken);
  if (!c.taken) return;
  // Bottom-up, blue first, like the picture compressed.
  const Bytes expected = codectest::TopDownRows(codectest::MakeFrame(64, 48, 3).data(), 64, 48);
  EXPECT_GE(codectest::LumaPsnr(codectest::TopDownRows(dib.pixels(), 64, 48), expected), 35);
}

INSTANTIATE_TEST_SUITE_P(Samples, JpegTakes, ::testing::ValuesIn(kTakeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegTakes, NothingAndTheQuirkyFourccs) {
  codec::DibImage dib;
  ASSERT_TRUE(dib.Allocate(64, 48));
  EXPECT_FALSE(codec::DecodeJpegSample(nullptr, 0, 64, 48, dib));
  EXPECT_TRUE(codec::JpegDecodesFourcc(mmioFOURCC('M', 'J', 'P', 'G')));
  EXPECT_FALSE(codec::JpegDecodesFourcc(mmioFOURCC('M', 'T', 'S', 'J')));  // Cb and Cr swapped
  EXPECT_FALSE(codec::JpegDecodesFourcc(mmioFOURCC('C', 'J', 'P', 'G')));
}

}  // namespace
