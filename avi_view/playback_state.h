// The playback state shared by the dialog's transport controls (UI thread)
// and the playback loop (its worker), and what each control does to it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace avi_view {

struct PlaybackState {
  std::atomic<std::int32_t> m_playing{0};    // the loop runs while not 0
  std::atomic<std::int32_t> m_paused{0};     // not 0: the index does not advance
  std::atomic<std::int32_t> m_direction{1};  // added to m_frame at each advance
  std::atomic<std::int32_t> m_frame{0};      // index of the frame to show
  std::atomic<std::int32_t> m_frameCount{0}; // frames in the stream played last
  std::atomic<std::int32_t> m_playFps{1};    // 0: no delay between frames
  std::atomic<std::int32_t> m_writeFiles{0}; // not 0: drawn frames are saved
  // Each playback runs under its own generation; a loop whose generation is
  // no longer current has been told to stop, whatever m_playing says.
  std::atomic<std::uint64_t> m_generation{0};

  // Wakes a loop that is waiting (paused, or between frames) so it sees a
  // change at once. Any thread may call it.
  void Wake();
  // Waits up to timeout or until woken; returns early as soon as the
  // playback of generation has been told to stop.
  void WaitFor(std::chrono::milliseconds timeout, std::uint64_t generation);
  // Sleeps for duration unless the playback of generation is told to stop.
  void SleepFor(std::chrono::milliseconds duration, std::uint64_t generation);
  bool Running(std::uint64_t generation) const {
    return m_playing.load() != 0 && m_generation.load() == generation;
  }

 private:
  std::mutex m_wakeMutex;
  std::condition_variable m_wakeSignal;
  std::uint64_t m_wakeCount = 0;
};

// "12->", "<-12" or "12", by the sign of direction.
std::string PositionCaption(std::int32_t index, std::int32_t direction);

// What the transport controls do. Each returns after changing the state and
// waking the loop; the dialog applies what they return to its controls.
void PlayPause(PlaybackState& state);
// Reverses the direction (jumping to the other end when paused at an end);
// returns the View AVI caption to show.
std::string Direction(PlaybackState& state);
void Step(PlaybackState& state);
void CloseView(PlaybackState& state);
// The FPS box's text read as a signed number; negative, empty or non-numeric
// text gives 0.
std::int32_t FpsFromText(const std::string& text);
void FpsChange(PlaybackState& state, const std::string& text);
void WriteFiles(PlaybackState& state, bool checked);

// Trackbar scroll codes.
enum ScrollCode : int {
  TB_LINEUP = 0,
  TB_LINEDOWN = 1,
  TB_PAGEUP = 2,
  TB_PAGEDOWN = 3,
  TB_THUMBPOSITION = 4,
  TB_THUMBTRACK = 5,
  TB_TOP = 6,
  TB_BOTTOM = 7,
  TB_ENDTRACK = 8,
};
// Pauses and moves the index by the scroll code; returns the positions to
// send to the slider, in order (TB_ENDTRACK sends it twice).
std::vector<std::int32_t> HScroll(PlaybackState& state, int code, std::int32_t thumbPosition);

}  // namespace avi_view
