#include "tests/avi_view/playback_test_support.h"

#include <algorithm>

#include "platform/vfw.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/support/test_support.h"

namespace viewtest {

bool WriteIndexedAvi(const std::string& path, int frameCount, std::uint32_t rate, std::uint32_t scale, int width,
                     int height) {
  const int stride = testsupport::DibStride(width);
  avitest::Clip clip;
  clip.header = avitest::StreamHeader(width, height, static_cast<int>(rate), static_cast<DWORD>(stride * height));
  clip.header.dwScale = scale;
  clip.format = avitest::RawFormat(width, height);
  for (int i = 0; i < frameCount; ++i) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride * height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        std::uint8_t* p = pixels.data() + y * stride + 3 * x;
        p[0] = std::uint8_t(i);
        p[1] = 0x55;
        p[2] = 0xAA;
      }
    clip.frames.push_back(std::move(pixels));
  }
  clip.flags.assign(clip.frames.size(), AVIIF_KEYFRAME);
  const avitest::WriteOutcome outcome = avitest::WriteClip(path, clip);
  return outcome.fileRelease == 0 && outcome.streamRelease == 0 && outcome.format == AVIERR_OK &&
         std::count(outcome.writes.begin(), outcome.writes.end(), AVIERR_OK) == frameCount;
}

void RecordingPlaybackHost::Record(std::string event) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(std::move(event));
  }
  m_changed.notify_all();
}

void RecordingPlaybackHost::Message(const std::string& text, const std::string& caption) {
  Record("message " + caption + ": " + text);
}
void RecordingPlaybackHost::ExportFailed(const std::string& text, const std::string& caption) {
  Record("export failed " + caption + ": " + text);
}
void RecordingPlaybackHost::SetDialogCaption(const std::string& caption) { Record("title " + caption); }
void RecordingPlaybackHost::SetBoxes(const std::string& fps, const std::string& cols, const std::string& rows) {
  Record("boxes " + fps + " " + cols + " " + rows);
  avi_view::FpsChange(state, fps);  // writing the FPS box is noticed, as in the dialog
}
void RecordingPlaybackHost::ShowPlayer(bool player) { Record(player ? "player on" : "player off"); }
void RecordingPlaybackHost::SetSliderRange(std::int32_t minimum, std::int32_t maximum) {
  Record("range " + std::to_string(minimum) + " " + std::to_string(maximum));
}
void RecordingPlaybackHost::SetSliderPos(std::int32_t position) { Record("slider " + std::to_string(position)); }
void RecordingPlaybackHost::ShowPosition(std::int32_t index, std::int32_t direction, const std::string& source) {
  Record("caption " + avi_view::PositionCaption(index, direction) + (source.empty() ? "" : " " + source));
}
void RecordingPlaybackHost::SetViewCaption(const std::string& caption) { Record("caption " + caption); }

void RecordingPlaybackHost::DrawFrame(const BITMAPINFOHEADER& header, const std::uint8_t* pixels, std::int32_t,
                                      std::int32_t) {
  drawnBits = header.biBitCount;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_draws.push_back(pixels[0]);
    m_events.push_back("draw " + std::to_string(pixels[0]));
  }
  if (onDraw) onDraw(pixels[0]);
  m_changed.notify_all();
}

std::vector<std::string> RecordingPlaybackHost::events() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_events;
}

std::vector<int> RecordingPlaybackHost::draws() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_draws;
}

bool RecordingPlaybackHost::WaitForDraws(std::size_t count) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_draws.size() >= count; });
}

}  // namespace viewtest
