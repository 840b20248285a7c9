// stillweaver-cli framemd5.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using testsupport::CliCommand;
using testsupport::RunCommand;
using testsupport::ShellQuote;
using testsupport::TempDir;

using testsupport::HaveFfmpeg;

struct Lossless {
  const char* name;
  const char* args;
};

class CliFramemd5 : public ::testing::TestWithParam<Lossless> {};

// Same hashes as FFmpeg's, one "INDEX MD5" line per frame.
TEST_P(CliFramemd5, MatchesFfmpegForLosslessContent) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  TempDir dir;
  const std::string path = dir.file("clip.avi");
  ASSERT_EQ(RunCommand(std::string("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=35x21:rate=5 -frames:v 9 ") +
                       GetParam().args + " -y " + ShellQuote(path))
                .exitCode,
            0);
  const auto result = RunCommand(CliCommand("framemd5 " + ShellQuote(path)));
  ASSERT_EQ(result.exitCode, 0);
  const std::vector<std::string> expected = testsupport::FfmpegFrameMd5s(path, "", "-pix_fmt bgr24");
  ASSERT_EQ(expected.size(), 9u);
  std::istringstream lines(result.out);
  std::size_t count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_LT(count, expected.size());
    EXPECT_EQ(line, std::to_string(count) + " " + expected[count]);
  }
  EXPECT_EQ(count, expected.size());
}

INSTANTIATE_TEST_SUITE_P(Codecs, CliFramemd5,
                         ::testing::Values(Lossless{"Bgr24", "-c:v rawvideo -pix_fmt bgr24"},
                                           Lossless{"Pal8", "-c:v rawvideo -pix_fmt pal8"},
                                           Lossless{"Ffv1", "-c:v ffv1"}, Lossless{"Utvideo", "-c:v utvideo"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliFramemd5Errors, ReportsAndExits) {
  TempDir dir;
  struct Case {
    std::string args;
    int exitCode;
    std::string stderrText;  // empty: not checked
  };
  testsupport::WriteFileText(dir.file("text.avi"), "not an AVI file at all");
  std::vector<Case> cases = {
      {"", 2, ""},
      {"a.avi b.avi", 2, ""},
      {ShellQuote(dir.file("missing.avi")), 1, "Error: Couldn't open the AVI file (AVIERR_FILEOPEN)\n"},
      {ShellQuote(dir.file("text.avi")), 1, "Error: Couldn't open the AVI file (AVIERR_BADFORMAT)\n"},
  };
  if (HaveFfmpeg()) {
    const std::string unknown = dir.file("unknown.avi");
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=16x16:rate=5 -frames:v 2 -c:v mjpeg "
                         "-tag:v QQQQ -strict -1 -y " + ShellQuote(unknown)).exitCode, 0);
    cases.push_back({ShellQuote(unknown), 1, "Error: Couldn't open Video Frame\n"});
  }
  for (const Case& c : cases) {
    const auto result = RunCommand(CliCommand("framemd5 " + c.args) + " 2>" + ShellQuote(dir.file("err.txt")));
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args;
    EXPECT_TRUE(result.out.empty()) << c.args;
    if (!c.stderrText.empty()) {
      const auto err = testsupport::ReadFileBytes(dir.file("err.txt"));
      EXPECT_EQ(std::string(err.begin(), err.end()), c.stderrText) << c.args;
    }
  }
}

}  // namespace
