// Fixtures for the viewer tests: small AVIs whose frames say their index,
// and a playback host that records what the loop does.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "avi_view/playback_loop.h"

namespace viewtest {

// Writes an uncompressed AVI of frameCount width × height frames at rate /
// scale frames per second; every pixel of frame i is blue i, green 0x55,
// red 0xAA.
bool WriteIndexedAvi(const std::string& path, int frameCount, std::uint32_t rate, std::uint32_t scale = 1,
                     int width = 8, int height = 6);

class RecordingPlaybackHost : public avi_view::PlaybackHost {
 public:
  avi_view::PlaybackState state;
  std::optional<std::string> file;
  // Run inside DrawFrame with the drawn frame's index: the user acting while
  // the loop is in the middle of a pass.
  std::function<void(int index)> onDraw;
  // The frames the host asks for, and the bit count of the last one drawn.
  WORD frameBits = 24;
  std::atomic<int> drawnBits{0};

  avi_view::PlaybackState& State() override { return state; }
  std::optional<std::string> ChooseFile() override { return file; }
  void Message(const std::string& text, const std::string& caption) override;
  void SetDialogCaption(const std::string& caption) override;
  void SetBoxes(const std::string& fps, const std::string& cols, const std::string& rows) override;
  void ShowPlayer(bool player) override;
  void SetSliderRange(std::int32_t minimum, std::int32_t maximum) override;
  void SetSliderPos(std::int32_t position) override;
  void ShowPosition(std::int32_t index, std::int32_t direction, const std::string& source) override;
  void ExportFailed(const std::string& text, const std::string& caption) override;
  void SetViewCaption(const std::string& caption) override;
  WORD FrameBitCount() const override { return frameBits; }
  void DrawFrame(const BITMAPINFOHEADER& header, const std::uint8_t* pixels, std::int32_t width,
                 std::int32_t height) override;

  // Everything the loop did, as "draw 3", "slider 3", "caption 3->", ...
  std::vector<std::string> events() const;
  std::vector<int> draws() const;
  // Waits (up to 10 s) until the loop has drawn `count` frames in all.
  bool WaitForDraws(std::size_t count);

 private:
  void Record(std::string event);
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::string> m_events;
  std::vector<int> m_draws;
};

}  // namespace viewtest
