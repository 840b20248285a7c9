// Each frame's source through the command line: make records it, info
// --frames lists it, export --names source names the files after it.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::RunCommand;
using testsupport::ShellQuote;

class CliFrameSources : public testing::Test {
 protected:
  testsupport::TempDir dir;

  // Runs the command line in the temp folder, stderr with stdout.
  testsupport::CommandResult Run(const std::string& args) {
    return RunCommand("cd " + ShellQuote(dir.path().string()) + " && " + ShellQuote(testsupport::CliPath()) + " " +
                      args + " 2>&1");
  }
  // shot.jpg taken 2020-01-01 10:00:00.25 by its camera; scan.png with only
  // a file time; made as listed, relative to the folder.
  void MakeClip() {
    if (RunCommand("command -v exiftool >/dev/null").exitCode != 0) GTEST_SKIP() << "exiftool not installed";
    ASSERT_TRUE(testsupport::WriteJpeg(dir.file("shot.jpg"), 16, 8, testsupport::Gradient(16, 8)));
    ASSERT_EQ(RunCommand("exiftool -q -q -overwrite_original -DateTimeOriginal='2020:01:01 10:00:00' "
                         "-SubSecTimeOriginal=25 " + ShellQuote(dir.file("shot.jpg")))
                  .exitCode,
              0);
    std::filesystem::create_directory(dir.file("sub"));
    ASSERT_TRUE(testsupport::WritePngRgb(dir.file("sub/scan.png"), 16, 8, testsupport::Gradient(16, 8)));
    ASSERT_EQ(RunCommand("TZ=UTC touch -d '2010-06-01 12:00:00' " + ShellQuote(dir.file("sub/scan.png"))).exitCode, 0);
    const auto r = RunCommand("cd " + ShellQuote(dir.path().string()) + " && TZ=UTC " +
                              ShellQuote(testsupport::CliPath()) +
                              " make --cols 16 --rows 8 -o clip.avi shot.jpg sub/scan.png shot.jpg");
    ASSERT_EQ(r.exitCode, 0) << r.out;
  }
};

TEST_F(CliFrameSources, InfoListsEachFramesTimeAndSourceAsListed) {
  MakeClip();
  const auto r = Run("info --frames clip.avi");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "0\t2020:01:01 10:00:00.250000000\tshot.jpg\n"
            "1\t2010:06:01 12:00:00.000000000\tsub/scan.png\n"
            "2\t2020:01:01 10:00:00.250000000\tshot.jpg\n");
}

struct NamesCase {
  const char* name;
  const char* option;
  std::set<std::string> files;
};

class CliExportNames : public CliFrameSources, public testing::WithParamInterface<NamesCase> {};

TEST_P(CliExportNames, NamesTheFilesAsAsked) {
  MakeClip();
  const auto r = Run(std::string("export ") + GetParam().option + " --dir out clip.avi");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::set<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("out")))
    files.insert(entry.path().filename().string());
  EXPECT_EQ(files, GetParam().files);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliExportNames,
    testing::Values(NamesCase{"Default", "", {"Save0000.jpg", "Save0001.jpg", "Save0002.jpg"}},
                    NamesCase{"Index", "--names index", {"Save0000.jpg", "Save0001.jpg", "Save0002.jpg"}},
                    NamesCase{"Source", "--names source", {"shot-0000.jpg", "scan.jpg", "shot-0002.jpg"}},
                    NamesCase{"SourceOfOneFrame", "--names source --first 1 --last 2", {"scan.jpg", "shot.jpg"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliFrameSources, AFileWithoutSourcesSaysSoAndKeepsTheIndexNames) {
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=16x8:rate=10 -frames:v 2 -c:v rawvideo "
                       "-pix_fmt bgr24 -y " + ShellQuote(dir.file("theirs.avi")))
                .exitCode,
            0);
  auto r = Run("info --frames theirs.avi");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "info: theirs.avi records no frame sources\n0\t\t\n1\t\t\n");
  r = Run("export --names source --dir out theirs.avi");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(std::filesystem::exists(dir.file("out/Save0001.jpg")));
  EXPECT_EQ(Run("export --names title theirs.avi").exitCode, 2);
  EXPECT_EQ(Run("info --frame theirs.avi").exitCode, 2);
}

}  // namespace
