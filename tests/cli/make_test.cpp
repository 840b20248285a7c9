// stillweaver-cli make: exit codes and messages a script relies on, a full
// disk, a file another job writes, and stopping by signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/vfw.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using avitest::FramesIn;
using testsupport::CliCommand;
using testsupport::RunCommand;
using testsupport::ShellQuote;

class CliMake : public testing::Test {
 protected:
  testsupport::TempDir dir;
  std::string picture = dir.file("p.png");
  std::string broken = dir.file("text.jpg");
  std::string out = dir.file("out.avi");

  void SetUp() override {
    ASSERT_TRUE(testsupport::WritePngRgb(picture, 50, 40, testsupport::Gradient(50, 40)));
    testsupport::WriteFileText(broken, "not a picture");
  }
  // A list of count entries of the picture.
  std::string List(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += picture + "\n";
    const std::string list = dir.file("list" + std::to_string(count) + ".txt");
    testsupport::WriteFileText(list, lines);
    return list;
  }
};

struct ExitCase {
  const char* name;
  std::string args;       // $P: a picture, $B: an unloadable file, $O: the output
  int exitCode;
  std::string said;       // what stdout and stderr hold, $O and $B filled in
  bool lockOutput = false;  // another job holds the output meanwhile
};

class CliMakeExit : public CliMake, public testing::WithParamInterface<ExitCase> {
 protected:
  std::string Fill(std::string text) {
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"$P", picture}, {"$B", broken}, {"$O", out}})
      for (std::size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    return text;
  }
};

TEST_P(CliMakeExit, TellsHowTheJobEnded) {
  const ExitCase& c = GetParam();
  int lockFd = -1;
  if (c.lockOutput) {
    lockFd = open(out.c_str(), O_WRONLY | O_CREAT, 0644);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    ASSERT_EQ(fcntl(lockFd, F_OFD_SETLK, &lock), 0);
  }
  const auto r = RunCommand(CliCommand(Fill(c.args)) + " 2>&1");
  if (lockFd >= 0) close(lockFd);
  EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
  EXPECT_NE(r.out.find(Fill(c.said)), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliMakeExit,
    testing::Values(
        ExitCase{"EveryEntryWritten", "make -o $O $P $P", 0, "AVI File Write completed.\nWrote "},
        ExitCase{"EntriesSkipped", "make -o $O $P $B", 3, "File Failed to Open: $B"},
        ExitCase{"NoFrames", "make -o $O", 3, "Wrote 0 bytes to file out.avi."},
        ExitCase{"UnknownCodec", "make --codec XXXX -o $O", 2, "unknown codec"},
        ExitCase{"BadSize", "make --cols 0 -o $O", 2, "Cols and Rows"},
        ExitCase{"OddSizeForH264", "make --codec H264 --cols 641 --rows 481 -o $O $P", 2,
                 "H.264 (x264) writes only frames whose sides are even; 641x481 is not one, 640x480 or 642x482 would do."},
        ExitCase{"QualityWhereThereIsNone", "make --codec FFV1 --quality 50 -o $O $P", 2, "FFV1 takes no --quality"},
        ExitCase{"KeyIntervalWhereThereIsNone", "make --codec MJPG --keyint 5 -o $O $P", 2, "MJPG takes no --keyint"},
        ExitCase{"QualityOutOfRange", "make --codec MJPG --quality 101 -o $O $P", 2, "from 0 to 100"},
        ExitCase{"Settings", "make --codec H264 --quality 40 --keyint 3 -o $O $P", 0, "AVI File Write completed."},
        ExitCase{"NoOutput", "make $P", 2, "make needs -o"},
        ExitCase{"FolderMissing", "make -o $O/x.avi $P", 1,
                 "AVIFileOpen: AVIERR_FILEOPEN ($O/x.avi: No such file or directory)"},
        ExitCase{"AnotherJobWritesTheFile", "make -o $O $P", 1,
                 "AVIFileOpen: AVIERR_FILEOPEN ($O: another job is writing this file)", true},
        ExitCase{"OutputIsAPicture", "make -o $P $B $P", 1, "AVIFileOpen: $P is the picture $P in the list"},
        ExitCase{"OutputIsADevice", "make -o /dev/null $P", 1, "AVIFileOpen: /dev/null is not a regular file"}),
    [](const auto& info) { return std::string(info.param.name); });

// After "--" an argument that begins with "-" is a file, in every command.
TEST_F(CliMake, DoubleDashEndsTheOptions) {
  std::filesystem::copy_file(picture, dir.file("-p.png"));
  const struct {
    std::string args;
    int exitCode;
  } cases[] = {{"make -o -v.avi -p.png", 2}, {"make -o -v.avi -- -p.png", 0}, {"info -- -v.avi", 0},
               {"framemd5 -- -v.avi", 0},    {"export -- -v.avi", 0},         {"codecs --", 0},
               {"info -- --cols", 1},        {"info -- --help", 1}};
  for (const auto& c : cases) {
    const auto r = RunCommand("cd " + ShellQuote(dir.path().string()) + " && " + CliCommand(c.args) + " 2>&1");
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.out;
  }
}

// A real full disk: a small tmpfs in a mount namespace of the command's own.
TEST_F(CliMake, AFullDiskNamesThePathAndTheReason) {
  const std::string disk = dir.file("disk");
  std::filesystem::create_directory(disk);
  const std::string mount = "mount -t tmpfs -o size=256k tmpfs " + ShellQuote(disk);
  if (RunCommand("unshare -m sh -c " + ShellQuote(mount) + " 2>/dev/null").exitCode != 0)
    GTEST_SKIP() << "mounting a tmpfs is not permitted here (needs root or CAP_SYS_ADMIN)";

  const std::string full = disk + "/out.avi";
  const std::string make = mount + " && exec " + CliCommand("make --cols 64 --rows 48 --list " + List(60) + " -o " +
                                                     ShellQuote(full));
  const auto r = RunCommand("unshare -m sh -c " + ShellQuote(make) + " 2>&1");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("AVIStreamWrite: AVIERR_FILEWRITE (" + full + ": No space left on device)"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("AVI File Write completed."), std::string::npos) << r.out;
}

struct SignalCase {
  const char* name;
  int signal;
  int exitCode;
};

class CliMakeSignal : public CliMake, public testing::WithParamInterface<SignalCase> {};

// Stopped by a signal, the command finishes the file with every frame
// written so far and says how many.
TEST_P(CliMakeSignal, StopsAfterTheCurrentFrameAndFinishesTheFile) {
  const SignalCase& c = GetParam();
  // Pictures that take a while to load, so the signal comes long before the end.
  const std::string big = dir.file("big.jpg");
  ASSERT_TRUE(testsupport::WriteJpeg(big, 1600, 1200, testsupport::Gradient(1600, 1200)));
  std::string lines;
  for (int i = 0; i < 2000; ++i) lines += big + "\n";
  const std::string list = dir.file("list.txt");
  testsupport::WriteFileText(list, lines);

  const std::string cli = testsupport::CliPath();
  const std::string said = dir.file("said.txt");
  std::vector<std::string> args = {cli, "make", "--cols", "64", "--rows", "48", "--list", list, "-o", out};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  // Frames reach the file as they are written: wait for a few of them.
  constexpr std::uintmax_t kFewFrames = 16 * 1024;
  int status = 0;
  for (std::error_code ec; std::filesystem::file_size(out, ec) < kFewFrames || ec;) {
    ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "ended before it was stopped";
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, c.signal);
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal instead of stopping";
  EXPECT_EQ(WEXITSTATUS(status), c.exitCode);

  const LONG frames = FramesIn(out);
  EXPECT_GE(frames, 1);
  EXPECT_LT(frames, 2000);
  std::string text;
  for (std::uint8_t b : testsupport::ReadFileBytes(said)) text += char(b);
  EXPECT_EQ(text, "Stopped after " + std::to_string(frames) + " frames.\n");
  EXPECT_EQ(testsupport::Ffprobe(out, "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames"),
            "nb_read_frames=" + std::to_string(frames) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Signals, CliMakeSignal,
                         testing::Values(SignalCase{"Interrupt", SIGINT, 130}, SignalCase{"Terminate", SIGTERM, 143}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
