// stillweaver-cli make's options for photographs and scans, read back by
// ffprobe: the rate written, the frame size taken from the pictures.
#include <gtest/gtest.h>

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using namespace testsupport;

// "WIDTHxHEIGHTxRATExFRAMES" of the first video stream.
std::string Probe(const std::string& path) {
  std::string out = RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                               "stream=r_frame_rate,width,height,nb_read_frames -of csv=p=0:s=x " +
                               ShellQuote(path))
                        .out;
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

struct OptionCase {
  const char* args;   // before the pictures
  const char* probe;  // what ffprobe reads, or "" for a usage error (exit 2)
};

class CliMakeOption : public testing::TestWithParam<OptionCase> {};

TEST_P(CliMakeOption, WritesWhatFfprobeReads) {
  TempDir dir;
  const std::string a = dir.file("a.png"), b = dir.file("b.png"), out = dir.file("out.avi");
  ASSERT_TRUE(WritePngRgb(a, 30, 20, Gradient(30, 20)));
  ASSERT_TRUE(WritePngRgb(b, 40, 10, Gradient(40, 10)));
  const CommandResult r = RunCommand(CliCommand(std::string("make --cols 32 --rows 24 ") + GetParam().args + " -o " +
                                         ShellQuote(out) + " " + ShellQuote(a) + " " + ShellQuote(b) + " 2>&1"));
  if (*GetParam().probe == '\0') {
    EXPECT_EQ(r.exitCode, 2) << r.out;
    return;
  }
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Probe(out), GetParam().probe);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliMakeOption,
    testing::Values(OptionCase{"", "32x24x10/1x2"}, OptionCase{"--fps 25", "32x24x25/1x2"},
                    OptionCase{"--fps 29.97", "32x24x30000/1001x2"}, OptionCase{"--fps 23.976", "32x24x24000/1001x2"},
                    OptionCase{"--fps 30000/1001", "32x24x30000/1001x2"}, OptionCase{"--fps 0.5", "32x24x1/2x2"},
                    OptionCase{"--fps 2.5", "32x24x5/2x2"}, OptionCase{"--fps 0", ""}, OptionCase{"--fps x", ""},
                    // The first picture is 30 x 20.
                    OptionCase{"--cols auto --rows auto", "30x20x10/1x2"}, OptionCase{"--rows auto", "32x20x10/1x2"},
                    OptionCase{"--cols wide", ""}, OptionCase{"--hold 3", "32x24x10/1x6"}, OptionCase{"--hold 0", ""},
                    OptionCase{"--fit", "32x24x10/1x2"}, OptionCase{"--fit --clip", ""},
                    OptionCase{"--range 12", "32x24x10/1x2"}, OptionCase{"--range auto", "32x24x10/1x2"},
                    OptionCase{"--range 300:200", ""}, OptionCase{"--range 8", ""}));

struct SortCase {
  const char* sort;
  bool img10First;    // the order given, the other way round from the one expected
  const char* probe;  // the first picture's size decides the frame's
};

class CliMakeSort : public testing::TestWithParam<SortCase> {};

// img10 (30x20) was taken first, img9 (40x10) comes first by name.
TEST_P(CliMakeSort, OrdersTheListBeforeWriting) {
  TempDir dir;
  const std::string img9 = dir.file("img9.png"), img10 = dir.file("img10.png"), out = dir.file("out.avi");
  ASSERT_TRUE(WritePngRgb(img9, 40, 10, Gradient(40, 10)));
  ASSERT_TRUE(WritePngRgb(img10, 30, 20, Gradient(30, 20)));
  ASSERT_EQ(RunCommand("touch -d '2020-01-01 10:00' " + ShellQuote(img10)).exitCode, 0);
  ASSERT_EQ(RunCommand("touch -d '2020-01-01 11:00' " + ShellQuote(img9)).exitCode, 0);
  const CommandResult r = RunCommand(CliCommand(std::string("make --cols auto --rows auto --sort ") + GetParam().sort +
                                         " -o " + ShellQuote(out) + " " +
                                         (GetParam().img10First ? ShellQuote(img10) + " " + ShellQuote(img9)
                                                                : ShellQuote(img9) + " " + ShellQuote(img10)) +
                                         " 2>&1"));
  if (*GetParam().probe == '\0') {
    EXPECT_EQ(r.exitCode, 2) << r.out;
    return;
  }
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Probe(out), GetParam().probe);
}

INSTANTIATE_TEST_SUITE_P(Cases, CliMakeSort,
                         testing::Values(SortCase{"name", true, "40x10x10/1x2"}, SortCase{"time", false, "30x20x10/1x2"},
                                         SortCase{"size", false, ""}));

}  // namespace
