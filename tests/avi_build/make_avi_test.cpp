// The Make-AVI job against a recording host: what it asks, what it tells,
// and the file it leaves.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <mutex>

#include <sys/stat.h>

#include "avi_build/make_avi.h"
#include "platform/kernel.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/picture_fixtures.h"
#include "tests/support/test_support.h"

namespace {

using avi_build::MakeAviJob;
using avi_build::MakeAviOutcome;
using avi_build::MakeAviResult;
using avi_build::MakeAviSettings;
using avi_build::MessageKind;

struct Message {
  std::string text, caption;
  MessageKind kind;
};

class RecordingHost : public avi_build::MakeAviHost {
 public:
  std::vector<std::string> entries;
  std::optional<std::string> saveAs;
  // The chooser: cancelled, uncompressed (0), or a compressor's FourCC.
  std::optional<DWORD> compressor = 0;
  std::function<void(int n)> onEntryRead;  // lets a test change the list mid-run
  std::function<void(int n)> onProgress;   // entry n is next: the frames before it are written
  std::function<void()> onEnded;           // the job told its end (progress 0 of 0)
  int stopAfterEntries = -1;
  std::atomic<bool> stop{false};           // ends the decodes too
  std::vector<std::string> laterSaveNames;  // answers after a refused name

  std::vector<Message> messages;
  std::vector<int> selected;
  std::vector<std::string> asked;  // "compressor", "save"
  std::string aviName;

  int EntryCount() override { return int(entries.size()); }
  std::string EntryText(int n) override {
    if (onEntryRead) onEntryRead(n);
    return entries[std::size_t(n)];
  }
  void SelectEntry(int n) override { selected.push_back(n); }
  void MessageBox(const std::string& text, const std::string& caption, MessageKind kind) override {
    messages.push_back({text, caption, kind});
  }
  BOOL ChooseCompressor(const BITMAPINFOHEADER&, COMPVARS* compvars, const char* title) override {
    asked.push_back(title);
    if (!compressor) return FALSE;
    compvars->hic = *compressor ? ICOpen(ICTYPE_VIDEO, *compressor, ICMODE_COMPRESS) : nullptr;
    return TRUE;
  }
  std::optional<std::string> SaveName() override {
    asked.push_back("save");
    const std::optional<std::string> name = saveAs;
    if (!laterSaveNames.empty()) saveAs = laterSaveNames.front(), laterSaveNames.erase(laterSaveNames.begin());
    return name;
  }
  bool AsksSaveNameAgain() override { return true; }
  void SetAviName(const std::string& name) override { aviName = name; }
  void Progress(int n, int count) override {
    if (count > 0 && onProgress) onProgress(n);
    if (count == 0 && onEnded) onEnded();
  }
  bool StopRequested() override {
    return stop || (stopAfterEntries >= 0 && int(selected.size()) >= stopAfterEntries);
  }
  std::vector<const std::atomic<bool>*> StopFlags() override { return {&stop}; }
};

// What the job handed to AVIStreamWrite.
struct WriteLog {
  std::vector<LONG> starts;
  std::vector<LONG> sizes;
  std::vector<DWORD> flags;
  LONG fakeSamples = -1;  // >= 0: report this sample count instead
};
WriteLog* g_log = nullptr;

HRESULT RecordingWrite(PAVISTREAM s, LONG start, LONG samples, const void* buffer, LONG size, DWORD flags,
                       LONG* written, LONG* bytes) {
  g_log->starts.push_back(start);
  g_log->sizes.push_back(size);
  g_log->flags.push_back(flags);
  HRESULT hr = AVIStreamWrite(s, start, samples, buffer, size, flags, written, bytes);
  if (g_log->fakeSamples >= 0) *written = g_log->fakeSamples;
  return hr;
}

// A frame size and rate, the other settings as the dialog starts.
MakeAviSettings Frames(std::int32_t cols, std::int32_t rows, std::uint32_t fps, std::int32_t clip = 0) {
  MakeAviSettings settings;
  settings.cols = cols;
  settings.rows = rows;
  settings.fps = fps;
  settings.clip = clip;
  return settings;
}

using avitest::ReadClip;

class MakeAviJobTest : public testing::Test {
 protected:
  testsupport::TempDir dir;
  RecordingHost host;
  WriteLog log;
  avi_build::AviWriteFunctions avi;

  void SetUp() override {
    g_log = &log;
    avi.write = &RecordingWrite;
    host.saveAs = dir.file("out.avi");
  }
  void TearDown() override { g_log = nullptr; }

  std::string Picture(const std::string& name, int w = 64, int h = 48) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(testsupport::WriteJpeg(path, w, h, testsupport::Gradient(w, h)));
    return path;
  }
  std::string NotAPicture(const std::string& name) {
    const std::string path = dir.file(name);
    testsupport::WriteFileText(path, "not a picture");
    return path;
  }
  MakeAviResult Run(MakeAviSettings settings = {}) { return MakeAviJob(host, settings, avi); }
};

TEST_F(MakeAviJobTest, AnEmptyListGivesAFileWithAStreamAndNoFrames) {
  const MakeAviResult result = Run();
  EXPECT_EQ(result.outcome, MakeAviOutcome::Completed);
  EXPECT_EQ(result.framesWritten, 0);
  const avitest::ReadBack file = ReadClip(dir.file("out.avi"));
  ASSERT_EQ(file.open, AVIERR_OK);
  EXPECT_EQ(file.frames.size(), 0u);
  EXPECT_EQ(file.format.size(), 40u);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "AVI File Write completed.\nWrote 0 bytes to file out.avi.");
  EXPECT_EQ(host.messages[0].caption, "AVI File Written");
  EXPECT_EQ(host.messages[0].kind, MessageKind::Completion);
  EXPECT_EQ(host.aviName, "out.avi");
}

TEST_F(MakeAviJobTest, UnloadableEntriesAreReportedOneByOneAndSkipped) {
  host.entries = {NotAPicture("a.bmp"), NotAPicture("b.jpg")};
  EXPECT_EQ(Run().entriesSkipped, 2);
  ASSERT_EQ(host.messages.size(), 3u);
  EXPECT_EQ(host.messages[0].text, host.entries[0] + "\nnot a picture we read");
  EXPECT_EQ(host.messages[0].caption, "File Failed to Open");
  EXPECT_EQ(host.messages[0].kind, MessageKind::Failure);
  EXPECT_EQ(host.messages[1].text, host.entries[1] + "\nnot a picture we read");
  EXPECT_EQ(host.messages[2].text, "AVI File Write completed.\nWrote 0 bytes to file out.avi.");
  EXPECT_EQ(ReadClip(dir.file("out.avi")).frames.size(), 0u);
}

// Opening either would block for ever (a FIFO without a writer) or read
// without end (a device); both are skipped, and the job ends.
TEST_F(MakeAviJobTest, FifosAndDevicesAreSkippedAsUnloadable) {
  const std::string fifo = dir.file("pipe.tif");  // "tif": the TIFF reader is tried too
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  host.entries = {fifo, "/dev/zero", Picture("ok.jpg")};
  const MakeAviResult result = Run(Frames(64, 48, 10));
  EXPECT_EQ(result.framesWritten, 1);
  EXPECT_EQ(result.entriesSkipped, 2);
  ASSERT_EQ(host.messages.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(host.messages[i].text.substr(0, host.messages[i].text.find('\n')), host.entries[i]);
    EXPECT_EQ(host.messages[i].caption, "File Failed to Open");
  }
}

TEST_F(MakeAviJobTest, SkippedEntriesLeaveNoGapAndTheSelectionWalksTheList) {
  host.entries = {Picture("1.jpg"), NotAPicture("2.jpg"), Picture("3.jpg"), NotAPicture("4.jpg"), Picture("5.jpg")};
  const MakeAviResult result = Run(Frames(64, 48, 10));
  EXPECT_EQ(result.outcome, MakeAviOutcome::Completed);
  EXPECT_EQ(result.framesWritten, 3);
  EXPECT_EQ(result.entriesSkipped, 2);
  EXPECT_EQ(result.bytesWritten, 3 * 64 * 48 * 3);
  EXPECT_EQ(log.starts, (std::vector<LONG>{0, 1, 2}));
  EXPECT_EQ(host.selected, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(ReadClip(dir.file("out.avi")).frames.size(), 3u);
  // Uncompressed frames are key frames.
  EXPECT_EQ(log.flags, (std::vector<DWORD>(3, AVIIF_KEYFRAME)));
}

struct SizeCase {
  std::int32_t cols, rows;
  LONG frameBytes;
};
class FrameSizeTest : public MakeAviJobTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(FrameSizeTest, UncompressedFramesAreWholePaddedRows) {
  const SizeCase c = GetParam();
  host.entries = {Picture("p.jpg")};
  EXPECT_EQ(Run(Frames(c.cols, c.rows, 25)).outcome, MakeAviOutcome::Completed);
  EXPECT_EQ(log.sizes, std::vector<LONG>{c.frameBytes});
  const avitest::ReadBack file = ReadClip(dir.file("out.avi"));
  EXPECT_EQ(file.info.dwRate, 25u);
  EXPECT_EQ(file.info.dwScale, 1u);
  EXPECT_EQ(file.info.rcFrame.right, c.cols);
  EXPECT_EQ(file.info.rcFrame.bottom, c.rows);
  EXPECT_EQ(file.info.dwSampleSize, 0u);  // one chunk, one frame
  EXPECT_EQ(file.info.fccHandler, mmioFOURCC('D', 'I', 'B', ' '));
  EXPECT_STREQ(file.info.szName, "Stillweaver");
  EXPECT_EQ(host.messages.back().text,
            "AVI File Write completed.\nWrote " + std::to_string(c.frameBytes) + " bytes to file out.avi.");
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameSizeTest,
                         testing::Values(SizeCase{1280, 1024, 3932160}, SizeCase{1281, 10, 3844 * 10},
                                         SizeCase{1, 1, 4}));

TEST_F(MakeAviJobTest, CancellingTheChooserOrTheSaveDialogMakesNoFile) {
  host.compressor.reset();
  EXPECT_EQ(Run().outcome, MakeAviOutcome::Cancelled);
  EXPECT_EQ(host.asked, std::vector<std::string>{"Select Compressor to use"});

  host.compressor = 0;
  host.asked.clear();
  host.saveAs.reset();
  EXPECT_EQ(Run().outcome, MakeAviOutcome::Cancelled);
  EXPECT_EQ(host.asked, (std::vector<std::string>{"Select Compressor to use", "save"}));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.avi")));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(MakeAviJobTest, AWriteOfOtherThanOneSampleStopsTheJob) {
  host.entries = {Picture("1.jpg"), Picture("2.jpg")};
  log.fakeSamples = 0;
  EXPECT_EQ(Run().outcome, MakeAviOutcome::Failed);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "AVIERR_OK");
  EXPECT_EQ(host.messages[0].caption, "AVIStreamWrite");
  EXPECT_EQ(log.starts.size(), 1u);
}

TEST_F(MakeAviJobTest, TheFileIsOpenedAtTheChosenPathAndNamedBare) {
  std::filesystem::create_directory(dir.file("sub"));
  host.saveAs = dir.file("sub/clip.avi");
  host.entries = {Picture("1.jpg")};
  EXPECT_EQ(Run().outcome, MakeAviOutcome::Completed);
  EXPECT_TRUE(std::filesystem::exists(dir.file("sub/clip.avi")));
  EXPECT_EQ(host.aviName, "clip.avi");
  EXPECT_NE(host.messages.back().text.find("to file clip.avi."), std::string::npos);
}

TEST_F(MakeAviJobTest, AFileThatCannotBeCreatedIsReported) {
  host.saveAs = dir.file("missing/folder/out.avi");
  EXPECT_EQ(Run().outcome, MakeAviOutcome::Failed);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "AVIFileOpen");
  EXPECT_EQ(host.messages[0].text, "AVIERR_FILEOPEN (" + *host.saveAs + ": No such file or directory)");
}

HRESULT DiskFullWrite(PAVISTREAM, LONG, LONG, const void*, LONG, DWORD, LONG*, LONG*) {
  SetLastError(ENOSPC);
  return AVIERR_FILEWRITE;
}

TEST_F(MakeAviJobTest, AFailedWriteNamesThePathAndTheReason) {
  host.entries = {Picture("1.jpg")};
  avi.write = &DiskFullWrite;
  EXPECT_EQ(Run().outcome, MakeAviOutcome::Failed);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "AVIStreamWrite");
  EXPECT_EQ(host.messages[0].text, "AVIERR_FILEWRITE (" + *host.saveAs + ": No space left on device)");
}

// A second job into the file a first one is writing is refused; the first
// goes on and its file keeps every frame.
TEST_F(MakeAviJobTest, ASecondJobIntoTheSameFileIsRefused) {
  host.entries = {Picture("1.jpg"), Picture("2.jpg"), Picture("3.jpg")};
  RecordingHost second;
  second.entries = {Picture("other.jpg")};
  second.saveAs = host.saveAs;
  std::optional<MakeAviResult> secondResult;
  host.onProgress = [&](int n) {
    if (n == 1) secondResult = MakeAviJob(second, {}, avi);
  };
  const MakeAviResult first = Run(Frames(64, 48, 10));
  ASSERT_TRUE(secondResult);
  EXPECT_EQ(secondResult->outcome, MakeAviOutcome::Failed);
  ASSERT_EQ(second.messages.size(), 1u);
  EXPECT_EQ(second.messages[0].caption, "AVIFileOpen");
  EXPECT_EQ(second.messages[0].text, "AVIERR_FILEOPEN (" + *host.saveAs + ": another job is writing this file)");
  EXPECT_EQ(first.outcome, MakeAviOutcome::Completed);
  EXPECT_EQ(ReadClip(*host.saveAs).frames.size(), 3u);
}

// What a reader finds if the process is killed: every frame whose write
// returned is in the file, without the index or sizes the end writes.
TEST_F(MakeAviJobTest, FramesAreOnDiskAsSoonAsTheyAreWritten) {
  for (int i = 0; i < 5; ++i) host.entries.push_back(Picture(std::to_string(i) + ".jpg", 16 + i, 12));
  const std::string copy = dir.file("killed.avi");
  host.onProgress = [&](int n) {
    if (n == 3) std::filesystem::copy_file(*host.saveAs, copy);
  };
  EXPECT_EQ(Run(Frames(40, 30, 10)).outcome, MakeAviOutcome::Completed);
  const std::vector<std::vector<std::uint8_t>> whole = ReadClip(*host.saveAs).frames;
  const std::vector<std::vector<std::uint8_t>> killed = ReadClip(copy).frames;
  ASSERT_EQ(whole.size(), 5u);
  ASSERT_EQ(killed.size(), 3u);
  for (std::size_t i = 0; i < killed.size(); ++i) EXPECT_EQ(killed[i], whole[i]) << "frame " << i;
}

TEST_F(MakeAviJobTest, EntriesAddedWhileTheJobRunsAreTaken) {
  const std::string late = Picture("late.jpg");
  host.entries = {Picture("1.jpg")};
  host.onProgress = [&](int n) {
    if (n == 0) host.entries.push_back(late);
  };
  EXPECT_EQ(Run().framesWritten, 2);
  EXPECT_EQ(ReadClip(dir.file("out.avi")).frames.size(), 2u);
}

TEST_F(MakeAviJobTest, AStopRequestFinishesAPlayableFileWithTheFramesWritten) {
  host.entries = {Picture("1.jpg"), Picture("2.jpg"), Picture("3.jpg"), Picture("4.jpg")};
  host.stopAfterEntries = 2;
  EXPECT_EQ(Run().outcome, MakeAviOutcome::Stopped);
  EXPECT_EQ(ReadClip(dir.file("out.avi")).frames.size(), 2u);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Stopped after 2 frames.");
  EXPECT_EQ(host.messages[0].caption, "AVI File Written");
  EXPECT_EQ(host.messages[0].kind, MessageKind::Completion);
}

// The stop comes while entry 0 is being decoded: the decode ends, and the
// entry is neither written nor reported as a picture that failed to open.
TEST_F(MakeAviJobTest, AStopRequestEndsTheDecodeInProgress) {
  host.entries = {Picture("1.jpg")};
  host.onProgress = [&](int) { host.stop = true; };
  const MakeAviResult result = Run();
  EXPECT_EQ(result.outcome, MakeAviOutcome::Stopped);
  EXPECT_EQ(result.framesWritten, 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Stopped after 0 frames.");
}

TEST_F(MakeAviJobTest, AListedPictureAsTheOutputIsRefusedAndAskedAgain) {
  const std::string first = Picture("1.jpg");
  host.entries = {first, Picture("2.jpg")};
  const std::vector<std::uint8_t> before = testsupport::ReadFileBytes(first);
  host.saveAs = first;
  host.laterSaveNames = {dir.file("out.avi")};
  EXPECT_EQ(Run().framesWritten, 2);
  EXPECT_EQ(testsupport::ReadFileBytes(first), before);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].caption, "AVIFileOpen");
  EXPECT_EQ(host.messages[0].kind, MessageKind::Failure);
}

TEST_F(MakeAviJobTest, AnEntryThatBecomesTheOutputIsSkipped) {
  host.entries = {Picture("1.jpg"), Picture("2.jpg")};
  host.onProgress = [&](int n) {
    if (n == 0) host.entries[1] = dir.file("out.avi");
  };
  const MakeAviResult result = Run();
  EXPECT_EQ(result.framesWritten, 1);
  EXPECT_EQ(result.entriesSkipped, 1);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].text, dir.file("out.avi") + "\nIt is the AVI file being written.");
}

TEST_F(MakeAviJobTest, CompressedStreamsCarryTheWholeFormatAndKeyFlags) {
  host.compressor = mmioFOURCC('M', 'J', 'P', 'G');
  host.entries = {Picture("1.jpg"), Picture("2.jpg")};
  EXPECT_EQ(Run(Frames(320, 240, 10)).outcome, MakeAviOutcome::Completed);
  const avitest::ReadBack file = ReadClip(dir.file("out.avi"));
  EXPECT_EQ(file.frames.size(), 2u);
  EXPECT_EQ(file.info.dwSampleSize, 0u);
  EXPECT_EQ(file.info.fccHandler, mmioFOURCC('M', 'J', 'P', 'G'));
  EXPECT_EQ(log.flags, (std::vector<DWORD>(2, AVIIF_KEYFRAME)));  // every JPEG frame is a key frame
  for (LONG size : log.sizes) EXPECT_LT(size, 320 * 240 * 3);
}

// Releases and the job's end notice, in the order they came.
std::vector<std::string>* g_events = nullptr;
HRESULT FailingCreateStream(PAVIFILE, PAVISTREAM*, const AVISTREAMINFOA*) { return AVIERR_MEMORY; }
HRESULT FailingSetFormat(PAVISTREAM, LONG, const void*, LONG) { return AVIERR_BADFORMAT; }
LONG LoggedStreamRelease(PAVISTREAM stream) {
  g_events->push_back("stream");
  return AVIStreamRelease(stream);
}
LONG LoggedFileRelease(PAVIFILE file) {
  g_events->push_back("file");
  return AVIFileRelease(file);
}
// Released for real (nothing leaks), reported as failed.
LONG FailingStreamRelease(PAVISTREAM stream) { return LoggedStreamRelease(stream) == 0 ? AVIERR_FILEWRITE : 0; }
LONG FailingFileRelease(PAVIFILE file) { return LoggedFileRelease(file) == 0 ? AVIERR_FILEWRITE : 0; }

struct ReleaseCase {
  const char* name;
  void (*fail)(avi_build::AviWriteFunctions&);
  std::vector<std::string> events;
  std::vector<std::string> captions;
  MakeAviOutcome outcome;
};
class ReleaseTest : public MakeAviJobTest, public testing::WithParamInterface<ReleaseCase> {};

// Whatever way the job leaves, what it opened is released once, the stream
// before the file, before it tells its end; the end's releases are checked
// and only a file finished without error is reported complete.
TEST_P(ReleaseTest, EveryWayOutReleasesTheStreamThenTheFile) {
  const ReleaseCase& c = GetParam();
  std::vector<std::string> events;
  g_events = &events;
  avi.streamRelease = &LoggedStreamRelease;
  avi.fileRelease = &LoggedFileRelease;
  c.fail(avi);
  host.onEnded = [&] { events.push_back("ended"); };
  host.entries = {Picture("1.jpg")};
  EXPECT_EQ(Run(Frames(64, 48, 10)).outcome, c.outcome);
  g_events = nullptr;
  EXPECT_EQ(events, c.events);
  std::vector<std::string> captions;
  for (const Message& m : host.messages) captions.push_back(m.caption);
  EXPECT_EQ(captions, c.captions);
}

INSTANTIATE_TEST_SUITE_P(
    WaysOut, ReleaseTest,
    testing::Values(
        ReleaseCase{"Completed", [](avi_build::AviWriteFunctions&) {}, {"stream", "file", "ended"},
                    {"AVI File Written"}, MakeAviOutcome::Completed},
        ReleaseCase{"CreateStreamFails", [](avi_build::AviWriteFunctions& a) { a.createStream = &FailingCreateStream; },
                    {"file", "ended"}, {"AVIFileCreateStream"}, MakeAviOutcome::Failed},
        ReleaseCase{"SetFormatFails", [](avi_build::AviWriteFunctions& a) { a.setFormat = &FailingSetFormat; },
                    {"stream", "file", "ended"}, {"AVIStreamSetFormat"}, MakeAviOutcome::Failed},
        ReleaseCase{"WriteFails", [](avi_build::AviWriteFunctions& a) { a.write = &DiskFullWrite; },
                    {"stream", "file", "ended"}, {"AVIStreamWrite"}, MakeAviOutcome::Failed},
        ReleaseCase{"StreamReleaseFails",
                    [](avi_build::AviWriteFunctions& a) { a.streamRelease = &FailingStreamRelease; },
                    {"stream", "file", "ended"}, {"AVIStreamRelease"}, MakeAviOutcome::Failed},
        ReleaseCase{"FileReleaseFails", [](avi_build::AviWriteFunctions& a) { a.fileRelease = &FailingFileRelease; },
                    {"stream", "file", "ended"}, {"AVIFileRelease"}, MakeAviOutcome::Failed}),
    [](const testing::TestParamInfo<ReleaseCase>& info) { return std::string(info.param.name); });

TEST(CheckFrameSettings, RejectsSizesAndRatesNoFileCanHold) {
  EXPECT_EQ(avi_build::CheckFrameSettings(Frames(1280, 1024, 10)), "");
  EXPECT_EQ(avi_build::CheckFrameSettings(Frames(1, 16384, 1, 1)), "");
  for (MakeAviSettings bad : {Frames(0, 1024, 10), Frames(-5, 1024, 10), Frames(1280, 16385, 10), Frames(1280, 1024, 0)})
    EXPECT_NE(avi_build::CheckFrameSettings(bad), "") << bad.cols << "x" << bad.rows << "@" << bad.fps;
}

}  // namespace
