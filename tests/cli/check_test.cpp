// stillweaver-cli check: what it reports of a picture list, and its exit codes.
#include <gtest/gtest.h>

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::ShellQuote;

struct CheckCase {
  const char* name;
  std::string args;  // run in the folder of the pictures below
  int exitCode;
  std::string line;  // a line the report holds; empty: no report
};

class CliCheck : public testing::TestWithParam<CheckCase> {
 protected:
  static void SetUpTestSuite() {
    dir = new testsupport::TempDir;
    const auto pattern = testsupport::Gradient(40, 30);
    for (const char* name : {"img0001.png", "img0002.png", "img0004.png"})
      ASSERT_TRUE(testsupport::WritePngRgb(dir->file(name), 40, 30, pattern));
    ASSERT_TRUE(testsupport::WritePngRgb(dir->file("odd.png"), 30, 40, testsupport::Gradient(30, 40)));
    ASSERT_TRUE(testsupport::WriteTiffGrey16(dir->file("deep.tif"), 40, 30, std::vector<std::uint16_t>(40 * 30, 999)));
    testsupport::WriteFileText(dir->file("text.jpg"), "not a picture");
    testsupport::WriteFileText(dir->file("list.txt"), "img0001.png\r\nimg0002.png\n\nmissing.png\n");
  }
  static void TearDownTestSuite() { delete dir; }
  static testsupport::TempDir* dir;
};
testsupport::TempDir* CliCheck::dir = nullptr;

TEST_P(CliCheck, ReportsAndExits) {
  const CheckCase& c = GetParam();
  const auto result = testsupport::RunCommand("cd " + ShellQuote(dir->file("")) + " && " +
                                              testsupport::CliCommand("check " + c.args));
  EXPECT_EQ(result.exitCode, c.exitCode) << result.out;
  if (c.line.empty())
    EXPECT_EQ(result.out, "");  // failures go to stderr only
  else
    EXPECT_NE(result.out.find(c.line + "\n"), std::string::npos) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliCheck,
    testing::Values(
        CheckCase{"AllOpen", "--fps 25 img0001.png img0002.png", 0, "2 entries: 2 frames, 0:00:00.080 at 25 fps."},
        CheckCase{"Missing", "missing.png img0001.png", 3, "  missing.png: not found"},
        CheckCase{"NotAPicture", "text.jpg", 3, "  text.jpg: not a picture we read"},
        CheckCase{"Duplicate", "img0001.png img0002.png ./img0001.png", 0, "  ./img0001.png (entries 1 and 3)"},
        CheckCase{"Gap", "img0001.png img0002.png img0004.png", 0, "  img0002.png -> img0004.png (1 missing)"},
        CheckCase{"OddSize", "img0001.png odd.png img0002.png", 0, "  odd.png: 30x40"},
        CheckCase{"DeepTiff", "img0001.png deep.tif img0002.png", 0, "  deep.tif: 16-bit"},
        CheckCase{"ListFile", "--list list.txt --fps 2", 3, "3 entries: 2 frames, 0:00:01.000 at 2 fps."},
        CheckCase{"UnreadableList", "--list nolist.txt", 1, ""},
        CheckCase{"ZeroFps", "--fps 0 img0001.png", 2, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A camera's portrait shot: stored sideways (30x40 among 40x30), tagged to be
// turned, so it is seen at the others' size.
TEST(CheckListOrientation, ReportsTheTurnedPictureNotItsSize) {
  if (testsupport::RunCommand("command -v exiftool >/dev/null").exitCode != 0) GTEST_SKIP() << "exiftool not installed";
  testsupport::TempDir dir;
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
    ASSERT_TRUE(testsupport::WriteJpeg(dir.file(name), 40, 30, testsupport::Gradient(40, 30)));
  ASSERT_TRUE(testsupport::WriteJpeg(dir.file("turned.jpg"), 30, 40, testsupport::Gradient(30, 40)));
  ASSERT_EQ(testsupport::RunCommand("exiftool -q -q -overwrite_original -n -Orientation=6 " +
                                    ShellQuote(dir.file("turned.jpg")))
                .exitCode,
            0);

  const auto result = testsupport::RunCommand("cd " + ShellQuote(dir.file("")) + " && " +
                                              ShellQuote(testsupport::CliPath()) + " check a.jpg turned.jpg b.jpg c.jpg");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("Orientations: 3 of 4 are 1 (as stored); others:\n"
                            "  turned.jpg: 6 (turned 90° clockwise)\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(result.out.find("Sizes"), std::string::npos) << result.out;
}

}  // namespace
