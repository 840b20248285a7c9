#include "avi_build/make_avi.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "avi_build/avi_error_name.h"
#include "avi_build/frame_compose.h"
#include "avi_build/frame_prefetch.h"
#include "avi_build/output_check.h"
#include "picture/load_failure.h"
#include "platform/decode_stop.h"
#include "platform/kernel.h"
#include "platform/picture_probe.h"

namespace avi_build {

std::string CheckFrameSettings(const MakeAviSettings& settings) {
  if (settings.cols < 1 || settings.cols > kMaxFrameSide || settings.rows < 1 || settings.rows > kMaxFrameSide)
    return "Cols and Rows must be between 1 and " + std::to_string(kMaxFrameSide) + ".";
  if (settings.fps < 1 || settings.fpsScale < 1) return "FPS must be a positive number.";
  if (settings.hold < 1 || settings.hold > kMaxHold) return "Hold must be between 1 and " + std::to_string(kMaxHold) + ".";
  return {};
}

std::vector<std::string> MakeAviHost::EntryTexts() {
  std::vector<std::string> texts;
  for (int n = 0, count = EntryCount(); n < count; ++n) texts.push_back(EntryText(n));
  return texts;
}

BOOL MakeAviHost::ChooseCompressor(const BITMAPINFOHEADER& input, COMPVARS* compvars, const char* title) {
  BITMAPINFOHEADER offered = input;
  return ICCompressorChoose(nullptr, 0, &offered, nullptr, compvars, title);
}

namespace {

constexpr DWORD kQuality = 8500;

// The helpers that load entries ahead, and how many entries (the current
// one and those after it) they are asked for at once. One helper a core, at
// most two, and one entry more than helpers: writing a frame costs far less
// than preparing one, so further frames held ahead only cost memory. The
// frames they hold and compose into (FramePrefetcher: lookahead + 2 *
// helpers) stay within kAheadBytes; frames too large for
// that are made one at a time on the job's thread, as without helpers. The
// pictures they and the job's thread load stay within the prefetcher's
// picture budget, or load one at a time when larger.
constexpr std::size_t kAheadBytes = std::size_t{128} << 20;
struct PrefetchPlan {
  int helpers = 0;
  int lookahead = 0;
};
PrefetchPlan PlanPrefetch(std::size_t frameBytes) {
  for (int helpers = int(std::clamp(std::thread::hardware_concurrency(), 1u, 2u)); helpers > 0; --helpers) {
    const int lookahead = helpers + 1;
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
  info.dwScale = s.fpsScale;
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

// The result's name, and when the file services met an OS error on the
// way, the path and that error: "AVIERR_FILEWRITE (/x/out.avi: No space left
// on device)". Read right after the failing call, on the job's thread.
std::string WithReason(HRESULT code, const std::string& path) {
  std::string text = AviErrorName(code);
  const DWORD error = GetLastError();
  if (error == 0) return text;
  // The writer's lock on the output is held by another job (or program).
  const std::string reason = error == DWORD(EWOULDBLOCK) ? "another job is writing this file"
                                                          : std::generic_category().message(int(error));
  return text + " (" + path + ": " + reason + ")";
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
  [[nodiscard]] LRESULT End() {
    begun = false;
    return ICSendMessage(hic, ICM_COMPRESS_END, 0, 0);
  }
  ~CompressorGuard() {
    if (!hic) return;
    if (begun) (void)End();  // on a way out after a failure, which is the one reported
    (void)ICClose(hic);
  }
};

// The job's file or stream, released on every way out. The end releases it
// with Release, whose result it reports; a way out after a failure releases
// it unchecked, as that failure is the one reported.
template <typename Handle>
class AviHandle {
 public:
  explicit AviHandle(AviFunction<LONG (*)(Handle)> release) : m_release(release) {}
  ~AviHandle() {
    if (m_handle) (void)m_release(m_handle);
  }
  AviHandle(const AviHandle&) = delete;
  AviHandle& operator=(const AviHandle&) = delete;

  Handle* Out() { return &m_handle; }
  Handle Get() const { return m_handle; }
  [[nodiscard]] LONG Release() { return m_handle ? m_release(std::exchange(m_handle, nullptr)) : 0; }

 private:
  AviFunction<LONG (*)(Handle)> m_release;
  Handle m_handle = nullptr;
};

// Tells the host once that the job has ended (Progress 0 of 0): at Now, or
// when the job leaves, after the file and stream declared later are released.
class EndNotice {
 public:
  explicit EndNotice(MakeAviHost& host) : m_host(&host) {}
  ~EndNotice() { Now(); }
  EndNotice(const EndNotice&) = delete;
  EndNotice& operator=(const EndNotice&) = delete;
  void Now() {
    if (m_host) std::exchange(m_host, nullptr)->Progress(0, 0);
  }

 private:
  MakeAviHost* m_host;
};

}  // namespace

MakeAviResult MakeAviJob(MakeAviHost& host, const MakeAviSettings& s, const AviWriteFunctions& avi) {
  MakeAviResult result;
  BITMAPINFOHEADER input = FrameHeader(s.cols, s.rows);
  const std::int32_t stride = FrameStride(s.cols);

  COMPVARS compvars{};
  compvars.cbSize = 64;
  if (!host.ChooseCompressor(input, &compvars, "Select Compressor to use")) {
    result.outcome = MakeAviOutcome::Cancelled;
    return result;
  }
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

  // Checked before anything is opened for writing: truncating a picture of
  // the list, or waiting on a FIFO, would happen at the open.
  std::optional<std::string> path;
  for (;;) {
    path = host.SaveName();
    if (!path) {
      result.outcome = MakeAviOutcome::Cancelled;
      return result;
    }
    const std::string problem = CheckOutputPath(*path, host.EntryTexts());
    if (problem.empty()) break;
    host.MessageBox(problem, "AVIFileOpen", MessageKind::Failure);
    if (!host.AsksSaveNameAgain()) return result;
  }
  const std::string aviName = std::filesystem::path(*path).filename().string();
  host.SetAviName(aviName);

  AviLibrary library;
  EndNotice ended(host);
  AviHandle<PAVIFILE> file(avi.fileRelease);
  SetLastError(0);
  HRESULT hr = avi.fileOpen(file.Out(), path->c_str(), OF_WRITE | OF_CREATE, nullptr);
  if (hr != AVIERR_OK) {
    host.MessageBox(WithReason(hr, *path), "AVIFileOpen", MessageKind::Failure);
    return result;
  }
  const DWORD handler = !compressor.hic ? 0 : compvars.fccHandler ? compvars.fccHandler : output->biCompression;
  const AVISTREAMINFOA header = StreamHeader(s, stride, handler);
  AviHandle<PAVISTREAM> stream(avi.streamRelease);
  hr = avi.createStream(file.Get(), stream.Out(), &header);
  if (hr != AVIERR_OK) {
    host.MessageBox(AviErrorName(hr), "AVIFileCreateStream", MessageKind::Failure);
    return result;
  }
  hr = avi.setFormat(stream.Get(), 0, format.data(), LONG(format.size()));
  if (hr != AVIERR_OK) {
    host.MessageBox(AviErrorName(hr), "AVIStreamSetFormat", MessageKind::Failure);
    return result;
  }
  // The quality set in the chooser, where the compressor has one.
  const DWORD quality = compvars.lQ >= 0 && compvars.lQ <= 10000 ? DWORD(compvars.lQ) : kQuality;
  if (compressor.hic) {
    // The rate and key-frame interval, so that a compressor with inter
    // frames places its key frames in time; ICCompress then never forces one.
    ICCOMPRESSFRAMES frames{};
    frames.lpbiOutput = output;
    frames.lpbiInput = &input;
    frames.lQuality = LONG(quality);
    frames.lKeyRate = compvars.lKey;
    frames.dwRate = s.fps;
    frames.dwScale = 1;
    // A compressor that does not take it keeps its own key-frame placement.
    (void)ICSendMessage(compressor.hic, ICM_COMPRESS_FRAMES_INFO, DWORD_PTR(&frames), sizeof frames);
    if (ICSendMessage(compressor.hic, ICM_COMPRESS_BEGIN, DWORD_PTR(&input), DWORD_PTR(output)) != ICERR_OK) {
      host.MessageBox("Compression Startup Failure", "ICCompressBegin", MessageKind::Failure);
      return result;
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
    host.MessageBox("No room for output buffer", "new", MessageKind::Failure);
    return result;
  }
  const std::int32_t placement = s.fit ? kPlaceFit : s.clip;
  StretchTarget target;
  if (!placement) target.Make(s.cols, s.rows);
  // One range for every frame, so that the frames do not flicker.
  GreyRange grey = s.grey;
  if (s.greyAuto) {
    std::vector<std::string> paths;
    for (int n = 0; n < host.EntryCount(); ++n) paths.push_back(host.EntryText(n));
    grey = GreyRangeOfPictures(paths);
  }
  // Entries changed while the job runs are compared with the file as written.
  const std::optional<FileIdentity> outputId = IdentityOf(*path);
  const auto isOutput = [&](const std::string& entry) { return outputId && IdentityOf(entry) == outputId; };

  // Compresses (when a compressor was chosen) and writes one composed frame.
  enum class Outcome { Skipped, Written, Failed };
  // Each frame records the entry it came from and when that was taken.
  auto writeFrame = [&](const FrameBuffer& composed, const std::string& source, const std::string& time) {
    const void* data = composed.pixels.get();
    LONG size = LONG(composed.size());
    DWORD flags = AVIIF_KEYFRAME;
    if (compressor.hic) {
      flags = 0;
      if (ICCompress(compressor.hic, 0, output, outputBuffer.get(), &input, composed.pixels.get(), nullptr, &flags,
                     result.framesWritten, 0, quality, nullptr, nullptr) != ICERR_OK) {
        host.MessageBox("Compression Failure", "ICCompress", MessageKind::Failure);
        return Outcome::Skipped;
      }
      data = outputBuffer.get();
      size = LONG(output->biSizeImage);
    }
    LONG samplesWritten = 0;
    LONG bytes = 0;
    SetLastError(0);
    hr = avi.write(stream.Get(), result.framesWritten, 1, data, size, flags, &samplesWritten, &bytes);
    if (hr != AVIERR_OK || samplesWritten != 1) {
      host.MessageBox(WithReason(hr, *path), "AVIStreamWrite", MessageKind::Failure);
      return Outcome::Failed;
    }
    // Only a position outside the stream fails, and this frame was just written.
    (void)avi.setFrameSource(stream.Get(), result.framesWritten, source.c_str(), time.c_str());
    host.FrameWritten(result.framesWritten, composed.header, composed.pixels.get());
    ++result.framesWritten;
    result.bytesWritten += bytes;
    return Outcome::Written;
  };

  bool stopped = false;
  {
    const std::vector<const std::atomic<bool>*> stopFlags = host.StopFlags();
    const kernel::DecodeStopScope decodeStop(stopFlags);
    const PrefetchPlan plan = PlanPrefetch(frame.size());
    FramePrefetcher prefetch(s.cols, s.rows, placement, plan.helpers, plan.lookahead, FramePrefetcher::kPictureBytes,
                             stopFlags, grey);
    for (int n = 0; n < host.EntryCount(); ++n) {
      if (host.StopRequested()) {
        stopped = true;
        break;
      }
      const std::string entry = host.EntryText(n);
      host.SelectEntry(n);
      const int count = host.EntryCount();
      host.Progress(n, count);
      if (isOutput(entry)) {
        host.MessageBox(entry + "\nIt is the AVI file being written.", "File Failed to Open", MessageKind::Failure);
        ++result.entriesSkipped;
        continue;
      }
      // The helpers load this entry (anew if its text changed since it was
      // asked for) and the next ones, while earlier frames are written. Take
      // tells whether they have it.
      (void)prefetch.Ask(n, entry);
      for (int k = n + 1; k < count && prefetch.CanAsk(); ++k) {
        if (prefetch.Asked(k)) continue;
        const std::string ahead = host.EntryText(k);
        if (!isOutput(ahead)) (void)prefetch.Ask(k, ahead);
      }

      std::optional<FramePrefetcher::Prepared> prepared = prefetch.Take(n, entry);
      const PrepareResult prepare = prepared ? prepared->result : prefetch.PrepareHere(entry, target, frame);
      // A stop request ends a decode in progress, which then reads as a
      // picture that failed to load: the entry was not taken, nor is it bad.
      if (prepare != PrepareResult::Composed && host.StopRequested()) {
        if (prepared) prefetch.Recycle(std::move(prepared->frame));
        stopped = true;
        break;
      }
      // The path first, then why, on a line of its own.
      if (prepare == PrepareResult::Unloadable)
        host.MessageBox(entry + "\n" + LoadFailureReason(entry.c_str()), "File Failed to Open", MessageKind::Failure);
      Outcome outcome = Outcome::Skipped;
      const std::string time = prepare == PrepareResult::Composed ? PictureCaptureTime(entry.c_str()) : std::string();
      // A held picture is one entry written as several frames.
      for (int k = 0; k < s.hold && prepare == PrepareResult::Composed && outcome != Outcome::Failed; ++k) {
        outcome = writeFrame(prepared ? prepared->frame : frame, entry, time);
        if (outcome == Outcome::Skipped) break;
      }
      if (prepared) prefetch.Recycle(std::move(prepared->frame));
      if (outcome == Outcome::Skipped) ++result.entriesSkipped;
      if (outcome == Outcome::Failed) return result;
    }
  }

  frame = FrameBuffer();
  if (compressor.hic && compressor.End() != ICERR_OK)
    host.MessageBox("Compression Finish Failure", "ICCompressEnd", MessageKind::Failure);
  outputBuffer.reset();
  SetLastError(0);
  const LONG streamResult = stream.Release();
  if (streamResult != 0) host.MessageBox(WithReason(streamResult, *path), "AVIStreamRelease", MessageKind::Failure);
  // The file is finished only by its last release; a failure there (a full
  // disk) must not be reported as a completed file.
  SetLastError(0);
  const LONG fileResult = file.Release();
  if (fileResult != 0) host.MessageBox(WithReason(fileResult, *path), "AVIFileRelease", MessageKind::Failure);
  ended.Now();
  if (streamResult != 0 || fileResult != 0) return result;

  char text[512];
  if (stopped)
    std::snprintf(text, sizeof text, "Stopped after %d frames.", result.framesWritten);
  else
    std::snprintf(text, sizeof text, "AVI File Write completed.\nWrote %" PRId64 " bytes to file %s.",
                  result.bytesWritten, aviName.c_str());
  host.MessageBox(text, "AVI File Written", MessageKind::Completion);
  result.outcome = stopped ? MakeAviOutcome::Stopped : MakeAviOutcome::Completed;
  return result;
}

}  // namespace avi_build
