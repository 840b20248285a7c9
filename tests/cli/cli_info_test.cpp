// stillweaver-cli info: the lines scripts rely on, and errors in the
// CAPTION: TEXT form with the exit codes.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/vfw.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::RunCommand;
using testsupport::ShellQuote;
using testsupport::TempDir;

// Writes frames of the given sizes (-1: a whole raw frame) at 25/2 frames
// per second; format compression 0 writes 24-bit raw.
void WriteAvi(const std::string& path, int width, int height, DWORD compression, const std::vector<LONG>& sizes,
              const std::vector<DWORD>& flags) {
  avitest::Clip clip = avitest::RawClip(width, height, 25, 0);
  clip.header.dwScale = 2;
  clip.header.dwSampleSize = 0;
  std::memcpy(clip.format.data() + 16, &compression, sizeof compression);  // biCompression
  for (LONG size : sizes)
    clip.frames.emplace_back(static_cast<std::size_t>(size < 0 ? testsupport::DibStride(width) * height : size), 0x5A);
  clip.flags = flags;
  const avitest::WriteOutcome outcome = avitest::WriteClip(path, clip);
  ASSERT_EQ(outcome.writes, std::vector<HRESULT>(sizes.size(), AVIERR_OK));
  ASSERT_EQ(outcome.fileRelease, 0);
}

testsupport::CommandResult Info(const std::string& args) {
  return RunCommand(testsupport::CliCommand("info " + args + " 2>&1"));
}

TEST(CliInfo, DescribesAnUncompressedFile) {
  TempDir dir;
  WriteAvi(dir.file("raw.avi"), 33, 7, BI_RGB, {-1, -1, -1}, {});
  const auto r = Info(ShellQuote(dir.file("raw.avi")));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "frames: 3\nrate: 25\nscale: 2\nfps: 12.5\nwidth: 33\nheight: 7\nbitcount: 24\n"
            "compression: none\nhandler: DIB \nformat_size: 40\nkeyframes: 3\nname: Stillweaver\n");
}

TEST(CliInfo, CountsKeyFramesOfACompressedFile) {
  TempDir dir;
  WriteAvi(dir.file("c.avi"), 16, 16, mmioFOURCC('M', 'J', 'P', 'G'), {10, 11, 0, 13, 14},
           {AVIIF_KEYFRAME, 0, AVIIF_KEYFRAME, AVIIF_KEYFRAME, 0});
  const auto r = Info(ShellQuote(dir.file("c.avi")));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("frames: 5\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("compression: MJPG\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("keyframes: 2\n"), std::string::npos) << "the empty frame is no key frame\n" << r.out;
}

TEST(CliInfo, DescribesWhatFfmpegWrites) {
  if (!testsupport::HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=40x30:rate=25:d=1 -c:v mpeg4 -g 10 "
                       "-bf 0 -y " + ShellQuote(dir.file("m.avi")))
                .exitCode,
            0);
  const auto r = Info(ShellQuote(dir.file("m.avi")));
  EXPECT_EQ(r.exitCode, 0);
  for (const char* line : {"frames: 25\n", "fps: 25\n", "width: 40\n", "height: 30\n", "compression: FMP4\n",
                           "keyframes: 3\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
}

TEST(CliInfo, ErrorsAndUsage) {
  TempDir dir;
  testsupport::WriteFileText(dir.file("text.avi"), "not a video at all");
  struct Case {
    std::string args;
    int exitCode;
    std::string out;
  } cases[] = {
      {ShellQuote(dir.file("missing.avi")), 1, "Error: Couldn't open the AVI file (AVIERR_FILEOPEN)\n"},
      {ShellQuote(dir.file("text.avi")), 1, "Error: Couldn't open the AVI file (AVIERR_BADFORMAT)\n"},
      {ShellQuote(dir.path().string()), 1, "Error: Couldn't open the AVI file (AVIERR_FILEOPEN)\n"},
  };
  for (const Case& c : cases) {
    const auto r = Info(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args;
    EXPECT_EQ(r.out, c.out) << c.args;
  }
  EXPECT_EQ(Info("").exitCode, 2);
  EXPECT_EQ(Info("a.avi b.avi").exitCode, 2);
  EXPECT_EQ(Info("--bogus a.avi").exitCode, 2);
}

TEST(CliInfo, AFileWithoutVideo) {
  if (!testsupport::HaveFfmpeg()) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -f lavfi -i sine=d=0.2 -c:a pcm_s16le -y " +
                       ShellQuote(dir.file("sound.avi")))
                .exitCode,
            0);
  const auto r = Info(ShellQuote(dir.file("sound.avi")));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "Error: Couldn't open Video Stream (AVIERR_NODATA)\n");
}

}  // namespace
