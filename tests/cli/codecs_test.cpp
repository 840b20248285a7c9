// stillweaver-cli codecs.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace {

using testsupport::CliCommand;
using testsupport::RunCommand;
using testsupport::ShellQuote;

// Uncompressed first, then every compressor with the make options it takes.
TEST(CliCodecs, ListsEveryCompressorWithItsSettings) {
  const auto result = RunCommand(CliCommand("codecs"));
  ASSERT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out,
            "none\tFull Frames (Uncompressed)\t-\n"
            "MJPG\tMotion JPEG\t--quality\n"
            "H264\tH.264 (x264)\t--quality --keyint\n"
            "FMP4\tMPEG-4 Part 2\t--quality --keyint\n"
            "FFV1\tFFV1 (lossless)\t-\n"
            "HFYU\tHuffYUV (lossless RGB)\t-\n"
            "cvid\tCinepak\t--quality --keyint\n"
            "MSVC\tMicrosoft Video 1\t--keyint\n");
}

TEST(CliCodecs, ExtraArgumentsAreAUsageError) {
  EXPECT_EQ(RunCommand(CliCommand("codecs MJPG 2>/dev/null")).exitCode, 2);
}

}  // namespace
