#include "avi_view/playback_state.h"

#include <cctype>
#include <limits>

namespace avi_view {

void PlaybackState::Wake() {
  {
    std::lock_guard<std::mutex> lock(m_wakeMutex);
    ++m_wakeCount;
  }
  m_wakeSignal.notify_all();
}

void PlaybackState::WaitFor(std::chrono::milliseconds timeout, std::uint64_t generation) {
  std::unique_lock<std::mutex> lock(m_wakeMutex);
  const std::uint64_t seen = m_wakeCount;
  m_wakeSignal.wait_for(lock, timeout, [&] { return m_wakeCount != seen || !Running(generation); });
}

void PlaybackState::SleepFor(std::chrono::milliseconds duration, std::uint64_t generation) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  std::unique_lock<std::mutex> lock(m_wakeMutex);
  m_wakeSignal.wait_until(lock, deadline, [&] { return !Running(generation); });
}

std::string PositionCaption(std::int32_t index, std::int32_t direction) {
  const std::string number = std::to_string(index);
  if (direction > 0) return number + "->";
  if (direction < 0) return "<-" + number;
  return number;
}

void PlayPause(PlaybackState& state) {
  state.m_paused = state.m_paused.load() == 0 ? 1 : 0;
  state.Wake();
}

std::string Direction(PlaybackState& state) {
  const std::int32_t direction = -state.m_direction.load();
  state.m_direction = direction;
  const std::int32_t count = state.m_frameCount.load();
  if (direction > 0 && state.m_paused.load() != 0 && state.m_frame.load() >= count - 1) state.m_frame = 0;
  if (direction < 0 && state.m_paused.load() != 0 && state.m_frame.load() <= 0) state.m_frame = count - 1;
  state.Wake();
  return PositionCaption(state.m_frame.load(), direction);
}

void Step(PlaybackState& state) {
  state.m_frame += state.m_direction.load();
  state.Wake();
}

void CloseView(PlaybackState& state) {
  state.m_playing = 0;
  state.Wake();
}

std::int32_t FpsFromText(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  std::int64_t value = 0;
  bool digits = false;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    digits = true;
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return 0;
  }
  if (!digits || negative) return 0;
  return static_cast<std::int32_t>(value);
}

void FpsChange(PlaybackState& state, const std::string& text) {
  state.m_playFps = FpsFromText(text);
  state.Wake();
}

void WriteFiles(PlaybackState& state, bool checked) { state.m_writeFiles = checked ? 1 : 0; }

std::vector<std::int32_t> HScroll(PlaybackState& state, int code, std::int32_t thumbPosition) {
  state.m_paused = 1;
  int sends = 1;
  switch (code) {
    case TB_LINEUP: state.m_frame -= 1; break;
    case TB_LINEDOWN: state.m_frame += 1; break;
    case TB_PAGEUP: state.m_frame -= 10; break;
    case TB_PAGEDOWN: state.m_frame += 10; break;
    case TB_THUMBTRACK: state.m_frame = thumbPosition; break;
    case TB_TOP: state.m_frame = 0; break;
    case TB_BOTTOM:
      // Past the end on purpose: the loop's decode-failure rule then puts the
      // last frame up, going backward.
      state.m_direction = -1;
      state.m_frame = std::numeric_limits<std::int32_t>::max();
      break;
    case TB_ENDTRACK: sends = 2; break;
    default: break;
  }
  state.Wake();
  return std::vector<std::int32_t>(std::size_t(sends), state.m_frame.load());
}

}  // namespace avi_view
