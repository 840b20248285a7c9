#include "avi_view/playback_loop.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "avi_build/frame_rate.h"
#include "avi_view/avi_reader.h"
#include "avi_view/frame_export.h"
#include "platform/vfw.h"

namespace avi_view {

FramePacer::Clock::duration FramePacer::Offset(std::uint64_t frames) const {
  // frames × scale / rate seconds, exact to the nanosecond however far the
  // schedule runs.
  const unsigned __int128 nanoseconds = static_cast<unsigned __int128>(frames) * m_scale * 1000000000u / m_rate;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(static_cast<std::int64_t>(nanoseconds)));
}

FramePacer::Clock::time_point FramePacer::Deadline(Clock::time_point passStart, std::uint32_t rate,
                                                   std::uint32_t scale) {
  if (scale == 0) scale = 1;
  if (rate == 0 || rate > std::uint64_t(scale) * 200) {
    m_scheduled = false;
    return passStart;
  }
  if (m_scheduled && rate == m_rate && scale == m_scale) {
    const Clock::time_point due = m_origin + Offset(m_frames + 1);
    if (passStart >= due && passStart - due <= Offset(1)) {
      ++m_frames;
      return m_origin + Offset(m_frames + 1);
    }
  }
  m_scheduled = true;
  m_rate = rate;
  m_scale = scale;
  m_origin = passStart;
  m_frames = 0;
  return m_origin + Offset(1);
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

// Tells the user about the first frame of a playback that could not be
// saved: the rest would most likely fail the same way (a full disk, a
// read-only folder), so they stay silent.
ExportQueue::FailureFn ExportFailureReporter(PlaybackHost& host) {
  std::error_code error;
  const std::string folder = std::filesystem::current_path(error).string();
  auto told = std::make_shared<std::atomic<bool>>(false);
  return [&host, told, folder = error ? std::string("the current folder") : folder](const ExportResult& result) {
    if (told->exchange(true)) return;
    host.ExportFailed("Frames cannot be saved in " + folder + "\n" + ExportFailureText(result), "WriteFiles");
  };
}

}  // namespace

int ViewAviJob(PlaybackHost& host, std::uint64_t generation) {
  PlaybackState& state = host.State();
  const std::optional<std::string> path = host.ChooseFile();
  if (!path) return -1;

  BITMAPINFOHEADER wanted{};
  wanted.biSize = sizeof wanted;
  wanted.biBitCount = host.FrameBitCount();
  wanted.biCompression = BI_RGB;
  AviReader reader(
      *path, [&host](const std::string& text, const std::string& caption) { host.Message(text, caption); },
      wanted.biBitCount == 24 ? AVIGETFRAMEF_BESTDISPLAYFMT : &wanted);
  // A reader that failed has told the user; the dialog stays as it was.
  if (!reader.ready()) return 0;

  const AVISTREAMINFOA& info = reader.m_streamInfo;
  host.SetDialogCaption(FourCCText(info.fccType) + " " + CodecText(reader.m_videoStream) + " " + *path);
  const std::int32_t width = info.rcFrame.right - info.rcFrame.left;
  const std::int32_t height = info.rcFrame.bottom - info.rcFrame.top;
  PlaybackRequest rate{PlaybackRequest::StreamRate};
  rate.rate = info.dwRate;
  rate.scale = info.dwScale;
  const PlaybackValues posted = state.Post(rate);
  // The exact rate ("29.97"), which the FPS box reads back as the same rate.
  host.SetBoxes(posted.m_playFps == 0 ? "0" : avi_build::FrameRateText(posted.m_rate, posted.m_scale),
                std::to_string(width), std::to_string(height));
  host.ShowPlayer(true);
  const std::int32_t frameCount = static_cast<std::int32_t>(std::min<DWORD>(info.dwLength, INT32_MAX));
  host.SetSliderRange(0, frameCount - 1);
  (void)AVIStreamGetFrame(reader.m_decoder, 0);  // decodes the first frame early; the loop asks for it again
  CLSID jpegEncoder{};
  const bool haveEncoder = FindEncoderByMime(u"image/jpeg", &jpegEncoder) >= 0;
  // Made on the first export of the playback; saves every frame queued
  // before the playback ends.
  std::optional<ExportQueue> exports;
  std::int32_t lastDrawn = -1;
  FramePacer pacer;

  PlaybackValues v;
  if (state.Attach(generation, frameCount)) {
    while (state.BeginPass(generation, &v)) {
      const FramePacer::Clock::time_point passStart = FramePacer::Clock::now();
      const std::int32_t index = v.m_frame;
      bool drew = false;
      if (index != lastDrawn) {
        std::shared_ptr<const BITMAPINFOHEADER> frame = AVIStreamGetFrameShared(reader.m_decoder, index);
        if (!frame) {
          v.m_frame = v.m_direction > 0 ? 0 : frameCount - 1;
          v.m_paused = 1;
          state.EndPass(v);
          pacer.Restart();
          // A restart frame that fails too (a stream without frames) waits
          // for the user instead of spinning.
          if (v.m_frame == index) state.WaitForRequest(generation);
          continue;
        }
        const FramePacer::Clock::time_point deadline = pacer.Deadline(passStart, v.m_rate, v.m_scale);
        host.SetSliderPos(index);
        const char* source = nullptr;
        const char* time = nullptr;
        if (AVIStreamFrameSource(reader.m_videoStream, index, &source, &time) != AVIERR_OK) source = "";
        host.ShowPosition(index, v.m_direction, source);
        host.DrawSharedFrame(frame, width, height);
        // A pause, a slider move or a stop ends the wait at once; other
        // controls let the frame keep its time on screen.
        state.WaitUntil(deadline, generation);
        lastDrawn = index;
        if (v.m_writeFiles != 0 && haveEncoder) {
          if (!exports) exports.emplace(jpegEncoder, ExportFailureReporter(host));
          // A frame that cannot be copied is not saved; playback goes on.
          (void)exports->Push(frame.get(), index);
        }
        drew = true;
      }
      // The controls pressed while this frame was on screen act on it.
      state.ApplyPending(&v);
      if (v.m_paused == 0) v.m_frame = WrapAdd(v.m_frame, v.m_direction);
      if (v.m_frame < 0) {
        v.m_frame = frameCount - 1;
        host.SetSliderPos(frameCount - 1);
        v.m_paused = 1;
      }
      if (v.m_frame >= frameCount) {
        v.m_frame = 0;
        host.SetSliderPos(0);
        v.m_paused = 1;
      }
      state.EndPass(v);
      // Nothing to draw while paused: wait for a control rather than spin
      // (one applied just now has been taken into v already).
      if (!drew && v.m_paused != 0 && v.m_frame == lastDrawn && v.m_playing != 0) {
        pacer.Restart();
        if (exports) exports->Drain();  // at rest, every drawn frame is saved
        state.WaitForRequest(generation);
      }
    }
  }
  state.Detach(generation);

  exports.reset();
  host.SetViewCaption("&Read");
  host.ShowPlayer(false);
  return 0;
}

}  // namespace avi_view
