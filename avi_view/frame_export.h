// Saving drawn frames as JPEG files named after their index, in the
// process's current folder.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/wintypes.h"

struct GpBitmap;

namespace avi_view {

// The position of the first image encoder whose MIME type equals mimeType,
// its class id copied into *clsid; -1 (clsid untouched) when there is none
// or the list cannot be had.
int FindEncoderByMime(const WCHAR* mimeType, CLSID* clsid);

// The code page that turns the 8-bit export name into UTF-16; chosen once
// per process. Any thread may call it.
UINT ConversionCodePage();

// "Save%04d.jpg" of the index.
std::string ExportFileName(std::int32_t index);

// Saves a decoded frame (a packed DIB: 40-byte header, then the pixels) as
// ExportFileName(index) with the encoder. Failures are silent: playback goes
// on.
void ExportFrame(const void* frame, std::int32_t index, const CLSID& encoder);

// The export step run beside the playback: each frame is copied at once (the
// decoder reuses its buffer) and encoded and saved on a worker thread, in the
// order pushed, so a frame drawn twice is saved twice in turn. A few frames
// at most wait. Push and Drain are called from one thread (the loop's).
class ExportQueue {
 public:
  explicit ExportQueue(const CLSID& encoder);
  // Saves whatever is still queued, then ends the worker.
  ~ExportQueue();
  ExportQueue(const ExportQueue&) = delete;
  ExportQueue& operator=(const ExportQueue&) = delete;

  // Queues the frame's export; waits while the queue is full.
  void Push(const void* frame, std::int32_t index);
  // Returns once every queued frame has been saved.
  void Drain();

 private:
  struct Job {
    GpBitmap* bitmap;  // the frame's copy, disposed once saved
    std::int32_t index;
  };
  void Work();

  CLSID m_encoder;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<Job> m_jobs;
  bool m_busy = false;
  bool m_ending = false;
  std::thread m_worker;
};

}  // namespace avi_view
