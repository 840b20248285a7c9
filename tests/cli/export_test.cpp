// stillweaver-cli export when the files cannot be written: a full disk and
// read-only old files fail with the path and the reason, and count only the
// frames written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "tests/support/test_support.h"

namespace {

using testsupport::RunCommand;
using testsupport::ShellQuote;

namespace fs = std::filesystem;

// A Motion JPEG clip of `frames` frames, made by ffmpeg.
std::string Clip(const testsupport::TempDir& dir, int frames) {
  const std::string path = dir.file("clip.avi");
  EXPECT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=10 -frames:v " +
                       std::to_string(frames) + " -c:v mjpeg -y " + ShellQuote(path))
                .exitCode,
            0);
  return path;
}

int ExportedCount(const std::string& out) {
  std::smatch match;
  const std::regex line("exported (\\d+) frames");
  return std::regex_search(out, match, line) ? std::stoi(match[1]) : -1;
}

bool WholeJpeg(const fs::path& path) {
  const std::vector<std::uint8_t> bytes = testsupport::ReadFileBytes(path.string());
  return bytes.size() > 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[bytes.size() - 2] == 0xFF &&
         bytes.back() == 0xD9;
}

TEST(CliExport, AFullDiskFailsNamingTheFileAndLeavesOnlyWholeFiles) {
  testsupport::TempDir dir;
  const std::string clip = Clip(dir, 40);
  const std::string disk = dir.file("disk");
  const std::string copy = dir.file("copy");
  fs::create_directory(disk);
  fs::create_directory(copy);
  // The small disk exists only inside the command's own mount namespace.
  const std::string mount = "mount -t tmpfs -o size=64k tmpfs " + ShellQuote(disk);
  if (RunCommand("unshare -m sh -c " + ShellQuote(mount) + " 2>/dev/null").exitCode != 0)
    GTEST_SKIP() << "mounting a tmpfs is not permitted here";

  const std::string script = mount + " || exit 99; " + testsupport::CliCommand("export --dir ") + ShellQuote(disk) + " " +
                             ShellQuote(clip) + " 2>" + ShellQuote(dir.file("err")) + "; echo rc=$?; cp -a " +
                             ShellQuote(disk + "/.") + " " + ShellQuote(copy);
  const auto run = RunCommand("unshare -m sh -c " + ShellQuote(script));
  const std::string err = [&] {
    const auto bytes = testsupport::ReadFileBytes(dir.file("err"));
    return std::string(bytes.begin(), bytes.end());
  }();
  ASSERT_NE(run.out.find("rc=1\n"), std::string::npos) << run.out << err;
  EXPECT_TRUE(std::regex_search(err, std::regex("Error: " + disk + "/Save00\\d\\d\\.jpg: No space left on device")))
      << err;

  int files = 0;
  for (const auto& entry : fs::directory_iterator(copy)) {
    ++files;
    EXPECT_TRUE(WholeJpeg(entry.path())) << entry.path();
  }
  EXPECT_GT(files, 0);
  EXPECT_LT(files, 40);
  EXPECT_EQ(ExportedCount(run.out), files) << run.out;
}

TEST(CliExport, ReadOnlyOldFilesFailAndStayAsTheyWere) {
  testsupport::TempDir dir;
  const std::string clip = Clip(dir, 3);
  const std::string out = dir.file("out");
  ASSERT_EQ(RunCommand(testsupport::CliCommand("export --dir ") + ShellQuote(out) + " " + ShellQuote(clip)).exitCode, 0);
  std::vector<std::vector<std::uint8_t>> before;
  for (int i = 0; i < 3; ++i) {
    const fs::path file = fs::path(out) / ("Save000" + std::to_string(i) + ".jpg");
    before.push_back(testsupport::ReadFileBytes(file.string()));
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  // Root writes over read-only files; run the export as nobody instead.
  std::string asUser;
  if (geteuid() == 0) {
    if (RunCommand("setpriv --reuid=65534 --regid=65534 --clear-groups true").exitCode != 0)
      GTEST_SKIP() << "cannot drop root's privileges here";
    asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }

  const auto run = RunCommand(asUser + testsupport::CliCommand("export --dir ") + ShellQuote(out) + " " + ShellQuote(clip) + " 2>&1");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("Error: " + out + "/Save0000.jpg: Permission denied"), std::string::npos) << run.out;
  EXPECT_EQ(ExportedCount(run.out), 0) << run.out;
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(testsupport::ReadFileBytes(out + "/Save000" + std::to_string(i) + ".jpg"), before[std::size_t(i)]) << i;
}

}  // namespace
