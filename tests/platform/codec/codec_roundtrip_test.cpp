// Pictures through each compressor into an AVI file and back out again, read
// by our frame decoder and by FFmpeg.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "platform/vfw.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/platform/codec/codec_test_support.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::RunCommand;
using testsupport::ShellQuote;
using testsupport::TempDir;

struct RoundTripCase {
  const char* fcc;  // "none": uncompressed
  int width;
  int height;
  bool lossless;
  double minLumaPsnr;
};

const RoundTripCase kCases[] = {
    {"none", 1, 1, true, 0},    {"none", 5, 3, true, 0},   {"MJPG", 1, 1, false, 30},
    {"MJPG", 5, 3, false, 30},  {"MJPG", 64, 48, false, 30}, {"H264", 2, 2, false, 30},
    {"H264", 6, 4, false, 30},  {"H264", 64, 48, false, 30}, {"FMP4", 1, 1, false, 28},
    {"FMP4", 5, 3, false, 28},  {"FMP4", 64, 48, false, 28}, {"FFV1", 1, 1, true, 0},
    {"FFV1", 5, 3, true, 0},    {"FFV1", 64, 48, true, 0},   {"HFYU", 1, 1, true, 0},
    {"HFYU", 5, 3, true, 0},    {"HFYU", 64, 48, true, 0},   {"cvid", 1, 1, false, 20},
    {"cvid", 5, 3, false, 20},  {"cvid", 64, 48, false, 20}, {"MSVC", 4, 4, false, 20},
    {"MSVC", 64, 48, false, 20},
};

constexpr int kFrames = 12;
constexpr int kFps = 10;

class CodecRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(CodecRoundTrip, OurReaderAndFfmpegSeeTheFramesWritten) {
  const RoundTripCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.file("clip.avi");
  const bool raw = std::string(c.fcc) == "none";
  avitest::Clip clip;
  std::vector<DWORD> keys;
  if (raw) {
    clip = avitest::RawClip(c.width, c.height, kFps, 0);
    for (int i = 0; i < kFrames; ++i) clip.frames.push_back(codectest::MakeFrame(c.width, c.height, i));
    keys.assign(kFrames, AVIIF_KEYFRAME);
  } else {
    codectest::Compressed compressed = codectest::CompressFrames(c.fcc, c.width, c.height, kFrames);
    ASSERT_EQ(compressed.samples.size(), static_cast<std::size_t>(kFrames));
    clip.header = avitest::StreamHeader(c.width, c.height, kFps, 0);
    clip.format = compressed.format;
    clip.frames = compressed.samples;
    keys = compressed.flags;
  }
  clip.flags = keys;
  ASSERT_EQ(avitest::WriteClip(path, clip).fileRelease, 0);

  // Our reader.
  std::vector<std::string> ourMd5s;
  std::vector<std::vector<std::uint8_t>> ours;
  {
    AVIFileInit();
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_READ, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), AVIERR_OK);
    EXPECT_EQ(AVIStreamLength(stream), kFrames);
    PGETFRAME decoder = AVIStreamGetFrameOpen(stream, AVIGETFRAMEF_BESTDISPLAYFMT);
    ASSERT_TRUE(decoder);
    for (LONG i = 0; i < kFrames; ++i) {
      const auto* dib = static_cast<const std::uint8_t*>(AVIStreamGetFrame(decoder, i));
      ASSERT_TRUE(dib) << "frame " << i;
      ours.push_back(codectest::TopDownRows(dib + 40, c.width, c.height));
      ourMd5s.push_back(avitest::Md5Hex(ours.back()));
      const auto expected = codectest::TopDownRows(codectest::MakeFrame(c.width, c.height, i).data(), c.width, c.height);
      if (c.lossless)
        EXPECT_EQ(ours.back(), expected) << "frame " << i;
      else
        EXPECT_GE(codectest::LumaPsnr(ours.back(), expected), c.minLumaPsnr) << "frame " << i;
    }
    EXPECT_EQ(AVIStreamGetFrameClose(decoder), AVIERR_OK);
    EXPECT_EQ(AVIStreamRelease(stream), 0);
    EXPECT_EQ(AVIFileRelease(file), 0);
    AVIFileExit();
  }

  if (!testsupport::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  const std::string probe = testsupport::Ffprobe(
      path, "-count_frames -select_streams v:0 -show_entries stream=width,height,r_frame_rate,nb_frames,nb_read_frames");
  EXPECT_NE(probe.find("width=" + std::to_string(c.width) + "\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("height=" + std::to_string(c.height) + "\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=10/1\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("nb_frames=" + std::to_string(kFrames) + "\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("nb_read_frames=" + std::to_string(kFrames) + "\n"), std::string::npos) << probe;

  // Key frames as the compressor reported them.
  std::istringstream packets(testsupport::Ffprobe(path, "-select_streams v:0 -show_entries packet=flags"));
  std::vector<DWORD> ffmpegKeys;
  for (std::string line; std::getline(packets, line);)
    if (line.rfind("flags=", 0) == 0) ffmpegKeys.push_back(line.find('K') != std::string::npos ? AVIIF_KEYFRAME : 0);
  EXPECT_EQ(ffmpegKeys, keys);

  if (c.lossless) {
    EXPECT_EQ(testsupport::FfmpegFrameMd5s(path, "", "-pix_fmt bgr24"), ourMd5s);
  } else {
    // Same decoder underneath: FFmpeg's pictures match ours closely.
    const auto out = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f rawvideo -pix_fmt bgr24 -");
    const std::size_t frameBytes = static_cast<std::size_t>(c.width) * c.height * 3;
    ASSERT_EQ(out.out.size(), frameBytes * kFrames);
    for (std::size_t i = 0; i < ours.size(); ++i) {
      const std::vector<std::uint8_t> theirs(out.out.begin() + static_cast<std::ptrdiff_t>(i * frameBytes),
                                             out.out.begin() + static_cast<std::ptrdiff_t>((i + 1) * frameBytes));
      EXPECT_GE(codectest::Psnr(ours[i], theirs), 40) << "frame " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecRoundTrip, ::testing::ValuesIn(kCases), [](const auto& info) {
  return std::string(info.param.fcc) + "_" + std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
});

}  // namespace
