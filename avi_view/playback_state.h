// The playback state shared by the dialog's transport controls (UI thread)
// and the playback loop (its worker), and what each control does to it.
//
// The loop owns the state while it runs: the controls only post requests,
// which the loop applies under the lock just before its advance step (and at
// the start of a pass), on top of its own changes. So a control acts on the
// frame on screen, no change is lost whichever thread gets there first, and
// the drawing part of a pass works from one snapshot. While no loop runs, a
// request takes effect at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace avi_view {

// One snapshot of the playback members.
struct PlaybackValues {
  std::int32_t m_playing = 0;     // the loop runs while not 0
  std::int32_t m_paused = 0;      // not 0: the index does not advance
  std::int32_t m_direction = 1;   // added to m_frame at each advance
  std::int32_t m_frame = 0;       // index of the frame to show
  std::int32_t m_frameCount = 0;  // frames in the stream played last
  std::int32_t m_playFps = 1;     // what the FPS box shows; 0: no delay between frames
  std::int32_t m_writeFiles = 0;  // not 0: drawn frames are saved
  // The exact rate, m_rate / m_scale frames per second: the stream's own
  // until the FPS box is changed to another number, then m_playFps / 1.
  std::uint32_t m_rate = 1;
  std::uint32_t m_scale = 1;
  // The stream's own rate, whatever the FPS box says: frame times.
  std::uint32_t m_streamRate = 1;
  std::uint32_t m_streamScale = 1;
};

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

// A change asked for by a control (or by the loop's start-up, for the rate).
struct PlaybackRequest {
  enum Kind { PlayPause, Direction, Step, Close, Stop, Fps, StreamRate, WriteFiles, Scroll, FrameStep };
  Kind kind;
  // PlayPause: the m_paused it sets (Post fills it in); Fps: the number;
  // WriteFiles: 0 or 1; Scroll: the code; FrameStep: +1 or -1.
  std::int32_t value = 0;
  std::int32_t extra = 0;  // Scroll: the thumb position
  // StreamRate: the stream's dwRate / dwScale; Fps: the rate the box reads
  // as (scale 0: the number alone).
  std::uint32_t rate = 0;
  std::uint32_t scale = 0;
};

// What a request does to the values.
void ApplyRequest(PlaybackValues& values, const PlaybackRequest& request);

class PlaybackState {
 public:
  // Any thread. Queues the request for the loop (or applies it when no loop
  // runs) and wakes the loop; returns the values as they will be once every
  // request posted so far has been applied.
  PlaybackValues Post(PlaybackRequest request);
  // Any thread: the values as they will be once the requests posted so far
  // have been applied.
  PlaybackValues Values() const;

  // UI thread: a new playback supersedes the one before, which ends at its
  // next pass whatever m_playing says. Returns the new playback's generation.
  std::uint64_t NewPlayback();

  // The loop's side; its thread only.
  // Takes the state over for the playback of generation: requests queue for
  // the loop from now on; m_playing 1, m_paused 0, m_frame 0, m_frameCount
  // frameCount. False (nothing changed) when a newer playback was started.
  [[nodiscard]] bool Attach(std::uint64_t generation, std::int32_t frameCount);
  // Applies the requests posted since the last pass and gives the values for
  // this pass. False when the playback has been told to stop or superseded.
  [[nodiscard]] bool BeginPass(std::uint64_t generation, PlaybackValues* values);
  // Applies the requests posted since BeginPass to the values the pass
  // began with, just before the loop's advance step.
  void ApplyPending(PlaybackValues* values);
  // Stores the loop's own changes made in the pass (advance, wraps).
  void EndPass(const PlaybackValues& values);
  // Returns the state to the controls as the loop ends: pending requests are
  // applied and m_playing is 0.
  void Detach(std::uint64_t generation);
  // Waits until deadline (a frame's delay); returns early once the posted
  // requests stop or pause the playback, or a newer playback has started.
  // Other requests (FPS, Direction, Step, WriteFiles) let the frame keep its
  // time on screen.
  void WaitUntil(std::chrono::steady_clock::time_point deadline, std::uint64_t generation);
  // Waits until a request is posted or a newer playback has started.
  void WaitForRequest(std::uint64_t generation);

 private:
  bool Superseded(std::uint64_t generation) const { return m_generation != generation; }

  mutable std::mutex m_mutex;
  std::condition_variable m_posted;
  PlaybackValues m_values;                 // as the loop (or the last request) left them
  std::vector<PlaybackRequest> m_pending;  // posted while a loop runs, not yet applied
  std::uint64_t m_generation = 0;          // the newest playback's
  std::uint64_t m_attached = 0;            // the generation of the loop that runs, 0: none
};

// a + b for frame indices, wrapping as 32-bit members always did (Step past
// 2147483647 lands below 0, where the loop's end checks catch it) instead of
// overflowing.
std::int32_t WrapAdd(std::int32_t a, std::int32_t b);

// "frame 13 of 50 · 00:00.480" for index 12 of 50 frames at rate / scale
// frames per second: the frame counted from 1, and when it begins. With a
// source path, its file name follows: "frame 13 of 50 · 00:00.480 · img13.jpg".
std::string FrameLabel(std::int32_t index, std::int32_t frameCount, std::uint32_t rate, std::uint32_t scale,
                       const std::string& source = {});

// "12->", "<-12" or "12", by the sign of direction.
std::string PositionCaption(std::int32_t index, std::int32_t direction);

// What the transport controls do: each posts its request. Any thread.
void PlayPause(PlaybackState& state);
// Reverses the direction (jumping to the other end when paused at an end);
// returns the View AVI caption to show at once.
std::string Direction(PlaybackState& state);
void Step(PlaybackState& state);
// One frame forward (+1) or back (-1) from the frame shown, pausing first,
// whatever the direction; held inside the stream.
void FrameStep(PlaybackState& state, std::int32_t by);
void CloseView(PlaybackState& state);
// View AVI during a playback: ends it, unpaused.
void StopPlayback(PlaybackState& state);
// The FPS box's text read as a signed number; negative, empty or non-numeric
// text gives 0.
std::int32_t FpsFromText(const std::string& text);
// The FPS box changed. The number it already stood for (the stream's rate
// rounded, as the loop writes it) keeps the exact rate.
void FpsChange(PlaybackState& state, const std::string& text);
void WriteFiles(PlaybackState& state, bool checked);
// Pauses and moves the index by the scroll code; returns the positions to
// send to the slider, in order (TB_ENDTRACK sends it twice).
std::vector<std::int32_t> HScroll(PlaybackState& state, int code, std::int32_t thumbPosition);

// The stream's rate rounded for the FPS box: at least 1 for any rate above
// 0, so the box never reads as "no delay" for a slow stream.
std::int32_t RoundedFps(std::uint32_t rate, std::uint32_t scale);

}  // namespace avi_view
