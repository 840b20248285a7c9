#include "avi_view/playback_loop.h"

#include <cstring>
#include <optional>

#include "avi_view/avi_reader.h"
#include "avi_view/frame_export.h"
#include "platform/vfw.h"

namespace avi_view {

int FrameDelayMs(std::int32_t fps) {
  if (fps == 0) return 0;
  const std::int32_t delay = 1000 / fps - 4;
  return delay > 0 ? delay : 0;
}

namespace {

std::string FourCCText(DWORD code) {
  std::string text(4, ' ');
  for (int i = 0; i < 4; ++i) text[std::size_t(i)] = static_cast<char>((code >> (8 * i)) & 0xFF);
  return text.substr(0, text.find('\0'));
}

// The stream's codec, for the caption: the format's compression FourCC, or
// "DIB" for uncompressed frames.
std::string CodecText(PAVISTREAM stream) {
  BITMAPINFOHEADER format{};
  LONG size = sizeof format;
  if (AVIStreamReadFormat(stream, 0, &format, &size) != AVIERR_OK || size < LONG(sizeof format)) return "?";
  if (format.biCompression == BI_RGB || format.biCompression == BI_BITFIELDS) return "DIB";
  return FourCCText(format.biCompression);
}

}  // namespace

int ViewAviJob(PlaybackHost& host, std::uint64_t generation) {
  PlaybackState& state = host.State();
  const std::optional<std::string> path = host.ChooseFile();
  if (!path) return -1;

  AviReader reader(*path, [&host](const std::string& text, const std::string& caption) {
    host.Message(text, caption);
  });
  // A reader that failed has told the user; the dialog stays as it was.
  if (!reader.ready()) return 0;

  const AVISTREAMINFOA& info = reader.m_streamInfo;
  host.SetDialogCaption(FourCCText(info.fccType) + " " + CodecText(reader.m_videoStream) + " " + *path);
  const std::int32_t width = info.rcFrame.right - info.rcFrame.left;
  const std::int32_t height = info.rcFrame.bottom - info.rcFrame.top;
  state.m_playFps = static_cast<std::int32_t>(info.dwRate);
  host.SetBoxes(std::to_string(info.dwRate), std::to_string(width), std::to_string(height));
  host.ShowPlayer(true);
  const std::int32_t frameCount = static_cast<std::int32_t>(info.dwLength);
  host.SetSliderRange(0, frameCount - 1);
  (void)AVIStreamGetFrame(reader.m_decoder, 0);  // decodes the first frame early; the loop asks for it again
  state.m_playing = 1;
  state.m_paused = 0;
  state.m_frameCount = frameCount;
  std::int32_t lastDrawn = -1;
  CLSID jpegEncoder{};
  const bool haveEncoder = FindEncoderByMime(u"image/jpeg", &jpegEncoder) >= 0;
  // Made on the first export of the playback; saves every frame queued
  // before the playback ends.
  std::optional<ExportQueue> exports;
  state.m_frame = 0;

  while (state.Running(generation)) {
    const std::int32_t index = state.m_frame.load();
    bool drew = false;
    if (index != lastDrawn) {
      const auto* frame = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(reader.m_decoder, index));
      if (!frame) {
        const std::int32_t restart = state.m_direction.load() > 0 ? 0 : frameCount - 1;
        state.m_frame = restart;
        state.m_paused = 1;
        // A stream whose restart frame fails too (no frames at all) must
        // not spin.
        if (restart == index) state.WaitFor(std::chrono::milliseconds(20), generation);
        continue;
      }
      host.SetSliderPos(index);
      host.SetViewCaption(PositionCaption(index, state.m_direction.load()));
      host.DrawFrame(*frame, reinterpret_cast<const std::uint8_t*>(frame) + sizeof(BITMAPINFOHEADER), width, height);
      const int delay = FrameDelayMs(state.m_playFps.load());
      if (delay > 0) state.SleepFor(std::chrono::milliseconds(delay), generation);
      lastDrawn = index;
      if (state.m_writeFiles.load() != 0 && haveEncoder) {
        if (!exports) exports.emplace(jpegEncoder);
        exports->Push(frame, index);
      }
      drew = true;
    }
    if (state.m_paused.load() == 0) state.m_frame += state.m_direction.load();
    if (state.m_frame.load() < 0) {
      state.m_frame = frameCount - 1;
      host.SetSliderPos(frameCount - 1);
      state.m_paused = 1;
    }
    if (state.m_frame.load() >= frameCount) {
      state.m_frame = 0;
      host.SetSliderPos(0);
      state.m_paused = 1;
    }
    // Nothing to draw while paused: wait for a control rather than spin. The
    // wait comes after the end checks, so an index a control sets meanwhile
    // (past the end, to reach the last frame) is seen by the next decode.
    if (!drew && state.m_paused.load() != 0) {
      if (exports) exports->Drain();  // at rest, every drawn frame is saved
      state.WaitFor(std::chrono::milliseconds(20), generation);
    }
  }

  exports.reset();
  host.SetViewCaption("&Read");
  host.ShowPlayer(false);
  return 0;
}

}  // namespace avi_view
