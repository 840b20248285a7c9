// The Motion JPEG compressor (libjpeg-turbo): the quantiser tables FFmpeg's
// own Motion JPEG encoder writes for the same quantiser scale, and frames
// far larger than a typical one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/codec/dib_image.h"
#include "platform/codec/video_decoder.h"
#include "platform/vfw.h"
#include "tests/platform/codec/codec_test_support.h"
#include "tests/support/test_support.h"

namespace {

using codectest::InputHeader;

// One frame through the calls the Make-AVI job makes; empty on failure.
struct Frame {
  std::vector<std::uint8_t> format, bytes;
};
Frame CompressOne(const std::vector<std::uint8_t>& bits, int width, int height, DWORD quality) {
  Frame result;
  HIC hic = ICOpen(ICTYPE_VIDEO, mmioFOURCC('M', 'J', 'P', 'G'), ICMODE_COMPRESS);
  if (!hic) return result;
  const BITMAPINFOHEADER in = InputHeader(width, height);
  const auto inArg = reinterpret_cast<DWORD_PTR>(&in);
  std::vector<std::uint8_t> format(static_cast<std::size_t>(ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, inArg, 0)));
  EXPECT_EQ(ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, inArg, reinterpret_cast<DWORD_PTR>(format.data())),
            static_cast<LRESULT>(format.size()));
  const auto outArg = reinterpret_cast<DWORD_PTR>(format.data());
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(ICSendMessage(hic, ICM_COMPRESS_GET_SIZE, inArg, outArg)));
  if (ICSendMessage(hic, ICM_COMPRESS_BEGIN, inArg, outArg) == ICERR_OK) {
    auto* out = reinterpret_cast<BITMAPINFOHEADER*>(format.data());
    BITMAPINFOHEADER input = in;
    DWORD flags = 0;
    if (ICCompress(hic, 0, out, buffer.data(), &input, const_cast<std::uint8_t*>(bits.data()), nullptr, &flags, 0, 0,
                   quality, nullptr, nullptr) == ICERR_OK) {
      result.bytes.assign(buffer.begin(), buffer.begin() + out->biSizeImage);
      result.format = format;
    }
    EXPECT_EQ(ICSendMessage(hic, ICM_COMPRESS_END, 0, 0), ICERR_OK);
  }
  EXPECT_EQ(ICClose(hic), ICERR_OK);
  return result;
}

// The payloads of every DQT segment before the first SOS, concatenated.
std::vector<std::uint8_t> QuantTables(const std::vector<std::uint8_t>& jpeg) {
  std::vector<std::uint8_t> tables;
  std::size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF && jpeg[i + 1] != 0xDA) {
    const std::size_t length = std::size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
    if (jpeg[i + 1] == 0xDB && i + 2 + length <= jpeg.size())
      tables.insert(tables.end(), jpeg.begin() + std::ptrdiff_t(i + 4), jpeg.begin() + std::ptrdiff_t(i + 2 + length));
    i += 2 + length;
  }
  return tables;
}

struct QualityCase {
  DWORD quality;
  int qscale;  // what FFmpeg's -q:v takes (with -qmin 1, or it stops at 2)
};

class MjpegTables : public testing::TestWithParam<QualityCase> {};

// A quality gives the tables, and so the picture, that FFmpeg's encoder
// gives for the quantiser scale the quality maps to.
TEST_P(MjpegTables, MatchFfmpegAtTheSameScale) {
  const QualityCase c = GetParam();
  testsupport::TempDir dir;
  const std::string theirs = dir.file("ffmpeg.jpg");
  ASSERT_EQ(testsupport::RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=32x16 -frames:v 1 -c:v mjpeg "
                                    "-pix_fmt yuvj420p -qmin 1 -q:v " +
                                    std::to_string(c.qscale) + " -f mjpeg " + testsupport::ShellQuote(theirs))
                .exitCode,
            0);
  const Frame ours = CompressOne(codectest::MakeFrame(32, 16, 0), 32, 16, c.quality);
  ASSERT_FALSE(ours.bytes.empty());
  const std::vector<std::uint8_t> expected = QuantTables(testsupport::ReadFileBytes(theirs));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(QuantTables(ours.bytes), expected);
}

INSTANTIATE_TEST_SUITE_P(Qualities, MjpegTables,
                         testing::Values(QualityCase{0, 31}, QualityCase{5000, 8}, QualityCase{8500, 3},
                                         QualityCase{10000, 1}),
                         [](const auto& info) { return "Quality" + std::to_string(info.param.quality); });

// Noise at the best quality codes to far more than the buffer the encoder
// starts with; the frame must still come out whole.
TEST(MjpegFrames, AFrameLargerThanTheFirstBufferDecodesWhole) {
  const int width = 256, height = 192;
  const std::vector<std::uint8_t> noise = codectest::MakeNoiseFrame(width, height, 5);
  const Frame frame = CompressOne(noise, width, height, 10000);
  ASSERT_GT(frame.bytes.size(), std::size_t(width) * height / 8 + 4096);

  auto decoder = codec::VideoDecoder::Open(frame.format.data(), frame.format.size());
  ASSERT_TRUE(decoder);
  AVPacket* packet = decoder->NewPacket(frame.bytes.size());
  ASSERT_TRUE(packet);
  std::memcpy(packet->data, frame.bytes.data(), frame.bytes.size());
  ASSERT_EQ(decoder->Send(packet, false), 0);
  ASSERT_EQ(decoder->Receive(), 0);
  codec::DibImage dib;
  ASSERT_TRUE(dib.Allocate(width, height));
  ASSERT_TRUE(decoder->ConvertTo(dib));
  EXPECT_GE(codectest::LumaPsnr(codectest::TopDownRows(dib.pixels(), width, height),
                                codectest::TopDownRows(noise.data(), width, height)),
            30);
}

}  // namespace
