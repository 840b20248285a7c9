// The Make-AVI job: one video frame per list entry, in list order, each
// picture composed into a cols × rows frame, compressed by the chosen
// compressor (or stored uncompressed) and appended to one video stream.
// The job is written once over MakeAviHost; the dialog, the command line
// and the tests each provide a host.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "picture/load_picture.h"
#include "platform/vfw.h"

namespace avi_build {

struct MakeAviSettings {
  std::int32_t cols = 1280;
  std::int32_t rows = 1024;
  std::uint32_t fps = 10;  // frames per fpsScale seconds (dwRate)
  std::int32_t clip = 0;
  std::uint32_t fpsScale = 1;  // dwScale: 1001 with fps 30000 is 29.97
  std::int32_t fit = 0;        // 1: pictures fitted with their proportions (clip is then 0)
  GreyRange grey;              // how 16-bit grey becomes 8 bits
  bool greyAuto = false;       // grey taken from the whole list before the first frame
  std::int32_t hold = 1;       // frames written for each picture
};

// Largest frame side the job accepts.
constexpr std::int32_t kMaxFrameSide = 16384;
// Most frames one picture may be held for.
constexpr std::int32_t kMaxHold = 10000;

// Empty when the settings can make a file; otherwise the sentence telling the
// user what is wrong.
[[nodiscard]] std::string CheckFrameSettings(const MakeAviSettings& settings);

// What a message the job shows is: a completion (the file was finished, all
// of it or as far as a stop request let it go) or a failure (of the job or of
// one entry). Hosts that treat the two apart read this, never the caption.
enum class MessageKind { Failure, Completion };

// What the job needs from its surroundings. The job calls it from its own
// thread; each call returns when its work is done (a message box when the
// user has answered it).
class MakeAviHost {
 public:
  virtual ~MakeAviHost() = default;
  // The number of entries now, and entry n's text (a picture path).
  virtual int EntryCount() = 0;
  virtual std::string EntryText(int n) = 0;
  // Every entry's text at once; a host that reaches its list at a cost per
  // call answers in one.
  virtual std::vector<std::string> EntryTexts();
  // Deselects entry n - 1 (when n > 0), selects entry n and scrolls it to the
  // top of the list.
  virtual void SelectEntry(int n) = 0;
  // A box with an OK button that holds the job until answered.
  virtual void MessageBox(const std::string& text, const std::string& caption, MessageKind kind) = 0;
  // The compressor choice as ICCompressorChoose makes it (TRUE with
  // compvars->hic set or 0 for uncompressed; FALSE when cancelled).
  virtual BOOL ChooseCompressor(const BITMAPINFOHEADER& input, COMPVARS* compvars, const char* title);
  // The full path chosen to save under, or nothing when cancelled.
  virtual std::optional<std::string> SaveName() = 0;
  // Whether SaveName is asked again after a name the job refuses (one of
  // the pictures, or not a regular file); otherwise the job ends there.
  virtual bool AsksSaveNameAgain() { return false; }
  // The bare file name (with extension, no folder) of the file being made.
  virtual void SetAviName(const std::string& name) = 0;
  // Entry n of count is being written; count 0: the job has ended.
  virtual void Progress(int n, int count) { (void)n, (void)count; }
  // Frame n, as composed (before compression), has been written: a
  // bottom-up 24-bit DIB of header's size at pixels, valid during the call.
  virtual void FrameWritten(int n, const BITMAPINFOHEADER& header, const std::uint8_t* pixels) {
    (void)n, (void)header, (void)pixels;
  }
  // True once the job should stop after the frame it is writing and finish
  // its file (the user cancelled it, the dialog is closing, a signal came).
  virtual bool StopRequested() { return false; }
  // The flags behind StopRequested, read from any thread: setting one ends
  // a picture decode in progress, on the job's thread and its helpers.
  virtual std::vector<const std::atomic<bool>*> StopFlags() { return {}; }
};

// A function of the table below, called as the one it holds. A plain
// function pointer would lose the [[nodiscard]] of the AVI functions; this
// keeps it.
template <typename Pointer>
class AviFunction;
template <typename R, typename... Args>
class AviFunction<R (*)(Args...)> {
 public:
  // Implicit, so that a test assigns its own function.
  AviFunction(R (*function)(Args...)) : m_function(function) {}
  [[nodiscard]] R operator()(Args... args) const { return m_function(args...); }

 private:
  R (*m_function)(Args...);
};

// The AVI functions the job calls. Tests replace some of them to reach
// failures a real file never gives.
struct AviWriteFunctions {
  AviFunction<decltype(&AVIFileOpenA)> fileOpen = &AVIFileOpenA;
  AviFunction<decltype(&AVIFileCreateStreamA)> createStream = &AVIFileCreateStreamA;
  AviFunction<decltype(&AVIStreamSetFormat)> setFormat = &AVIStreamSetFormat;
  AviFunction<decltype(&AVIStreamWrite)> write = &AVIStreamWrite;
  AviFunction<decltype(&AVIStreamSetFrameSource)> setFrameSource = &AVIStreamSetFrameSource;
  AviFunction<decltype(&AVIStreamRelease)> streamRelease = &AVIStreamRelease;
  AviFunction<decltype(&AVIFileRelease)> fileRelease = &AVIFileRelease;
};

enum class MakeAviOutcome {
  Completed,  // every entry was taken and the file finished
  Stopped,    // a stop request ended the job early; the file was finished
  Cancelled,  // the compressor choice or the save name was cancelled: no file
  Failed,     // set-up, a write or finishing the file failed
};

struct MakeAviResult {
  MakeAviOutcome outcome = MakeAviOutcome::Failed;
  int framesWritten = 0;
  int entriesSkipped = 0;  // unloadable, not composed or not compressed
  std::int64_t bytesWritten = 0;
};

// Runs the job. Every failure has been shown through the host by the time it
// returns; the result says how the job ended without reading the messages.
[[nodiscard]] MakeAviResult MakeAviJob(MakeAviHost& host, const MakeAviSettings& settings,
                                       const AviWriteFunctions& avi = {});

}  // namespace avi_build
