#include "avi_view/frame_export.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "platform/gdiplus.h"
#include "platform/kernel.h"

namespace avi_view {

int FindEncoderByMime(const WCHAR* mimeType, CLSID* clsid) {
  UINT count = 0;
  UINT size = 0;
  (void)GdipGetImageEncodersSize(&count, &size);  // a failure leaves size 0
  if (size == 0) return -1;
  // ImageCodecInfo records followed by their strings, in one block.
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[size]);
  if (!block) return -1;
  auto* encoders = reinterpret_cast<ImageCodecInfo*>(block.get());
  (void)GdipGetImageEncoders(count, size, encoders);
  for (UINT i = 0; i < count; ++i) {
    const WCHAR* a = encoders[i].MimeType;
    const WCHAR* b = mimeType;
    if (!a) continue;
    while (*a && *a == *b) ++a, ++b;
    if (*a == *b) {
      *clsid = encoders[i].Clsid;
      return static_cast<int>(i);
    }
  }
  return -1;
}

UINT ConversionCodePage() {
  // Decided once: the calling thread's 8-bit code page, which on this system
  // is the locale's encoding (UTF-8).
  static std::atomic<UINT> chosen{0};
  UINT page = chosen.load();
  if (page == 0) {
    UINT expected = 0;
    chosen.compare_exchange_strong(expected, CP_THREAD_ACP);
    page = chosen.load();
  }
  return page;
}

std::string ExportFileName(std::int32_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "Save%04d.jpg", index);
  return name;
}

namespace {

// Steps 1 of the export: a bitmap of the frame, holding its own copy.
GpBitmap* CopyFrame(const void* frame) {
  const auto* info = static_cast<const BITMAPINFO*>(frame);
  void* pixels = const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(frame) + sizeof(BITMAPINFOHEADER));
  GpBitmap* bitmap = nullptr;
  return GdipCreateBitmapFromGdiDib(info, pixels, &bitmap) == Ok ? bitmap : nullptr;
}

// Steps 2 to 5: name, convert, save, dispose.
void SaveFrame(GpBitmap* bitmap, std::int32_t index, const CLSID& encoder) {
  const std::string name = ExportFileName(index);
  const int length = MultiByteToWideChar(ConversionCodePage(), 0, name.c_str(), -1, nullptr, 0);
  std::vector<WCHAR> wide(std::size_t(length > 0 ? length : 1), 0);
  if (length > 0 && MultiByteToWideChar(ConversionCodePage(), 0, name.c_str(), -1, wide.data(), length) > 0)
    (void)GdipSaveImageToFile(AsImage(bitmap), wide.data(), &encoder, nullptr);  // the export fails silently
  (void)GdipDisposeImage(AsImage(bitmap));
}

// Frames copied but not yet saved: enough to keep the worker busy while
// the loop decodes the next frame, few enough to bound the memory.
constexpr std::size_t kQueueDepth = 2;

}  // namespace

void ExportFrame(const void* frame, std::int32_t index, const CLSID& encoder) {
  if (GpBitmap* bitmap = CopyFrame(frame)) SaveFrame(bitmap, index, encoder);
}

ExportQueue::ExportQueue(const CLSID& encoder) : m_encoder(encoder), m_worker([this] { Work(); }) {}

ExportQueue::~ExportQueue() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ending = true;
  }
  m_changed.notify_all();
  m_worker.join();
}

void ExportQueue::Push(const void* frame, std::int32_t index) {
  GpBitmap* bitmap = CopyFrame(frame);
  if (!bitmap) return;
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [&] { return m_jobs.size() < kQueueDepth; });
  m_jobs.push_back({bitmap, index});
  m_changed.notify_all();
}

void ExportQueue::Drain() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [&] { return m_jobs.empty() && !m_busy; });
}

void ExportQueue::Work() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [&] { return !m_jobs.empty() || m_ending; });
    if (m_jobs.empty()) return;  // ending, and everything is saved
    const Job job = m_jobs.front();
    m_jobs.pop_front();
    m_busy = true;
    m_changed.notify_all();
    lock.unlock();
    SaveFrame(job.bitmap, job.index, m_encoder);
    lock.lock();
    m_busy = false;
    m_changed.notify_all();
  }
}

}  // namespace avi_view
