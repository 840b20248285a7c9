// The playback loop against a recording host, with the test thread acting
// as the user at the transport controls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "avi_view/frame_export.h"
#include "avi_view/playback_loop.h"
#include "tests/avi_view/playback_test_support.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;
using viewtest::RecordingPlaybackHost;

class PlaybackLoopTest : public testing::Test {
 protected:
  testsupport::TempDir dir;
  RecordingPlaybackHost host;
  std::thread worker;
  int result = 99;

  void TearDown() override { Stop(); }

  void Start(const std::string& path) {
    host.file = path;
    const std::uint64_t generation = host.state.NewPlayback();
    worker = std::thread([this, generation] { result = avi_view::ViewAviJob(host, generation); });
  }
  void Stop() {
    avi_view::CloseView(host.state);
    if (worker.joinable()) worker.join();
  }
  std::string Avi(int frames, std::uint32_t rate, std::uint32_t scale = 1) {
    const std::string path = dir.file("clip.avi");
    EXPECT_TRUE(viewtest::WriteIndexedAvi(path, frames, rate, scale));
    return path;
  }
  avi_view::PlaybackValues Values() { return host.state.Values(); }
  // Waits until the loop rests paused with `draws` frames drawn.
  void WaitPausedAfter(std::size_t draws) {
    ASSERT_TRUE(host.WaitForDraws(draws));
    for (int i = 0; i < 500 && Values().m_paused == 0; ++i) std::this_thread::sleep_for(2ms);
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(host.draws().size(), draws) << "drew more than expected";
  }
  bool Saw(const std::string& event) {
    const auto events = host.events();
    return std::find(events.begin(), events.end(), event) != events.end();
  }
};

TEST_F(PlaybackLoopTest, StartsWithTheStreamsSizeAndRateAndRestoresTheDialogAtTheEnd) {
  const std::string path = Avi(3, 250);
  Start(path);
  WaitPausedAfter(4);
  Stop();
  EXPECT_EQ(result, 0);
  const auto events = host.events();
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[0], "title vids DIB " + path);
  EXPECT_EQ(events[1], "boxes 250 8 6");
  EXPECT_EQ(events[2], "player on");
  EXPECT_EQ(events[3], "range 0 2");
  EXPECT_EQ(Values().m_frameCount, 3);
  EXPECT_EQ(Values().m_playFps, 250);
  EXPECT_EQ(events[events.size() - 2], "caption &Read");
  EXPECT_EQ(events.back(), "player off");
}

TEST_F(PlaybackLoopTest, ForwardPastTheEndWrapsToZeroAndPauses) {
  Start(Avi(3, 250));
  WaitPausedAfter(4);
  EXPECT_EQ(host.draws(), (std::vector<int>{0, 1, 2, 0}));
  EXPECT_EQ(Values().m_frame, 0);
  EXPECT_EQ(Values().m_paused, 1);
  EXPECT_TRUE(Saw("slider 0"));
  const auto events = host.events();
  EXPECT_EQ(std::vector<std::string>(events.end() - 2, events.end()),
            (std::vector<std::string>{"caption 0->", "draw 0"}));
}

TEST_F(PlaybackLoopTest, BackwardPastZeroWrapsToTheLastFrameAndPauses) {
  avi_view::Direction(host.state);
  Start(Avi(3, 250));
  WaitPausedAfter(2);
  EXPECT_EQ(host.draws(), (std::vector<int>{0, 2}));
  EXPECT_EQ(Values().m_frame, 2);
  const auto events = host.events();
  EXPECT_EQ(std::vector<std::string>(events.end() - 3, events.end()),
            (std::vector<std::string>{"slider 2", "caption <-2", "draw 2"}));
}

TEST_F(PlaybackLoopTest, IndicesOutsideTheStreamRestartAtTheEndTheDirectionRunsFrom) {
  Start(Avi(3, 250));
  WaitPausedAfter(4);  // paused on 0
  // The slider's End: backward, past the end; the last frame comes up.
  avi_view::HScroll(host.state, avi_view::TB_BOTTOM, 0);
  WaitPausedAfter(5);
  EXPECT_EQ(host.draws().back(), 2);
  EXPECT_EQ(Values().m_frame, 2);
  // Forward, page-down past the end: back to frame 0.
  EXPECT_EQ(avi_view::Direction(host.state), "0->");  // paused on the last frame, turning forward
  WaitPausedAfter(6);
  avi_view::HScroll(host.state, avi_view::TB_PAGEDOWN, 0);
  WaitPausedAfter(6);  // 10 is rejected and 0 is already shown
  EXPECT_EQ(Values().m_frame, 0);
  EXPECT_EQ(Values().m_paused, 1);
}

TEST_F(PlaybackLoopTest, StepWhilePausedDrawsTheNextFrameAndWrapsPastTheEnd) {
  Start(Avi(3, 250));
  WaitPausedAfter(4);
  avi_view::Step(host.state);
  WaitPausedAfter(5);
  avi_view::Step(host.state);
  WaitPausedAfter(6);
  avi_view::Step(host.state);  // index 3: past the end, so frame 0
  WaitPausedAfter(7);
  EXPECT_EQ(host.draws(), (std::vector<int>{0, 1, 2, 0, 1, 2, 0}));
}

// A control pressed while frame `at` is on screen acts on that frame: it is
// applied before the loop's advance, and nothing the user asked for nor
// anything the loop did is lost.
struct MidPassCase {
  const char* name;
  int frames;
  int at;
  std::function<void(avi_view::PlaybackState&)> press;
  std::vector<int> draws;  // until the loop rests, paused
};
void PrintTo(const MidPassCase& c, std::ostream* os) { *os << c.name; }

class MidPassTest : public PlaybackLoopTest, public testing::WithParamInterface<MidPassCase> {};

TEST_P(MidPassTest, ThePressActsOnTheFrameShown) {
  const MidPassCase& c = GetParam();
  bool pressed = false;
  host.onDraw = [&](int index) {
    if (index == c.at && !pressed) {
      pressed = true;
      c.press(host.state);
    }
  };
  Start(Avi(c.frames, 250));
  WaitPausedAfter(c.draws.size());
  EXPECT_EQ(host.draws(), c.draws);
}

INSTANTIATE_TEST_SUITE_P(
    Presses, MidPassTest,
    testing::Values(
        MidPassCase{"SliderLandsOnTheThumb", 10, 1,
                    [](auto& s) { avi_view::HScroll(s, avi_view::TB_THUMBTRACK, 7); }, {0, 1, 7}},
        MidPassCase{"SliderLeftShowsTheFrameBefore", 10, 3,
                    [](auto& s) { avi_view::HScroll(s, avi_view::TB_LINEUP, 0); }, {0, 1, 2, 3, 2}},
        MidPassCase{"SliderRightShowsTheFrameAfter", 10, 3,
                    [](auto& s) { avi_view::HScroll(s, avi_view::TB_LINEDOWN, 0); }, {0, 1, 2, 3, 4}},
        MidPassCase{"PauseStaysOnTheFrameShown", 6, 2, [](auto& s) { avi_view::PlayPause(s); }, {0, 1, 2}},
        MidPassCase{"StepWhilePlayingSkipsOneFrame", 6, 1, [](auto& s) { avi_view::Step(s); },
                    {0, 1, 3, 4, 5, 0}},
        MidPassCase{"StepOnTheLastFrameWrapsToTheStart", 3, 2, [](auto& s) { avi_view::Step(s); }, {0, 1, 2, 0}},
        MidPassCase{"DirectionWhilePlayingTurnsAtTheFrameShown", 4, 1, [](auto& s) { avi_view::Direction(s); },
                    {0, 1, 0, 3}},
        MidPassCase{"FrameForwardPausesOnTheNextFrame", 6, 2, [](auto& s) { avi_view::FrameStep(s, 1); },
                    {0, 1, 2, 3}},
        MidPassCase{"FrameBackPausesOnTheFrameBefore", 6, 2, [](auto& s) { avi_view::FrameStep(s, -1); },
                    {0, 1, 2, 1}},
        MidPassCase{"FrameBackFromTheFirstFrameStaysThere", 6, 0, [](auto& s) { avi_view::FrameStep(s, -1); },
                    {0}}),
    [](const testing::TestParamInfo<MidPassCase>& p) { return std::string(p.param.name); });

// A frame's delay ends early only for requests that leave nothing to wait
// for: a pause, a slider move, a stop.
struct WaitCase {
  const char* name;
  avi_view::PlaybackRequest request;
  bool endsTheWait;
};
void PrintTo(const WaitCase& c, std::ostream* os) { *os << c.name; }

class FrameDelayTest : public testing::TestWithParam<WaitCase> {};

TEST_P(FrameDelayTest, EndsEarlyOnlyWhenNothingIsLeftToWaitFor) {
  avi_view::PlaybackState state;
  const std::uint64_t generation = state.NewPlayback();
  ASSERT_TRUE(state.Attach(generation, 10));
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + (GetParam().endsTheWait ? 20s : 300ms);
  std::thread user([&] { state.Post(GetParam().request); });
  state.WaitUntil(deadline, generation);
  user.join();
  const auto waited = std::chrono::steady_clock::now() - start;
  if (GetParam().endsTheWait)
    EXPECT_LT(waited, 10s);
  else
    EXPECT_GE(waited, 300ms);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, FrameDelayTest,
    testing::Values(WaitCase{"Pause", {avi_view::PlaybackRequest::PlayPause}, true},
                    WaitCase{"Slider", {avi_view::PlaybackRequest::Scroll, avi_view::TB_LINEDOWN}, true},
                    WaitCase{"Close", {avi_view::PlaybackRequest::Close}, true},
                    WaitCase{"FrameStep", {avi_view::PlaybackRequest::FrameStep, 1}, true},
                    WaitCase{"Fps", {avi_view::PlaybackRequest::Fps, 5}, false},
                    WaitCase{"Direction", {avi_view::PlaybackRequest::Direction}, false},
                    WaitCase{"Step", {avi_view::PlaybackRequest::Step}, false},
                    WaitCase{"WriteFiles", {avi_view::PlaybackRequest::WriteFiles, 1}, false}),
    [](const testing::TestParamInfo<WaitCase>& p) { return std::string(p.param.name); });

TEST_F(PlaybackLoopTest, AFractionalRateShowsExactlyInTheBoxAndKeepsItsExactPeriod) {
  Start(Avi(3, 30000, 1001));
  WaitPausedAfter(4);
  EXPECT_TRUE(Saw("boxes 29.97 8 6"));
  EXPECT_EQ(Values().m_playFps, 30);
  EXPECT_EQ(Values().m_rate, 30000u);
  EXPECT_EQ(Values().m_scale, 1001u);
}

TEST_F(PlaybackLoopTest, PausedDrawsNothingUntilResumed) {
  Start(Avi(40, 20));  // 46 ms between frames
  ASSERT_TRUE(host.WaitForDraws(2));
  avi_view::PlayPause(host.state);
  std::this_thread::sleep_for(100ms);
  const std::size_t atPause = host.draws().size();
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(host.draws().size(), atPause);
  avi_view::PlayPause(host.state);
  EXPECT_TRUE(host.WaitForDraws(atPause + 2));
}

TEST_F(PlaybackLoopTest, ANewerPlaybackEndsTheOlderOneThoughNobodyClearedPlaying) {
  Start(Avi(40, 20));
  ASSERT_TRUE(host.WaitForDraws(1));
  host.state.NewPlayback();
  worker.join();
  EXPECT_EQ(host.events().back(), "player off");
  EXPECT_EQ(Values().m_playing, 0);
}

TEST_F(PlaybackLoopTest, AFileThatIsNotAnAviEndsThePlaybackAfterOneMessage) {
  testsupport::WriteFileText(dir.file("text.avi"), "this is not a RIFF file");
  Start(dir.file("text.avi"));
  worker.join();
  EXPECT_EQ(result, 0);
  const auto events = host.events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].rfind("message Error: Couldn't open the AVI file (AVIERR_", 0), 0u) << events[0];
  EXPECT_EQ(Values().m_playing, 0);
}

TEST_F(PlaybackLoopTest, CancellingTheFileChoiceChangesNothing) {
  host.file.reset();
  const std::uint64_t generation = host.state.NewPlayback();
  EXPECT_EQ(avi_view::ViewAviJob(host, generation), -1);
  EXPECT_TRUE(host.events().empty());
}

// The export runs in the current folder.
class ExportLoopTest : public PlaybackLoopTest {
 protected:
  std::filesystem::path previous = std::filesystem::current_path();
  void SetUp() override { std::filesystem::current_path(dir.path()); }
  void TearDown() override {
    Stop();
    std::filesystem::current_path(previous);
  }
  bool Exists(int index) { return std::filesystem::exists(dir.path() / avi_view::ExportFileName(index)); }
  // Saving runs beside the loop: give it a moment on a slow machine.
  bool Appears(int index) {
    for (int i = 0; i < 500 && !Exists(index); ++i) std::this_thread::sleep_for(10ms);
    return Exists(index);
  }
};

TEST_F(ExportLoopTest, DrawnFramesAreSavedAndSavedAgainWhenDrawnAgain) {
  avi_view::WriteFiles(host.state, true);
  avi_view::Direction(host.state);
  Start(Avi(3, 250));
  WaitPausedAfter(2);  // 0, then wrapped to 2
  EXPECT_TRUE(Appears(0));
  EXPECT_TRUE(Appears(2));
  EXPECT_FALSE(Exists(1));
  std::filesystem::remove(dir.path() / "Save0002.jpg");
  std::filesystem::remove(dir.path() / "Save0000.jpg");
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(Exists(2)) << "paused, yet a frame was saved";
  avi_view::PlayPause(host.state);  // 1, 0 backwards, then wraps to 2
  WaitPausedAfter(5);
  EXPECT_EQ(host.draws(), (std::vector<int>{0, 2, 1, 0, 2}));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Appears(i)) << i;
}

TEST_F(ExportLoopTest, WriteFilesTakesEffectFromTheNextFrameDrawn) {
  Start(Avi(3, 250));
  WaitPausedAfter(4);
  EXPECT_FALSE(Exists(0));
  avi_view::WriteFiles(host.state, true);
  avi_view::Step(host.state);
  WaitPausedAfter(5);
  EXPECT_TRUE(Appears(1));
  avi_view::WriteFiles(host.state, false);
  avi_view::Step(host.state);
  WaitPausedAfter(6);
  EXPECT_FALSE(Exists(2));
}

TEST_F(ExportLoopTest, OnlyTheFirstFailedSaveIsToldAndPlaybackGoesOn) {
  // Every save fails: each name is taken by a folder.
  for (int i = 0; i < 4; ++i) std::filesystem::create_directory(dir.path() / avi_view::ExportFileName(i));
  avi_view::WriteFiles(host.state, true);
  Start(Avi(4, 250));
  WaitPausedAfter(5);
  Stop();
  std::vector<std::string> told;
  for (const std::string& event : host.events())
    if (event.rfind("export failed", 0) == 0) told.push_back(event);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].rfind("export failed WriteFiles: Frames cannot be saved in " +
                              std::filesystem::current_path().string() + "\nSave000",
                          0),
            0u)
      << told[0];
  EXPECT_NE(told[0].find(std::strerror(EISDIR)), std::string::npos) << told[0];
}

// A host that takes 32-bit frames gets them, and the files saved from them
// are the very ones 24-bit frames give.
TEST_F(ExportLoopTest, ThirtyTwoBitFramesSaveTheSameFiles) {
  if (!testsupport::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  const std::string clip = dir.file("testsrc.avi");
  ASSERT_EQ(testsupport::RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=21x13:rate=250 -frames:v 2 "
                                    "-c:v rawvideo -pix_fmt bgr24 -y " +
                                    testsupport::ShellQuote(clip))
                .exitCode,
            0);
  avi_view::WriteFiles(host.state, true);
  std::vector<std::uint8_t> saved[2][2];
  std::size_t draws = 0;
  for (int run = 0; run < 2; ++run) {
    host.frameBits = run == 0 ? 24 : 32;
    Start(clip);
    draws += 3;  // 0, 1, then wrapped to 0
    WaitPausedAfter(draws);
    Stop();  // the queued saves end with the playback
    EXPECT_EQ(host.drawnBits, host.frameBits);
    for (int i = 0; i < 2; ++i) {
      const std::string name = (dir.path() / avi_view::ExportFileName(i)).string();
      saved[run][i] = testsupport::ReadFileBytes(name);
      std::filesystem::remove(name);
    }
  }
  for (int i = 0; i < 2; ++i) {
    ASSERT_FALSE(saved[0][i].empty()) << i;
    EXPECT_EQ(saved[1][i], saved[0][i]) << i;
  }
}

// The pacer against a clock of our own: each step is a pass that starts at
// `start` ms and the deadline it is given, in ms (fractions kept as ns).
struct PaceStep {
  double start;
  std::uint32_t rate, scale;
  double deadline;
  bool restartBefore = false;  // a pause came before this pass
};

struct PaceCase {
  const char* name;
  std::vector<PaceStep> steps;
};
void PrintTo(const PaceCase& c, std::ostream* os) { *os << c.name; }

class FramePacerTest : public testing::TestWithParam<PaceCase> {};

TEST_P(FramePacerTest, GivesEachFrameItsDeadline) {
  avi_view::FramePacer pacer;
  const avi_view::FramePacer::Clock::time_point zero{};
  const auto at = [&](double ms) {
    return zero + std::chrono::duration_cast<avi_view::FramePacer::Clock::duration>(
                      std::chrono::duration<double, std::milli>(ms));
  };
  int n = 0;
  for (const PaceStep& step : GetParam().steps) {
    if (step.restartBefore) pacer.Restart();
    const auto deadline = pacer.Deadline(at(step.start), step.rate, step.scale);
    const double ms = std::chrono::duration<double, std::milli>(deadline - zero).count();
    EXPECT_NEAR(ms, step.deadline, 1e-6) << "pass " << n++;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Schedules, FramePacerTest,
    testing::Values(
        // Decoding takes 30 of every 40 ms: the frames still come every 40.
        PaceCase{"DecodeTimeIsAbsorbed", {{0, 25, 1, 40}, {40.2, 25, 1, 80}, {80.9, 25, 1, 120}, {120.1, 25, 1, 160}}},
        PaceCase{"FractionalPeriodsDoNotDrift",
                 {{0, 30000, 1001, 1001.0 / 30}, {33.4, 30000, 1001, 2002.0 / 30}, {66.8, 30000, 1001, 100.1}}},
        // 70 ms late is more than a frame: a new schedule, no frames rushed.
        PaceCase{"AStallRestartsTheSchedule", {{0, 25, 1, 40}, {110, 25, 1, 150}, {150.5, 25, 1, 190}}},
        PaceCase{"APauseRestartsTheSchedule", {{0, 25, 1, 40}, {1000, 25, 1, 1040, true}}},
        // A control drew this frame before its time: the schedule starts over.
        PaceCase{"AFrameDrawnEarlyRestartsTheSchedule", {{0, 25, 1, 40}, {10, 25, 1, 50}}},
        PaceCase{"ANewRateRestartsTheSchedule", {{0, 25, 1, 40}, {40, 10, 1, 140}}},
        PaceCase{"NoWaitAtZeroOrAbove200", {{0, 0, 1, 0}, {5, 201, 1, 5}, {7, 30000, 100, 7}, {9, 200, 1, 14}}},
        PaceCase{"AScaleOf0CountsAs1", {{0, 10, 0, 100}}}),
    [](const testing::TestParamInfo<PaceCase>& p) { return std::string(p.param.name); });

TEST(FramePacer, AFractionalScheduleIsExactAfterManyFrames) {
  avi_view::FramePacer pacer;
  avi_view::FramePacer::Clock::time_point now{};
  avi_view::FramePacer::Clock::time_point deadline{};
  for (int i = 0; i < 30000; ++i) {
    deadline = pacer.Deadline(now, 30000, 1001);
    now = deadline;  // each pass starts as the one before ends
  }
  EXPECT_EQ(deadline - avi_view::FramePacer::Clock::time_point{}, std::chrono::seconds(1001));
}

TEST(FrameExport, NamesCarryTheIndexWithAtLeastFourDigits) {
  EXPECT_EQ(avi_view::ExportFileName(7), "Save0007.jpg");
  EXPECT_EQ(avi_view::ExportFileName(12345), "Save12345.jpg");
  CLSID jpeg{};
  EXPECT_GE(avi_view::FindEncoderByMime(u"image/jpeg", &jpeg), 0);
  CLSID untouched{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  const CLSID before = untouched;
  EXPECT_EQ(avi_view::FindEncoderByMime(u"image/x-none", &untouched), -1);
  EXPECT_TRUE(untouched == before);
  EXPECT_EQ(avi_view::ConversionCodePage(), avi_view::ConversionCodePage());
}

}  // namespace
