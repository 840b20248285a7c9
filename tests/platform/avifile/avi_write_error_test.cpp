// A full disk or any failed write is reported, never hidden, and the file
// keeps every frame that reached the disk in a form readers accept.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "platform/avifile.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/test_support.h"

namespace {

using avitest::Clip;
using testsupport::TempDir;

// Runs body in a child process whose files cannot grow past limit bytes:
// writes beyond it fail (EFBIG) after writing what fits, as on a full disk.
// Returns the child's exit code.
int RunWithFileSizeLimit(rlim_t limit, const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl;
    getrlimit(RLIMIT_FSIZE, &rl);
    rl.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &rl);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What the writer reported in the child, as an exit code: 0 when it matched
// the expectation, else the step that did not.
int WriteExpecting(const std::string& path, const Clip& clip, std::uint64_t partLimit, bool writeFails,
                   bool streamReleaseFails) {
  const avitest::WriteOutcome w = avitest::WriteClip(path, clip, partLimit);
  if (w.open != AVIERR_OK || w.create != AVIERR_OK || w.format != AVIERR_OK) return 10;
  const bool failedWrite = !w.writes.empty() && w.writes.back() == AVIERR_FILEWRITE;
  if (failedWrite != writeFails) return 11;
  if (w.streamRelease != (streamReleaseFails ? AVIERR_FILEWRITE : 0)) return 12;
  if (w.fileRelease != AVIERR_FILEWRITE) return 13;
  return 0;
}

struct FullDiskCase {
  const char* name;
  int width, height, frames;
  std::uint64_t partLimit;  // 0: default
  std::int64_t fileLimit;   // > 0: bytes; <= 0: the complete file's size plus this
  bool writeFails;          // a frame write itself reports the failure
  bool streamReleaseFails;  // else the frames all reached the disk
  bool allFramesKept;
};

class FullDisk : public testing::TestWithParam<FullDiskCase> {};

TEST_P(FullDisk, ReportsTheFailureAndKeepsTheFramesThatFit) {
  const FullDiskCase& c = GetParam();
  TempDir dir;
  const Clip clip = avitest::RawClip(c.width, c.height, 10, c.frames);
  rlim_t limit = static_cast<rlim_t>(c.fileLimit);
  if (c.fileLimit <= 0) {
    ASSERT_EQ(avitest::WriteClip(dir.file("whole.avi"), clip, c.partLimit).fileRelease, 0);
    limit = static_cast<rlim_t>(std::filesystem::file_size(dir.file("whole.avi")) + c.fileLimit);
  }
  const std::string path = dir.file("full.avi");
  ASSERT_EQ(RunWithFileSizeLimit(limit, [&] {
              return WriteExpecting(path, clip, c.partLimit, c.writeFails, c.streamReleaseFails);
            }),
            0);
  EXPECT_LE(std::filesystem::file_size(path), limit);

  const avitest::ReadBack r = avitest::ReadClip(path);
  ASSERT_EQ(r.open, AVIERR_OK);
  ASSERT_EQ(r.stream, AVIERR_OK);
  EXPECT_TRUE(r.reads.empty());
  ASSERT_GT(r.frames.size(), 0u);
  if (c.allFramesKept) {
    EXPECT_EQ(r.frames.size(), clip.frames.size());
  }
  for (std::size_t i = 0; i < r.frames.size(); ++i) EXPECT_EQ(r.frames[i], clip.frames[i]) << "frame " << i;

  if (testsupport::HaveFfmpeg()) {
    const std::string probe = testsupport::Ffprobe(path, "-count_frames -select_streams v:0 -show_entries stream=nb_read_frames");
    EXPECT_EQ(probe, "nb_read_frames=" + std::to_string(r.frames.size()) + "\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FullDisk,
    testing::Values(
        // Every frame goes straight to the file: the write reports.
        FullDiskCase{"SmallFrames", 64, 48, 100, 0, 200000, true, true, false},
        FullDiskCase{"LargeFrames", 300, 300, 30, 0, 2000000, true, true, false},
        // Every frame fits but the index does not: readers scan.
        FullDiskCase{"NoRoomForTheIndex", 64, 48, 20, 0, -100, false, false, true},
        // The disk fills in a later OpenDML part.
        FullDiskCase{"LaterOpenDmlPart", 64, 48, 60, 100000, 350000, true, true, false},
        FullDiskCase{"OpenDmlLastIndex", 64, 48, 60, 100000, -100, false, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The source table is written last: when it does not fit, the failure is
// reported and the file is exactly the one without a table.
class NoRoomForSources : public testing::TestWithParam<std::uint64_t> {};

TEST_P(NoRoomForSources, ReportsTheFailureAndKeepsFramesAndIndex) {
  const std::uint64_t partLimit = GetParam();
  TempDir dir;
  Clip clip = avitest::RawClip(64, 48, 10, 40);
  ASSERT_EQ(avitest::WriteClip(dir.file("plain.avi"), clip, partLimit).fileRelease, 0);
  const auto plainSize = std::filesystem::file_size(dir.file("plain.avi"));
  for (int i = 0; i < 40; ++i) clip.sources.emplace_back("/pictures/img" + std::to_string(i) + ".jpg", "");
  const std::string path = dir.file("full.avi");
  ASSERT_EQ(RunWithFileSizeLimit(static_cast<rlim_t>(plainSize + 100), [&] {
              const avitest::WriteOutcome w = avitest::WriteClip(path, clip, partLimit);
              return w.streamRelease == 0 && w.fileRelease == AVIERR_FILEWRITE ? 0 : 1;
            }),
            0);
  EXPECT_EQ(testsupport::ReadFileBytes(path), testsupport::ReadFileBytes(dir.file("plain.avi")));
  const avitest::ReadBack r = avitest::ReadClip(path);
  ASSERT_EQ(r.open, AVIERR_OK);
  EXPECT_EQ(r.frames.size(), clip.frames.size());
  EXPECT_FALSE(r.hasSources);
}

INSTANTIATE_TEST_SUITE_P(Parts, NoRoomForSources, testing::Values(0, 100000),
                         [](const auto& info) { return info.param ? std::string("OpenDml") : std::string("OnePart"); });

TEST(DevFull, EveryWriteAndReleaseReportsTheFailure) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  const Clip clip = avitest::RawClip(200, 200, 10, 1);  // 120,000 bytes: written at once
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpenA(&file, "/dev/full", OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
  PAVISTREAM stream = nullptr;
  ASSERT_EQ(AVIFileCreateStreamA(file, &stream, &clip.header), AVIERR_OK);
  ASSERT_EQ(AVIStreamSetFormat(stream, 0, clip.format.data(), 40), AVIERR_OK);
  const LONG size = static_cast<LONG>(clip.frames[0].size());
  LONG samples = -1, bytes = -1;
  EXPECT_EQ(AVIStreamWrite(stream, 0, 1, clip.frames[0].data(), size, 0, &samples, &bytes), AVIERR_FILEWRITE);
  EXPECT_EQ(samples, 0);
  EXPECT_EQ(bytes, 0);
  EXPECT_EQ(AVIStreamWrite(stream, 1, 1, clip.frames[0].data(), size, 0, &samples, &bytes), AVIERR_FILEWRITE)
      << "the error is sticky";
  EXPECT_EQ(AVIStreamRelease(stream), AVIERR_FILEWRITE);
  EXPECT_EQ(AVIFileRelease(file), AVIERR_FILEWRITE);
}

TEST(DevFull, AFileWithoutFramesStillReportsItsHeaders) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  const Clip clip = avitest::RawClip(8, 8, 10, 0);
  const avitest::WriteOutcome w = avitest::WriteClip("/dev/full", clip);
  EXPECT_EQ(w.streamRelease, 0) << "nothing of the stream was written yet";
  EXPECT_EQ(w.fileRelease, AVIERR_FILEWRITE);
}

}  // namespace
