// The playback loop: asks for an AVI file, turns the dialog into a player
// and shows the frame at m_frame pass after pass (decode, slider, caption,
// draw, wait for the frame's deadline, record, export, advance, end checks)
// until the playback is told to stop. Written once over PlaybackHost; the
// dialog and the tests each provide one.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "avi_view/playback_state.h"
#include "platform/wintypes.h"

namespace avi_view {

// What the loop needs from the dialog. Called from the loop's thread. The
// set-up and restore calls return when done; the per-frame ones (SetSliderPos,
// ShowPosition, DrawFrame) may only hand their update over, and a host that
// cannot keep up shows the newest one.
class PlaybackHost {
 public:
  virtual ~PlaybackHost() = default;
  virtual PlaybackState& State() = 0;
  // The open dialog: the chosen full path, or nothing when cancelled.
  virtual std::optional<std::string> ChooseFile() = 0;
  // A box with no owner; returns when answered.
  virtual void Message(const std::string& text, const std::string& caption) = 0;
  virtual void SetDialogCaption(const std::string& caption) = 0;
  // Writes the FPS, Cols and Rows boxes (the FPS box's change is noticed).
  virtual void SetBoxes(const std::string& fps, const std::string& cols, const std::string& rows) = 0;
  // true: list hidden, video surface and slider shown; false: the reverse.
  virtual void ShowPlayer(bool player) = 0;
  virtual void SetSliderRange(std::int32_t minimum, std::int32_t maximum) = 0;
  virtual void SetSliderPos(std::int32_t position) = 0;
  // The View AVI caption for the frame index going in direction
  // (PositionCaption), and the frame's source picture as the file records
  // it (the path as listed; empty when the file records none).
  virtual void ShowPosition(std::int32_t index, std::int32_t direction, const std::string& source) = 0;
  // The first frame of a playback that could not be saved: a message with no
  // owner that must not hold the loop up. Called from any thread. A host
  // that shows no messages leaves it as it is.
  virtual void ExportFailed(const std::string& /*text*/, const std::string& /*caption*/) {}
  // Any other View AVI caption ("&Read" at the end).
  virtual void SetViewCaption(const std::string& caption) = 0;
  // The frames DrawFrame takes: 24 bits a pixel, rows bottom-up (the
  // decoder's best display format), or 32, rows from the top, each pixel
  // blue, green, red, 255, which a surface paints without converting. Asked
  // once, before the file is opened. Frames saved as JPEG come out the same
  // either way.
  virtual WORD FrameBitCount() const { return 24; }
  // Shows a decoded frame (rows after its 40-byte header, as FrameBitCount
  // chose) of width × height pixels stretched over the whole video surface.
  // The frame is valid only during the call.
  virtual void DrawFrame(const BITMAPINFOHEADER& header, const std::uint8_t* pixels, std::int32_t width,
                         std::int32_t height) = 0;
  // The same frame for a host that keeps it after the call: it stays as it
  // is while held (AVIStreamGetFrameShared), so it need not be copied. A
  // host may hold at most two at the time of the next call. By default,
  // DrawFrame.
  virtual void DrawSharedFrame(std::shared_ptr<const BITMAPINFOHEADER> frame, std::int32_t width,
                               std::int32_t height) {
    DrawFrame(*frame, reinterpret_cast<const std::uint8_t*>(frame.get()) + sizeof(BITMAPINFOHEADER), width, height);
  }
};

// One playback, as the playback of `generation` (from the state's
// NewPlayback). Returns -1 when the file choice was cancelled, else 0.
[[nodiscard]] int ViewAviJob(PlaybackHost& host, std::uint64_t generation);

// Paces the frames of a playback to the exact rate: each frame is due one
// period after the one before, counted from where the schedule began, so
// decoding and drawing time is absorbed and fractional periods do not drift.
// A frame that starts more than a period late (a stall) or early (drawn at
// once for a control) begins a new schedule instead of racing to catch up.
class FramePacer {
 public:
  using Clock = std::chrono::steady_clock;
  // For a frame whose pass began at passStart, at rate / scale frames per
  // second: when the pass may end. passStart itself (no wait) at rate 0 or
  // above 200 frames per second.
  Clock::time_point Deadline(Clock::time_point passStart, std::uint32_t rate, std::uint32_t scale);
  // The next frame begins a new schedule (after a pause).
  void Restart() { m_scheduled = false; }

 private:
  Clock::duration Offset(std::uint64_t frames) const;

  bool m_scheduled = false;
  Clock::time_point m_origin;
  std::uint64_t m_frames = 0;  // frames since m_origin: the current one starts at Offset(m_frames)
  std::uint32_t m_rate = 0;
  std::uint32_t m_scale = 1;
};

}  // namespace avi_view
