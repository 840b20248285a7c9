#include "tests/avi_view/playback_test_support.h"

#include <cstring>

#include "platform/vfw.h"

namespace viewtest {

bool WriteIndexedAvi(const std::string& path, int frameCount, std::uint32_t rate, std::uint32_t scale, int width,
                     int height) {
  const int stride = (3 * width + 3) & ~3;
  BITMAPINFOHEADER format{};
  format.biSize = 40;
  format.biWidth = width;
  format.biHeight = height;
  format.biPlanes = 1;
  format.biBitCount = 24;
  format.biSizeImage = DWORD(stride * height);
  AVISTREAMINFOA info{};
  info.fccType = streamtypeVIDEO;
  info.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
  info.dwScale = scale;
  info.dwRate = rate;
  info.dwSuggestedBufferSize = format.biSizeImage;
  info.dwSampleSize = format.biSizeImage;
  info.rcFrame = {0, 0, width, height};
  std::strcpy(info.szName, "test");

  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  bool ok = AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr) == AVIERR_OK;
  ok = ok && AVIFileCreateStreamA(file, &stream, &info) == AVIERR_OK;
  ok = ok && AVIStreamSetFormat(stream, 0, &format, sizeof format) == AVIERR_OK;
  std::vector<std::uint8_t> pixels(format.biSizeImage);
  for (int i = 0; ok && i < frameCount; ++i) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        std::uint8_t* p = pixels.data() + y * stride + 3 * x;
        p[0] = std::uint8_t(i);
        p[1] = 0x55;
        p[2] = 0xAA;
      }
    LONG samples = 0, bytes = 0;
    ok = AVIStreamWrite(stream, i, 1, pixels.data(), LONG(pixels.size()), AVIIF_KEYFRAME, &samples, &bytes) ==
         AVIERR_OK;
  }
  if (stream) ok = AVIStreamRelease(stream) == 0 && ok;
  if (file) ok = AVIFileRelease(file) == 0 && ok;
  AVIFileExit();
  return ok;
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

void RecordingPlaybackHost::DrawFrame(const BITMAPINFOHEADER&, const std::uint8_t* pixels, std::int32_t,
                                      std::int32_t) {
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
