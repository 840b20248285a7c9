// What each transport control does to the playback state.
#include <gtest/gtest.h>

#include <climits>

#include "avi_view/playback_state.h"

namespace {

using namespace avi_view;

TEST(Transport, PositionCaptionFollowsTheDirection) {
  EXPECT_EQ(PositionCaption(12, 1), "12->");
  EXPECT_EQ(PositionCaption(12, -1), "<-12");
  EXPECT_EQ(PositionCaption(12, 0), "12");
}

TEST(Transport, FrameLabelCountsFromOneAndGivesTheFramesStart) {
  EXPECT_EQ(FrameLabel(0, 50, 25, 1), "frame 1 of 50 \u00B7 00:00.000");
  EXPECT_EQ(FrameLabel(12, 50, 25, 1), "frame 13 of 50 \u00B7 00:00.480");
  EXPECT_EQ(FrameLabel(1799, 1800, 30000, 1001), "frame 1800 of 1800 \u00B7 01:00.026");
  EXPECT_EQ(FrameLabel(89999, 90000, 10, 1), "frame 90000 of 90000 \u00B7 149:59.900");
  EXPECT_EQ(FrameLabel(3, 4, 0, 1), "frame 4 of 4 \u00B7 00:00.000");
}

TEST(Transport, FrameLabelNamesTheSourcePictureWhenThereIsOne) {
  EXPECT_EQ(FrameLabel(12, 50, 25, 1, "/home/ann/Fotos/img0013.jpg"), "frame 13 of 50 \u00B7 00:00.480 \u00B7 img0013.jpg");
  EXPECT_EQ(FrameLabel(0, 2, 25, 1, "scan.tif"), "frame 1 of 2 \u00B7 00:00.000 \u00B7 scan.tif");
  EXPECT_EQ(FrameLabel(0, 2, 25, 1, ""), "frame 1 of 2 \u00B7 00:00.000");
}

TEST(Transport, FpsTextReadsAsANonNegativeNumber) {
  const std::pair<const char*, int> cases[] = {{"25", 25}, {"  7", 7}, {"-5", 0},  {"", 0},
                                               {"abc", 0}, {"30x", 30}, {"99999999999", 0}};
  for (auto [text, fps] : cases) {
    PlaybackState state;
    FpsChange(state, text);
    EXPECT_EQ(state.Values().m_playFps, fps) << '"' << text << '"';
  }
}

struct DirectionCase {
  int paused, frame, direction;
  int wantFrame, wantDirection;
};

TEST(Transport, DirectionJumpsToTheOtherEndOnlyWhenPausedAtAnEnd) {
  const DirectionCase cases[] = {
      {1, 9, -1, 0, 1},  // paused on the last frame, turning forward
      {1, 0, 1, 9, -1},  // paused on frame 0, turning backward
      {0, 9, -1, 9, 1},  // playing: only the sign changes
      {1, 4, 1, 4, -1},  // paused in the middle
  };
  for (const DirectionCase& c : cases) {
    PlaybackValues v;
    v.m_frameCount = 10;
    v.m_paused = c.paused;
    v.m_frame = c.frame;
    v.m_direction = c.direction;
    ApplyRequest(v, {PlaybackRequest::Direction});
    EXPECT_EQ(v.m_frame, c.wantFrame);
    EXPECT_EQ(v.m_direction, c.wantDirection);
  }
}

struct ScrollCase {
  int code;
  int thumb;
  int wantFrame;
  int wantDirection;
};

TEST(Transport, TheSliderPausesAndMovesByItsScrollCode) {
  const ScrollCase cases[] = {
      {TB_LINEUP, 0, 2, 1},         {TB_LINEDOWN, 0, 4, 1},         {TB_PAGEUP, 0, -7, 1},
      {TB_PAGEDOWN, 0, 13, 1},      {TB_THUMBPOSITION, 50, 3, 1},   {TB_THUMBTRACK, 50, 50, 1},
      {TB_TOP, 0, 0, 1},            {TB_BOTTOM, 0, INT_MAX, -1},    {TB_ENDTRACK, 0, 3, 1},
      {42, 0, 3, 1},
  };
  for (const ScrollCase& c : cases) {
    PlaybackValues v;
    v.m_frame = 3;
    ApplyRequest(v, {PlaybackRequest::Scroll, c.code, c.thumb});
    EXPECT_EQ(v.m_paused, 1) << c.code;
    EXPECT_EQ(v.m_frame, c.wantFrame) << c.code;
    EXPECT_EQ(v.m_direction, c.wantDirection) << c.code;
  }
  PlaybackState state;
  EXPECT_EQ(HScroll(state, TB_THUMBTRACK, 5), std::vector<std::int32_t>{5});
  EXPECT_EQ(HScroll(state, TB_ENDTRACK, 0), (std::vector<std::int32_t>{5, 5}));  // the position goes twice
}

TEST(Transport, StepsPastTheLargestIndexWrapInsteadOfOverflowing) {
  PlaybackValues v;
  v.m_frame = INT_MAX;
  ApplyRequest(v, {PlaybackRequest::Step});
  EXPECT_EQ(v.m_frame, INT_MIN);  // below 0: the loop's end checks take it to the last frame
  ApplyRequest(v, {PlaybackRequest::Scroll, TB_PAGEUP});
  EXPECT_EQ(v.m_frame, INT_MAX - 9);
}

TEST(Transport, TheStreamsExactRateHoldsUntilTheFpsBoxShowsAnotherNumber) {
  PlaybackState state;
  PlaybackRequest rate{PlaybackRequest::StreamRate};
  rate.rate = 30000;
  rate.scale = 1001;
  EXPECT_EQ(state.Post(rate).m_playFps, 30);
  FpsChange(state, "29.97");  // the loop writing the box
  PlaybackValues v = state.Values();
  EXPECT_EQ(v.m_rate, 30000u);
  EXPECT_EQ(v.m_scale, 1001u);
  FpsChange(state, "3");  // the user typing
  FpsChange(state, "30");
  v = state.Values();
  EXPECT_EQ(v.m_rate, 30u);
  EXPECT_EQ(v.m_scale, 1u);
}

TEST(Transport, TheFpsBoxShowsTheRateRoundedAndNeverZeroForAMovingStream) {
  const struct {
    std::uint32_t rate, scale;
    int fps;
  } cases[] = {{30000, 1001, 30}, {24000, 1001, 24}, {25, 1, 25}, {1, 3, 1}, {0, 1, 0}, {10, 0, 10}, {5, 2, 3}};
  for (const auto& c : cases) EXPECT_EQ(RoundedFps(c.rate, c.scale), c.fps) << c.rate << "/" << c.scale;
}

// The loop's side, driven by hand: requests posted during a pass apply after
// the loop's own changes of that pass, so neither is lost.
TEST(Transport, RequestsPostedDuringAPassApplyOnTopOfTheLoopsChanges) {
  PlaybackState state;
  const std::uint64_t generation = state.NewPlayback();
  ASSERT_TRUE(state.Attach(generation, 10));
  PlaybackValues pass;
  ASSERT_TRUE(state.BeginPass(generation, &pass));
  HScroll(state, TB_THUMBTRACK, 7);  // the user drags while frame 0 is drawn
  EXPECT_EQ(state.Values().m_frame, 7) << "the handler's view includes its request";
  pass.m_frame += pass.m_direction;  // the loop advances from its snapshot
  state.EndPass(pass);
  ASSERT_TRUE(state.BeginPass(generation, &pass));
  EXPECT_EQ(pass.m_frame, 7);
  EXPECT_EQ(pass.m_paused, 1);

  CloseView(state);
  EXPECT_FALSE(state.BeginPass(generation, &pass));
  state.Detach(generation);
}

TEST(Transport, WhileNoLoopRunsRequestsTakeEffectAtOnceAndANewPlaybackKeepsDirectionRateAndWriteFiles) {
  PlaybackState state;
  Direction(state);
  Step(state);
  PlayPause(state);
  FpsChange(state, "12");
  WriteFiles(state, true);
  PlaybackValues v = state.Values();
  EXPECT_EQ(v.m_frame, -1);
  EXPECT_EQ(v.m_paused, 1);
  const std::uint64_t generation = state.NewPlayback();
  ASSERT_TRUE(state.Attach(generation, 5));
  ASSERT_TRUE(state.BeginPass(generation, &v));
  EXPECT_EQ(v.m_playing, 1);
  EXPECT_EQ(v.m_paused, 0);
  EXPECT_EQ(v.m_frame, 0);
  EXPECT_EQ(v.m_direction, -1);
  EXPECT_EQ(v.m_playFps, 12);
  EXPECT_EQ(v.m_writeFiles, 1);
  state.Detach(generation);
  EXPECT_EQ(state.Values().m_playing, 0);
}

TEST(Transport, AnOlderPlaybackCannotTakeTheStateOver) {
  PlaybackState state;
  const std::uint64_t old = state.NewPlayback();
  const std::uint64_t current = state.NewPlayback();
  EXPECT_FALSE(state.Attach(old, 5));
  ASSERT_TRUE(state.Attach(current, 5));
  PlaybackValues v;
  EXPECT_TRUE(state.BeginPass(current, &v));
  EXPECT_FALSE(state.BeginPass(old, &v));
  state.Detach(old);  // not the attached one: nothing changes
  Step(state);
  EXPECT_EQ(v.m_frame, 0);
  ASSERT_TRUE(state.BeginPass(current, &v));
  EXPECT_EQ(v.m_frame, 1) << "requests still queue for the current loop";
  state.Detach(current);
}

}  // namespace
