// stillweaver-cli make: the Make-AVI job with a terminal for its host.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>

#include "avi_build/frame_compose.h"
#include "avi_build/frame_rate.h"
#include "avi_build/make_avi.h"
#include "avi_view/verify_avi.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "platform/codec/compressor_choice.h"
#include "platform/picture_probe.h"
#include "ui/capture_order.h"
#include "ui/natural_order.h"

namespace cli {
namespace {

// The stop signal received (SIGINT, SIGTERM), 0 before any; and the flag
// that ends a picture decode in progress.
std::atomic<int> g_stopSignal{0};
std::atomic<bool> g_stopDecode{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "set from a signal handler");

extern "C" void OnStopSignal(int signal) {
  g_stopSignal.store(signal);
  g_stopDecode.store(true);
}

// Interrupting the job stops it after the frame it is writing, like closing
// the dialog, so the file keeps its index. A second signal acts at once.
void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

class TerminalMakeAviHost final : public avi_build::MakeAviHost {
 public:
  TerminalMakeAviHost(std::vector<std::string> pictures, std::string output)
      : m_pictures(std::move(pictures)), m_output(std::move(output)), m_showProgress(isatty(STDERR_FILENO) != 0) {}

  int EntryCount() override { return int(m_pictures.size()); }
  std::string EntryText(int n) override { return m_pictures[std::size_t(n)]; }
  void SelectEntry(int) override {}
  // Collects the composed frames' MD5s for --verify.
  void HashFrames() { m_hashFrames = true; }
  const std::vector<std::string>& FrameMd5s() const { return m_md5s; }
  void FrameWritten(int, const BITMAPINFOHEADER& header, const std::uint8_t* pixels) override {
    if (m_hashFrames) m_md5s.push_back(avi_view::FrameMd5(header, pixels));
  }
  void MessageBox(const std::string& text, const std::string& caption, avi_build::MessageKind kind) override {
    ClearProgress();
    if (kind == avi_build::MessageKind::Completion)
      std::printf("%s\n", text.c_str());
    else
      ReportError(caption, text);
  }
  std::optional<std::string> SaveName() override { return m_output; }
  void SetAviName(const std::string&) override {}
  bool StopRequested() override { return g_stopSignal.load() != 0; }
  std::vector<const std::atomic<bool>*> StopFlags() override { return {&g_stopDecode}; }
  void Progress(int n, int count) override {
    if (!m_showProgress) return;
    if (count <= 0) return ClearProgress();
    const int width = 40;
    const int done = (n + 1) * width / count;
    std::fprintf(stderr, "\r[%s%s] %d/%d", std::string(std::size_t(done), '#').c_str(),
                 std::string(std::size_t(width - done), ' ').c_str(), n + 1, count);
    std::fflush(stderr);
    m_progressShown = true;
  }

 private:
  void ClearProgress() {
    if (!m_progressShown) return;
    std::fprintf(stderr, "\r%60s\r", "");
    m_progressShown = false;
  }

  std::vector<std::string> m_pictures;
  std::string m_output;
  bool m_showProgress;
  bool m_progressShown = false;
  bool m_hashFrames = false;
  std::vector<std::string> m_md5s;
};

// Reads the finished file back; 0 when it holds what was written, 1 with
// what differs on stderr otherwise.
int Verify(const std::string& output, int frames, const std::vector<std::string>& md5s) {
  const avi_view::Verification verification = avi_view::VerifyAvi(output, frames, md5s);
  if (verification.ok) {
    std::fputs(verification.text.c_str(), stdout);
    return 0;
  }
  std::istringstream lines(verification.text);
  for (std::string line; std::getline(lines, line);) ReportError("Verify", line);
  return 1;
}

}  // namespace

const char kMakeHelp[] =
    "usage: stillweaver-cli make [OPTIONS] -o OUT.avi [PICTURE...]\n"
    "\n"
    "Makes an AVI with one frame for each picture (JPEG, BMP, PNG, GIF, TIFF),\n"
    "in the order given; pictures that cannot be read are skipped.\n"
    "\n"
    "  -o OUT.avi      the AVI to write (required)\n"
    "  --cols N|auto   frame width in pixels, 1 to 16384 (default 1280); auto:\n"
    "                  the first picture's width, upright\n"
    "  --rows N|auto   frame height in pixels, 1 to 16384 (default 1024); auto:\n"
    "                  the first picture's height, upright\n"
    "  --fps RATE      frames a second: 25, 29.97, 30000/1001, 0.5 (default 10)\n"
    "  --hold N        write each picture as N frames (default 1)\n"
    "  --clip          centre each picture on a black frame or cut it to its\n"
    "                  middle, instead of stretching it to the frame\n"
    "  --fit           scale each picture to fit the frame with its proportions\n"
    "                  kept, centred on black\n"
    "  --range R       how 16-bit grey becomes 8 bits: 10, 12, 14 or 16 bits\n"
    "                  (default 10), LO:HI, or auto for one range over all\n"
    "                  pictures (their 0.1 to 99.9 percentiles)\n"
    "  --codec FOURCC  the compressor (see stillweaver-cli codecs), or none for\n"
    "                  uncompressed frames (default none)\n"
    "  --quality Q     the compressor's quality, 0 to 100 (default 85)\n"
    "  --keyint N      a key frame every N frames (default: one a second)\n"
    "                  codecs says which compressor takes which\n"
    "  --sort ORDER    put the whole list in order before writing: name (natural\n"
    "                  order, img2 before img10) or time (capture time, EXIF\n"
    "                  DateTimeOriginal else the file's time; ties by name)\n"
    "  --list FILE     read further picture paths from FILE, one a line\n"
    "                  (- for standard input)\n"
    "  --verify        read the finished file back: its index and frame count,\n"
    "                  and when uncompressed, FFV1 or HFYU, every frame's MD5\n"
    "                  against the frame composed; prints Verified N frames.\n"
    "                  or what differs (exit status 1)\n"
    "\n"
    "Exit status: 0 done, 1 failed or not verified, 2 usage error, 3 entries skipped or no\n"
    "frames written, 130 or 143 stopped by Ctrl+C or SIGTERM (the file is\n"
    "finished with the frames written).\n";

int CmdMake(const Args& args) {
  avi_build::MakeAviSettings settings;
  std::string output, codec = "none", listFile, fps, cols, rows, range, sort;
  std::vector<std::string> pictures;
  bool verify = false;
  constexpr std::int32_t kNotGiven = INT32_MIN;
  std::int32_t quality = kNotGiven, keyInterval = kNotGiven;
  OptionParser parser(args);
  while (parser.More()) {
    if (parser.Int("--quality", &quality) || parser.Int("--keyint", &keyInterval)) continue;
    if (parser.Text("--cols", &cols) || parser.Text("--rows", &rows) || parser.Text("--range", &range) || parser.Text("--sort", &sort) ||
        parser.Int("--hold", &settings.hold) || parser.Text("--fps", &fps) || parser.Text("--codec", &codec) || parser.Text("--list", &listFile) ||
        parser.Text("-o", &output))
      continue;
    if (parser.Flag("--verify")) {
      verify = true;
      continue;
    }
    if (parser.Flag("--clip")) {
      settings.clip = 1;
      continue;
    }
    if (parser.Flag("--fit")) {
      settings.fit = 1;
      continue;
    }
    if (parser.Failed()) return UsageError(parser.Error());
    pictures.push_back(parser.Positional());
  }
  if (parser.Failed()) return UsageError(parser.Error());
  if (output.empty()) return UsageError("make needs -o OUT.avi");
  if (settings.clip && settings.fit) return UsageError("--clip and --fit exclude each other");
  if (!range.empty() && range != "auto" && !ParseGreyRange(range, &settings.grey))
    return UsageError("--range takes 10, 12, 14, 16, auto or LO:HI (0 <= LO < HI <= 65535), not '" + range + "'");
  settings.greyAuto = range == "auto";
  if (!sort.empty() && sort != "name" && sort != "time") return UsageError("--sort takes name or time, not '" + sort + "'");
  if (!fps.empty()) {
    avi_build::FrameRate rate;
    if (!avi_build::ParseFrameRate(fps, &rate)) return UsageError("--fps takes a positive number or fraction, not '" + fps + "'");
    settings.fps = rate.rate, settings.fpsScale = rate.scale;
  }

  FOURCC fourcc = 0;
  if (!codec::ParseCompressorName(codec, &fourcc)) return UsageError("unknown codec '" + codec + "'");
  if (!listFile.empty() && !ReadList(listFile, &pictures)) {
    ReportError("Error", "cannot read the list " + listFile);
    return 1;
  }

  if (!sort.empty()) {
    const std::vector<std::size_t> order = sort == "name" ? ui::NaturalOrder(pictures) : ui::CaptureOrder(pictures);
    std::vector<std::string> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : order) sorted.push_back(std::move(pictures[i]));
    pictures = std::move(sorted);
  }

  // "auto": the first picture's size as it is seen, upright.
  for (auto [text, side, isCols] : {std::tuple{&cols, &settings.cols, true}, std::tuple{&rows, &settings.rows, false}}) {
    if (text->empty()) continue;
    if (*text != "auto") {
      char* end = nullptr;
      const long value = std::strtol(text->c_str(), &end, 10);
      if (*end != '\0' || value < INT32_MIN || value > INT32_MAX)
        return UsageError(std::string(isCols ? "--cols" : "--rows") + " takes a number or auto, not '" + *text + "'");
      *side = std::int32_t(value);
      continue;
    }
    PictureProbe probe;
    if (pictures.empty() || !ProbePictureFile(pictures.front().c_str(), &probe))
      return UsageError(std::string(isCols ? "--cols" : "--rows") + " auto needs a first picture whose size can be read");
    *side = std::int32_t(std::min<std::int64_t>(isCols ? probe.UprightWidth() : probe.UprightHeight(), INT32_MAX));
  }
  const std::string problem = avi_build::CheckFrameSettings(settings);
  if (!problem.empty()) return UsageError(problem);

  const BITMAPINFOHEADER frame = avi_build::FrameHeader(settings.cols, settings.rows);
  const std::vector<CompressorChoice> offered = codec::OfferedCompressors(&frame);
  const CompressorChoice* choice = codec::FindChoice(offered, fourcc);
  if (!choice) return UsageError("unknown codec '" + codec + "' (see stillweaver-cli codecs)");
  // A size the compressor cannot write is refused before anything is made.
  if (!choice->declined.empty()) return UsageError(choice->declined);
  CompressorSettings chosen;
  if (quality != kNotGiven) {
    if (!choice->hasQuality) return UsageError(codec + " takes no --quality (see stillweaver-cli codecs)");
    if (quality < 0 || quality > 100) return UsageError("--quality needs a number from 0 to 100");
    chosen.quality = quality;
  }
  if (keyInterval != kNotGiven) {
    if (!choice->hasKeyInterval) return UsageError(codec + " takes no --keyint (see stillweaver-cli codecs)");
    if (keyInterval < 1) return UsageError("--keyint needs a number of frames, 1 or more");
    chosen.keyInterval = keyInterval;
  }
  // The options answer the job's compressor choice.
  ICSetCompressorChooser(codec::ChooserPicking(fourcc, chosen));

  TerminalMakeAviHost host(std::move(pictures), output);
  if (verify && avi_view::KeepsEveryPixel(fourcc)) host.HashFrames();
  CatchStopSignals();
  const avi_build::MakeAviResult result = avi_build::MakeAviJob(host, settings);
  // A file with no frames has nothing to read back; make says so by its exit.
  const bool readBack = verify && result.framesWritten > 0;
  switch (result.outcome) {
    case avi_build::MakeAviOutcome::Completed:
      if (readBack && Verify(output, result.framesWritten, host.FrameMd5s()) != 0) return 1;
      return result.entriesSkipped > 0 || result.framesWritten == 0 ? kExitIncomplete : 0;
    case avi_build::MakeAviOutcome::Stopped:
      if (readBack && Verify(output, result.framesWritten, host.FrameMd5s()) != 0) return 1;
      return 128 + g_stopSignal.load();
    case avi_build::MakeAviOutcome::Cancelled:
      // The chooser answers --codec; it refuses only a frame the codec cannot take.
      ReportError("Error", codec + " does not take frames of " + std::to_string(settings.cols) + "x" +
                               std::to_string(settings.rows));
      return 1;
    case avi_build::MakeAviOutcome::Failed:
      break;
  }
  return 1;
}

}  // namespace cli
