// stillweaver-cli make and export: what scripts see, and agreement with
// ffprobe on every compressor.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "platform/vfw.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::CliCommand;
using testsupport::RunCommand;
using testsupport::ShellQuote;

// "key: value" or "key=value" lines as a map.
std::map<std::string, std::string> Fields(const std::string& text, char separator) {
  std::map<std::string, std::string> fields;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const auto at = line.find(separator);
    if (at == std::string::npos) continue;
    std::string value = line.substr(at + 1);
    if (!value.empty() && value[0] == ' ') value.erase(0, 1);
    fields[line.substr(0, at)] = value;
  }
  return fields;
}

class CliMakeTest : public testing::TestWithParam<std::string> {
 protected:
  testsupport::TempDir dir;
  std::string list;

  void SetUp() override {
    std::string names;
    for (int i = 0; i < 3; ++i) {
      const std::string path = dir.file("p" + std::to_string(i) + ".png");
      ASSERT_TRUE(testsupport::WritePngRgb(path, 50 + i, 40, testsupport::Gradient(50 + i, 40)));
      names += path + "\n";
    }
    list = dir.file("list.txt");
    testsupport::WriteFileText(list, names);
  }
};

TEST_P(CliMakeTest, InfoAndFfprobeAgreeOnTheFileMade) {
  const std::string out = dir.file("out.avi");
  const auto made = RunCommand(CliCommand("make --cols 64 --rows 48 --fps 12 --codec " + GetParam() + " --list " +
                                   ShellQuote(list) + " -o " + ShellQuote(out)));
  ASSERT_EQ(made.exitCode, 0) << made.out;
  EXPECT_EQ(made.out.rfind("AVI File Write completed.\nWrote ", 0), 0u) << made.out;

  auto info = Fields(RunCommand(CliCommand("info " + ShellQuote(out))).out, ':');
  auto probe = Fields(RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                 "stream=width,height,r_frame_rate,nb_read_frames -of default=nw=1 " +
                                 ShellQuote(out))
                          .out,
                      '=');
  EXPECT_EQ(info["frames"], "3");
  EXPECT_EQ(probe["nb_read_frames"], "3");
  EXPECT_EQ(info["width"], "64");
  EXPECT_EQ(probe["width"], "64");
  EXPECT_EQ(info["height"], "48");
  EXPECT_EQ(probe["height"], "48");
  EXPECT_EQ(info["rate"], "12");
  EXPECT_EQ(probe["r_frame_rate"], "12/1");
}

std::vector<std::string> EveryCompressor() {
  std::vector<std::string> names = {"none"};
  ICINFO info{};
  for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &info); ++i) names.push_back(info.szName);
  return names;
}

INSTANTIATE_TEST_SUITE_P(Codecs, CliMakeTest, testing::ValuesIn(EveryCompressor()),
                         [](const testing::TestParamInfo<std::string>& p) {
                           std::string name;
                           for (char c : p.param)
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           return name;
                         });

TEST(CliExport, SavesTheChosenFramesAsJpegs) {
  testsupport::TempDir dir;
  const std::string avi = dir.file("clip.avi");
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=32x24:rate=10:duration=1 -c:v mjpeg " +
                       ShellQuote(avi))
                .exitCode,
            0);
  const auto r = RunCommand(CliCommand("export --first 2 --last 4 --dir " + ShellQuote(dir.file("out")) + " " +
                                ShellQuote(avi)));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  for (int i = 0; i < 10; ++i) {
    const bool wanted = i >= 2 && i <= 4;
    char name[32];
    std::snprintf(name, sizeof name, "out/Save%04d.jpg", i);
    EXPECT_EQ(std::filesystem::exists(dir.file(name)), wanted) << name;
  }
  EXPECT_EQ(RunCommand(CliCommand("export " + ShellQuote(dir.file("missing.avi")) + " 2>&1")).exitCode, 1);
}

}  // namespace
