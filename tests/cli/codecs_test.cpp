// stillweaver-cli codecs.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

using testsupport::CliPath;
using testsupport::RunCommand;
using testsupport::ShellQuote;

TEST(CliCodecs, ListsUncompressedFirstThenEveryCompressor) {
  const auto result = RunCommand(ShellQuote(CliPath()) + " codecs");
  ASSERT_EQ(result.exitCode, 0);
  std::vector<std::string> lines;
  std::istringstream in(result.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "none\tFull Frames (Uncompressed)");
  std::vector<std::string> fourccs;
  for (const std::string& line : lines) {
    const auto tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    EXPECT_GT(line.size(), tab + 1) << "a name follows the tab";
    fourccs.push_back(line.substr(0, tab));
  }
  EXPECT_EQ(fourccs, (std::vector<std::string>{"none", "MJPG", "H264", "FMP4", "FFV1", "HFYU", "cvid", "MSVC"}));
}

TEST(CliCodecs, ExtraArgumentsAreAUsageError) {
  EXPECT_EQ(RunCommand(ShellQuote(CliPath()) + " codecs MJPG 2>/dev/null").exitCode, 2);
}

}  // namespace
