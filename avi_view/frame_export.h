// Saving drawn frames as JPEG files named after their index, in the
// process's current folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdiplus.h"
#include "platform/kernel/work_queue.h"
#include "platform/wintypes.h"

namespace avi_view {

// The position of the first image encoder whose MIME type equals mimeType,
// its class id copied into *clsid; -1 (clsid untouched) when there is none
// or the list cannot be had.
[[nodiscard]] int FindEncoderByMime(const WCHAR* mimeType, CLSID* clsid);

// The code page that turns the 8-bit export name into UTF-16; chosen once
// per process. Any thread may call it.
UINT ConversionCodePage();

// "Save%04d.jpg" of the index.
std::string ExportFileName(std::int32_t index);

// Export names after the frames' sources: sources[i] is the source path of
// frame first + i (empty when the file records none). NAME.jpg for the
// source's file name without its extension; NAME-NNNN.jpg (the frame's
// index) for each frame whose NAME another frame of the list shares;
// ExportFileName(index) for a frame without a source. No two names are
// the same.
std::vector<std::string> SourceExportNames(const std::vector<std::string>& sources, std::int32_t first);

// How one frame's save went.
struct ExportResult {
  std::int32_t index = 0;
  std::string name;  // the file's name, when not ExportFileName(index)
  GpStatus status = Ok;
  DWORD error = 0;  // the OS error (errno) behind a failed write, 0 when none
};

// "Save0284.jpg: No space left on device": the file and why it was not
// written. For a failed result. A failed save leaves no file of that name
// behind, unless an old one was there and could not be touched.
std::string ExportFailureText(const ExportResult& result);

// The export step run beside the playback: each decoded frame (a packed DIB:
// 40-byte header, then the pixels) is copied at once (the decoder reuses its
// buffer) and saved as ExportFileName(index) on a helper thread, in the order
// pushed, so a frame drawn twice is saved twice in turn. A few
// frames at most wait. Push and Drain are called from one thread (the
// owner's).
class ExportQueue {
 public:
  // Called on the helper thread for each save that failed.
  using FailureFn = std::function<void(const ExportResult&)>;

  explicit ExportQueue(const CLSID& encoder, FailureFn onFailure = {});
  // Saves whatever is still queued, then ends the helper.
  ~ExportQueue();
  ExportQueue(const ExportQueue&) = delete;
  ExportQueue& operator=(const ExportQueue&) = delete;

  // Queues the frame's save; waits while the queue is full. False when the
  // frame could not be copied (nothing is queued). name: the file's name,
  // when not ExportFileName(index).
  [[nodiscard]] bool Push(const void* frame, std::int32_t index, std::string name = {});
  // Returns once every queued frame has been saved or has failed.
  void Drain();
  // Frames saved so far.
  int Saved() const { return m_saved.load(); }

 private:
  void Save(GpBitmap* bitmap, std::int32_t index, const std::string& name);

  CLSID m_encoder;
  FailureFn m_onFailure;
  std::atomic<int> m_saved{0};
  kernel::WorkQueue m_queue;  // last: its helper ends before the members it uses
};

}  // namespace avi_view
