// Where the Make-AVI job may write: never over a picture of its list, and
// only to a regular file or a new name.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "avi_build/output_check.h"
#include "tests/support/test_support.h"

namespace {

struct OutputCase {
  const char* name;
  std::string output;  // in the folder; "p.jpg" is the listed picture
  bool refused;
};

class OutputCheck : public testing::TestWithParam<OutputCase> {};

TEST_P(OutputCheck, RefusesThePicturesAndWhatIsNoRegularFile) {
  testsupport::TempDir dir;
  const std::string picture = dir.file("p.jpg");
  testsupport::WriteFileText(picture, "picture");
  testsupport::WriteFileText(dir.file("other.avi"), "old");
  std::filesystem::create_symlink(picture, dir.file("link.avi"));
  std::filesystem::create_hard_link(picture, dir.file("hard.avi"));
  ASSERT_EQ(mkfifo(dir.file("fifo.avi").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.file("folder"));

  const std::string output = dir.file(GetParam().output);
  // "new.avi" is also listed: once written, the job would read it back.
  const std::string problem = avi_build::CheckOutputPath(output, {dir.file("new.avi"), picture});
  EXPECT_EQ(!problem.empty(), GetParam().refused) << problem;
  if (GetParam().refused) {
    EXPECT_NE(problem.find(output), std::string::npos) << problem;
  }
  EXPECT_EQ(testsupport::ReadFileBytes(picture).size(), 7u);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputCheck,
                         testing::Values(OutputCase{"SamePath", "p.jpg", true},
                                         OutputCase{"SameOnceResolved", "folder/../p.jpg", true},
                                         OutputCase{"Symlink", "link.avi", true},
                                         OutputCase{"HardLink", "hard.avi", true},
                                         OutputCase{"Fifo", "fifo.avi", true},
                                         OutputCase{"Folder", "folder", true},
                                         OutputCase{"ListedNewName", "./new.avi", true},
                                         OutputCase{"NewName", "fresh.avi", false},
                                         OutputCase{"OtherFile", "other.avi", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
