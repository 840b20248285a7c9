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

TEST(Transport, FpsTextReadsAsANonNegativeNumber) {
  const std::pair<const char*, int> cases[] = {{"25", 25}, {"  7", 7}, {"-5", 0},  {"", 0},
                                               {"abc", 0}, {"30x", 30}, {"99999999999", 0}};
  for (auto [text, fps] : cases) {
    PlaybackState state;
    FpsChange(state, text);
    EXPECT_EQ(state.m_playFps, fps) << '"' << text << '"';
  }
}

struct DirectionCase {
  int paused, frame, direction;
  int wantFrame, wantDirection;
  const char* caption;
};

TEST(Transport, DirectionJumpsToTheOtherEndOnlyWhenPausedAtAnEnd) {
  const DirectionCase cases[] = {
      {1, 9, -1, 0, 1, "0->"},   // paused on the last frame, turning forward
      {1, 0, 1, 9, -1, "<-9"},   // paused on frame 0, turning backward
      {0, 9, -1, 9, 1, "9->"},   // playing: only the sign changes
      {1, 4, 1, 4, -1, "<-4"},   // paused in the middle
  };
  for (const DirectionCase& c : cases) {
    PlaybackState state;
    state.m_frameCount = 10;
    state.m_paused = c.paused;
    state.m_frame = c.frame;
    state.m_direction = c.direction;
    EXPECT_EQ(Direction(state), c.caption);
    EXPECT_EQ(state.m_frame, c.wantFrame);
    EXPECT_EQ(state.m_direction, c.wantDirection);
  }
}

struct ScrollCase {
  int code;
  int thumb;
  int wantFrame;
  int wantDirection;
  std::size_t sends;
};

TEST(Transport, TheSliderPausesAndMovesByItsScrollCode) {
  const ScrollCase cases[] = {
      {TB_LINEUP, 0, 2, 1, 1},          {TB_LINEDOWN, 0, 4, 1, 1},   {TB_PAGEUP, 0, -7, 1, 1},
      {TB_PAGEDOWN, 0, 13, 1, 1},       {TB_THUMBPOSITION, 50, 3, 1, 1}, {TB_THUMBTRACK, 50, 50, 1, 1},
      {TB_TOP, 0, 0, 1, 1},             {TB_BOTTOM, 0, INT_MAX, -1, 1}, {TB_ENDTRACK, 0, 3, 1, 2},
      {42, 0, 3, 1, 1},
  };
  for (const ScrollCase& c : cases) {
    PlaybackState state;
    state.m_frame = 3;
    const std::vector<std::int32_t> sent = HScroll(state, c.code, c.thumb);
    EXPECT_EQ(state.m_paused, 1) << c.code;
    EXPECT_EQ(state.m_frame, c.wantFrame) << c.code;
    EXPECT_EQ(state.m_direction, c.wantDirection) << c.code;
    EXPECT_EQ(sent, std::vector<std::int32_t>(c.sends, c.wantFrame)) << c.code;
  }
}

TEST(Transport, PlayPauseStepAndCloseChangeOnlyTheirMembers) {
  PlaybackState state;
  state.m_playing = 1;
  PlayPause(state);
  EXPECT_EQ(state.m_paused, 1);
  PlayPause(state);
  EXPECT_EQ(state.m_paused, 0);
  state.m_frame = 5;
  state.m_direction = -1;
  Step(state);
  EXPECT_EQ(state.m_frame, 4);
  CloseView(state);
  EXPECT_EQ(state.m_playing, 0);
  EXPECT_EQ(state.m_paused, 0);
}

}  // namespace
