// FFmpeg reads what we write, and we read what FFmpeg writes.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/avifile.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/test_support.h"

namespace {

using avitest::Clip;
using testsupport::RunCommand;
using testsupport::ShellQuote;
using testsupport::TempDir;

#define REQUIRE_FFMPEG() \
  if (!testsupport::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg/ffprobe not installed"

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> OurMd5s(const Clip& clip, int width, int height) {
  std::vector<std::string> md5s;
  for (const auto& frame : clip.frames) md5s.push_back(avitest::TopDownMd5(frame, width, height));
  return md5s;
}

std::string ProbeStream(const std::string& path) {
  return testsupport::Ffprobe(path,
                          "-count_frames -select_streams v:0 -show_entries "
                          "stream=nb_read_frames,r_frame_rate,width,height,codec_tag_string:stream_tags=title");
}

struct Size {
  int width, height;
};

class FfmpegReadsOurs : public testing::TestWithParam<Size> {};

TEST_P(FfmpegReadsOurs, CountRateSizeTitleAndPixels) {
  REQUIRE_FFMPEG();
  const auto [width, height] = GetParam();
  TempDir dir;
  const std::string path = dir.file("ours.avi");
  const Clip clip = avitest::RawClip(width, height, 10, 7);
  ASSERT_EQ(avitest::WriteClip(path, clip).fileRelease, 0);

  const std::string probe = ProbeStream(path);
  EXPECT_NE(probe.find("width=" + std::to_string(width) + "\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("height=" + std::to_string(height) + "\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=10/1\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("nb_read_frames=7\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("TAG:title=Stillweaver\n"), std::string::npos) << probe;
  EXPECT_EQ(testsupport::FfmpegFrameMd5s(path, "", "-pix_fmt bgr24"), OurMd5s(clip, width, height));
  const auto flags = Lines(testsupport::Ffprobe(path, "-select_streams v:0 -show_entries packet=flags"));
  EXPECT_EQ(flags, std::vector<std::string>(7, "flags=K_"));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FfmpegReadsOurs, testing::Values(Size{64, 48}, Size{33, 17}, Size{1, 1}),
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
                         });

TEST(FfmpegReadsOurs, CompressedChunksKeepTheirKeyFlags) {
  REQUIRE_FFMPEG();
  TempDir dir;
  const std::string path = dir.file("c.avi");
  Clip clip;
  clip.header = avitest::StreamHeader(16, 16, 25, 0);
  clip.format = avitest::FakeCompressedFormat(16, 16, 8);
  const DWORD flags[] = {AVIIF_KEYFRAME, 0, 0, AVIIF_KEYFRAME, 0};
  for (int i = 0; i < 5; ++i) {
    clip.frames.push_back(std::vector<std::uint8_t>(100 + i, static_cast<std::uint8_t>(i)));
    clip.flags.push_back(flags[i]);
  }
  ASSERT_EQ(avitest::WriteClip(path, clip).fileRelease, 0);
  EXPECT_EQ(Lines(testsupport::Ffprobe(path, "-select_streams v:0 -show_entries packet=flags,size")),
            (std::vector<std::string>{"size=100", "flags=K_", "size=101", "flags=__", "size=102", "flags=__",
                                      "size=103", "flags=K_", "size=104", "flags=__"}));
  EXPECT_NE(ProbeStream(path).find("codec_tag_string=TEST"), std::string::npos);
}

TEST(FfmpegReadsOurs, OpenDmlPartsCountDecodeAndSeek) {
  REQUIRE_FFMPEG();
  TempDir dir;
  const std::string path = dir.file("odml.avi");
  const Clip clip = avitest::RawClip(64, 48, 10, 60);
  ASSERT_EQ(avitest::WriteClip(path, clip, 120000).fileRelease, 0);  // about 12 frames a part

  EXPECT_NE(ProbeStream(path).find("nb_read_frames=60\n"), std::string::npos);
  const auto ours = OurMd5s(clip, 64, 48);
  EXPECT_EQ(testsupport::FfmpegFrameMd5s(path, "", "-pix_fmt bgr24"), ours);
  // Exact seeks into the later parts.
  for (int frame : {13, 37, 59}) {
    const std::string at = std::to_string(frame / 10) + "." + std::to_string(frame % 10);
    const auto md5s = testsupport::FfmpegFrameMd5s(path, "-accurate_seek -ss " + at, "-frames:v 1 -pix_fmt bgr24");
    ASSERT_EQ(md5s.size(), 1u) << "seek to " << at;
    EXPECT_EQ(md5s[0], ours[static_cast<std::size_t>(frame)]) << "seek to " << at;
  }
}

// Files FFmpeg writes from its test source: we find the same samples it does.
struct FfmpegFile {
  const char* name;
  const char* codecArgs;
  const char* fourcc;  // expected biCompression, "" for BI_RGB
};

class OursReadsFfmpeg : public testing::TestWithParam<FfmpegFile> {};

TEST_P(OursReadsFfmpeg, SameSamplesCountAndKeyFrames) {
  REQUIRE_FFMPEG();
  const FfmpegFile& f = GetParam();
  TempDir dir;
  const std::string path = dir.file(std::string(f.name) + ".avi");
  ASSERT_EQ(RunCommand(std::string("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=48x32:rate=10:d=2 ") +
                       f.codecArgs + " -y " + ShellQuote(path))
                .exitCode,
            0);
  const avitest::ReadBack r = avitest::ReadClip(path);
  ASSERT_EQ(r.open, AVIERR_OK);
  ASSERT_EQ(r.stream, AVIERR_OK);
  EXPECT_TRUE(r.reads.empty());
  EXPECT_EQ(r.info.dwLength, 20u);
  EXPECT_EQ(r.info.dwRate / r.info.dwScale, 10u);
  EXPECT_EQ(r.info.rcFrame.right, 48);
  EXPECT_EQ(r.info.rcFrame.bottom, 32);
  ASSERT_GE(r.format.size(), 40u);
  const std::uint32_t compression = r.format[16] | (r.format[17] << 8) | (r.format[18] << 16) | (r.format[19] << 24);
  const std::string fourcc(f.fourcc);
  EXPECT_EQ(compression, fourcc.empty() ? BI_RGB : mmioFOURCC(fourcc[0], fourcc[1], fourcc[2], fourcc[3]));

  std::vector<std::string> ours;
  for (const auto& frame : r.frames) ours.push_back(avitest::Md5Hex(frame));
  EXPECT_EQ(ours, testsupport::FfmpegFrameMd5s(path, "", "-c copy"));
  std::vector<std::string> keys;
  for (bool key : r.keys) keys.push_back(key ? "flags=K_" : "flags=__");
  EXPECT_EQ(keys, Lines(testsupport::Ffprobe(path, "-select_streams v:0 -show_entries packet=flags")));
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, OursReadsFfmpeg,
    testing::Values(FfmpegFile{"bgr24", "-c:v rawvideo -pix_fmt bgr24", ""},
                    FfmpegFile{"pal8", "-vf format=pal8 -c:v rawvideo -pix_fmt pal8", ""},
                    FfmpegFile{"mjpeg", "-c:v mjpeg -q:v 5", "MJPG"},
                    FfmpegFile{"mpeg4", "-c:v mpeg4 -g 6 -bf 0", "FMP4"},
                    // Inter frames without reordering: the index's key flags stand.
                    FfmpegFile{"vp8", "-c:v libvpx -g 6", "VP80"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OursReadsFfmpeg, PaletteTravelsInTheFormat) {
  REQUIRE_FFMPEG();
  TempDir dir;
  const std::string path = dir.file("pal8.avi");
  ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=16x8:rate=5:d=1 -vf format=pal8 "
                       "-c:v rawvideo -pix_fmt pal8 -y " + ShellQuote(path))
                .exitCode,
            0);
  const avitest::ReadBack r = avitest::ReadClip(path);
  ASSERT_EQ(r.stream, AVIERR_OK);
  EXPECT_EQ(r.format.size(), 40u + 256 * 4);
  EXPECT_EQ(r.format[14], 8) << "biBitCount";
  ASSERT_EQ(r.frames.size(), 5u);
  EXPECT_EQ(r.frames[0].size(), 16u * 8);
}

}  // namespace
