#include "avi_build/make_avi.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "avi_build/avi_error_name.h"
#include "avi_build/frame_compose.h"
#include "avi_build/frame_prefetch.h"

namespace avi_build {

std::string CheckFrameSettings(const MakeAviSettings& settings) {
  if (settings.cols < 1 || settings.cols > kMaxFrameSide || settings.rows < 1 || settings.rows > kMaxFrameSide)
    return "Cols and Rows must be between 1 and " + std::to_string(kMaxFrameSide) + ".";
  if (settings.fps < 1) return "FPS must be at least 1.";
  return {};
}

BOOL MakeAviHost::ChooseCompressor(const BITMAPINFOHEADER& input, COMPVARS* compvars, const char* title) {
  BITMAPINFOHEADER offered = input;
  return ICCompressorChoose(nullptr, 0, &offered, nullptr, compvars, title);
}

namespace {

constexpr DWORD kQuality = 8500;

// The helpers that load entries ahead, and how many entries (the current
// one and those after it) they are asked for at once. One helper a core, at
// most two: each holds a whole picture, which may be large. The frames they
// hold and compose into (FramePrefetcher: lookahead + 2 * helpers) stay
// within kAheadBytes; frames too large for that are made one at a time on
// the job's thread, as without helpers.
constexpr std::size_t kAheadBytes = std::size_t{128} << 20;
struct PrefetchPlan {
  int helpers = 0;
  int lookahead = 0;
};
PrefetchPlan PlanPrefetch(std::size_t frameBytes) {
  for (int helpers = int(std::clamp(std::thread::hardware_concurrency(), 1u, 2u)); helpers > 0; --helpers) {
    const int lookahead = 2 * helpers;
    if (frameBytes * std::size_t(lookahead + 2 * helpers) <= kAheadBytes) return {helpers, lookahead};
  }
  return {};
}

// handler: the compressor's FourCC, 0 for uncompressed frames.
AVISTREAMINFOA StreamHeader(const MakeAviSettings& s, std::int32_t stride, DWORD handler) {
  AVISTREAMINFOA info{};
  info.fccType = streamtypeVIDEO;
  // Readers that pick their decoder by the handler (OpenCV's own MJPEG reader)
  // need the compressor's code here.
  info.fccHandler = handler ? handler : mmioFOURCC('D', 'I', 'B', ' ');
  info.wPriority = 1;
  info.dwScale = 1;
  info.dwRate = s.fps;
  info.dwSuggestedBufferSize = static_cast<DWORD>(std::int64_t(s.rows) * stride);
  info.dwQuality = static_cast<DWORD>(-1);
  // One chunk is one frame: 0, as FFmpeg writes it. ImageJ refuses a video
  // stream with a sample size, taking it for several frames a chunk.
  info.dwSampleSize = 0;
  info.rcFrame = {0, 0, s.cols, s.rows};
  std::strcpy(info.szName, "Stillweaver");
  return info;
}

// Holds the AVI library started for the job's whole set-up, writing and end.
struct AviLibrary {
  AviLibrary() { AVIFileInit(); }
  ~AviLibrary() { AVIFileExit(); }
};

// The chosen compressor: ended (when begun) and closed on every way out.
struct CompressorGuard {
  HIC hic = nullptr;
  bool begun = false;
  // ICM_COMPRESS_END's result, for the end step that reports it.
  LRESULT End() {
    begun = false;
    return ICSendMessage(hic, ICM_COMPRESS_END, 0, 0);
  }
  ~CompressorGuard() {
    if (!hic) return;
    if (begun) End();
    (void)ICClose(hic);
  }
};

}  // namespace

int MakeAviJob(MakeAviHost& host, const MakeAviSettings& s, const AviWriteFunctions& avi) {
  BITMAPINFOHEADER input = FrameHeader(s.cols, s.rows);
  const std::int32_t stride = FrameStride(s.cols);

  COMPVARS compvars{};
  compvars.cbSize = 64;
  if (!host.ChooseCompressor(input, &compvars, "Select Compressor to use")) return -1;
  CompressorGuard compressor{compvars.hic};

  // The output format: the compressor's whole format, codec data included.
  std::vector<std::uint8_t> format;
  if (compressor.hic) {
    LRESULT size = ICSendMessage(compressor.hic, ICM_COMPRESS_GET_FORMAT, DWORD_PTR(&input), 0);
    format.assign(std::size_t(size >= LRESULT(sizeof(BITMAPINFOHEADER)) ? size : sizeof(BITMAPINFOHEADER)), 0);
    // A format the compressor does not fill in fails at ICM_COMPRESS_BEGIN below.
    (void)ICSendMessage(compressor.hic, ICM_COMPRESS_GET_FORMAT, DWORD_PTR(&input), DWORD_PTR(format.data()));
  } else {
    format.resize(sizeof(BITMAPINFOHEADER));
    std::memcpy(format.data(), &input, sizeof input);
  }
  auto* output = reinterpret_cast<BITMAPINFOHEADER*>(format.data());

  std::optional<std::string> path = host.SaveName();
  if (!path) return -1;
  const std::string aviName = std::filesystem::path(*path).filename().string();
  host.SetAviName(aviName);

  AviLibrary library;
  PAVIFILE file = nullptr;
  HRESULT hr = avi.fileOpen(&file, path->c_str(), OF_WRITE | OF_CREATE, nullptr);
  if (hr != AVIERR_OK) {
    host.MessageBox(AviErrorName(hr), "AVIFileOpen");
    return 1;
  }
  const DWORD handler = !compressor.hic ? 0 : compvars.fccHandler ? compvars.fccHandler : output->biCompression;
  const AVISTREAMINFOA header = StreamHeader(s, stride, handler);
  PAVISTREAM stream = nullptr;
  hr = avi.createStream(file, &stream, &header);
  if (hr != AVIERR_OK) {
    host.MessageBox(AviErrorName(hr), "AVIFileCreateStream");
    avi.fileRelease(file);
    return 1;
  }
  auto releaseBoth = [&] {
    avi.streamRelease(stream);
    avi.fileRelease(file);
  };
  hr = avi.setFormat(stream, 0, format.data(), LONG(format.size()));
  if (hr != AVIERR_OK) {
    host.MessageBox(AviErrorName(hr), "AVIStreamSetFormat");
    releaseBoth();
    return 1;
  }
  if (compressor.hic) {
    if (ICSendMessage(compressor.hic, ICM_COMPRESS_BEGIN, DWORD_PTR(&input), DWORD_PTR(output)) != ICERR_OK) {
      host.MessageBox("Compression Startup Failure", "ICCompressBegin");
      releaseBoth();
      return 1;
    }
    compressor.begun = true;
  }

  // Uncompressed frames are written straight from the frame buffer; a
  // compressor gets room for its largest frame.
  std::unique_ptr<std::uint8_t[]> outputBuffer;
  if (compressor.hic) {
    const LRESULT largest = ICSendMessage(compressor.hic, ICM_COMPRESS_GET_SIZE, DWORD_PTR(&input), DWORD_PTR(output));
    if (largest > 0) outputBuffer.reset(new (std::nothrow) std::uint8_t[std::size_t(largest)]);
  }
  FrameBuffer frame;
  if ((compressor.hic && !outputBuffer) || !frame.Make(s.cols, s.rows)) {
    host.MessageBox("No room for output buffer", "new");
    releaseBoth();
    return 1;
  }
  StretchTarget target;
  if (!s.clip) target.Make(s.cols, s.rows);

  LONG frameNumber = 0;
  std::int64_t bytesWritten = 0;
  // Compresses (when a compressor was chosen) and writes one composed frame.
  enum class Outcome { Skipped, Written, Failed };
  auto writeFrame = [&](const FrameBuffer& composed) {
    const void* data = composed.pixels.get();
    LONG size = LONG(composed.size());
    DWORD flags = AVIIF_KEYFRAME;
    if (compressor.hic) {
      flags = 0;
      if (ICCompress(compressor.hic, 0, output, outputBuffer.get(), &input, composed.pixels.get(), nullptr, &flags,
                     frameNumber, 0, kQuality, nullptr, nullptr) != ICERR_OK) {
        host.MessageBox("Compression Failure", "ICCompress");
        return Outcome::Skipped;
      }
      data = outputBuffer.get();
      size = LONG(output->biSizeImage);
    }
    LONG samplesWritten = 0;
    LONG bytes = 0;
    hr = avi.write(stream, frameNumber, 1, data, size, flags, &samplesWritten, &bytes);
    ++frameNumber;
    if (hr != AVIERR_OK || samplesWritten != 1) {
      host.MessageBox(AviErrorName(hr), "AVIStreamWrite");
      return Outcome::Failed;
    }
    bytesWritten += bytes;
    return Outcome::Written;
  };

  {
    const PrefetchPlan plan = PlanPrefetch(frame.size());
    FramePrefetcher prefetch(s.cols, s.rows, s.clip, plan.helpers, plan.lookahead);
    for (int n = 0; n < host.EntryCount(); ++n) {
      if (host.StopRequested()) break;
      const std::string entry = host.EntryText(n);
      host.SelectEntry(n);
      const int count = host.EntryCount();
      host.Progress(n, count);
      // The helpers load this entry (anew if its text changed since it was
      // asked for) and the next ones, while earlier frames are written.
      prefetch.Ask(n, entry);
      for (int k = n + 1; k < count && prefetch.CanAsk(); ++k)
        if (!prefetch.Asked(k)) prefetch.Ask(k, host.EntryText(k));

      std::optional<FramePrefetcher::Prepared> prepared = prefetch.Take(n, entry);
      const PrepareResult result = prepared ? prepared->result : PrepareFrame(entry, s.clip, target, frame);
      if (result == PrepareResult::Unloadable) host.MessageBox(entry, "File Failed to Open");
      const Outcome outcome =
          result == PrepareResult::Composed ? writeFrame(prepared ? prepared->frame : frame) : Outcome::Skipped;
      if (prepared) prefetch.Recycle(std::move(prepared->frame));
      if (outcome == Outcome::Failed) {
        releaseBoth();
        host.Progress(0, 0);
        return 1;
      }
    }
  }

  frame = FrameBuffer();
  if (compressor.hic && compressor.End() != ICERR_OK)
    host.MessageBox("Compression Finish Failure", "ICCompressEnd");
  outputBuffer.reset();
  const LONG streamResult = avi.streamRelease(stream);
  if (streamResult != 0) host.MessageBox(AviErrorName(streamResult), "AVIStreamRelease");
  // The file is finished only by its last release; a failure there (a full
  // disk) must not be reported as a completed file.
  const LONG fileResult = avi.fileRelease(file);
  if (fileResult != 0) host.MessageBox(AviErrorName(fileResult), "AVIFileRelease");
  host.Progress(0, 0);
  if (streamResult == 0 && fileResult == 0) {
    char text[512];
    std::snprintf(text, sizeof text, "AVI File Write completed.\nWrote %" PRId64 " bytes to file %s.", bytesWritten,
                  aviName.c_str());
    host.MessageBox(text, "AVI File Written");
  }
  return 0;
}

}  // namespace avi_build
