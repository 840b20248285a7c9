#include "avi_view/frame_export.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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

std::vector<std::string> SourceExportNames(const std::vector<std::string>& sources, std::int32_t first) {
  std::vector<std::string> stems;
  std::unordered_map<std::string, int> uses;
  for (const std::string& source : sources) {
    stems.push_back(std::filesystem::path(source).stem().string());
    if (!stems.back().empty()) ++uses[stems.back()];
  }
  std::vector<std::string> names;
  std::unordered_set<std::string> taken;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const std::int32_t index = first + static_cast<std::int32_t>(i);
    char number[16];
    std::snprintf(number, sizeof number, "-%04d", index);
    const std::string& stem = stems[i];
    std::string name = stem.empty()         ? ExportFileName(index)
                       : uses[stem] > 1     ? stem + number + ".jpg"
                                            : stem + ".jpg";
    // A source named like another frame's numbered name ("img-0003") must
    // not overwrite it.
    for (int k = 2; !taken.insert(name).second; ++k)
      name = (stem.empty() ? "Save" : stem) + number + "-" + std::to_string(k) + ".jpg";
    names.push_back(std::move(name));
  }
  return names;
}

std::string ExportFailureText(const ExportResult& result) {
  std::string reason;
  if (result.error != 0)
    reason = std::strerror(int(result.error));
  else if (result.status == OutOfMemory)
    reason = "out of memory";
  else
    reason = "could not be saved (status " + std::to_string(int(result.status)) + ")";
  return (result.name.empty() ? ExportFileName(result.index) : result.name) + ": " + reason;
}

namespace {

struct BitmapDisposer {
  void operator()(GpBitmap* bitmap) const { (void)GdipDisposeImage(AsImage(bitmap)); }
};
using BitmapPtr = std::unique_ptr<GpBitmap, BitmapDisposer>;

// Step 1 of the export: a bitmap of the frame, holding its own copy.
BitmapPtr CopyFrame(const void* frame) {
  const auto* info = static_cast<const BITMAPINFO*>(frame);
  void* pixels = const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(frame) + sizeof(BITMAPINFOHEADER));
  GpBitmap* bitmap = nullptr;
  return BitmapPtr(GdipCreateBitmapFromGdiDib(info, pixels, &bitmap) == Ok ? bitmap : nullptr);
}

// Steps 2 to 4: name, convert, save (the bitmap's owner disposes of it).
ExportResult SaveFrame(GpBitmap* bitmap, std::int32_t index, const std::string& given, const CLSID& encoder) {
  ExportResult result;
  result.index = index;
  result.name = given;
  const std::string name = given.empty() ? ExportFileName(index) : given;
  const int length = MultiByteToWideChar(ConversionCodePage(), 0, name.c_str(), -1, nullptr, 0);
  std::vector<WCHAR> wide(std::size_t(length > 0 ? length : 1), 0);
  if (length <= 0 || MultiByteToWideChar(ConversionCodePage(), 0, name.c_str(), -1, wide.data(), length) <= 0) {
    result.status = InvalidParameter;
    return result;
  }
  SetLastError(0);
  result.status = GdipSaveImageToFile(AsImage(bitmap), wide.data(), &encoder, nullptr);
  if (result.status == Win32Error) result.error = GetLastError();
  return result;
}

// Frames copied but not yet saved: enough to keep the helper busy while the
// loop decodes the next frame, few enough to bound the memory.
constexpr std::size_t kQueueDepth = 2;

}  // namespace

ExportQueue::ExportQueue(const CLSID& encoder, FailureFn onFailure)
    : m_encoder(encoder), m_onFailure(std::move(onFailure)), m_queue(1, kQueueDepth) {}

ExportQueue::~ExportQueue() { m_queue.WaitAll(); }

void ExportQueue::Save(GpBitmap* bitmap, std::int32_t index, const std::string& name) {
  const ExportResult result = SaveFrame(bitmap, index, name, m_encoder);
  if (result.status == Ok)
    ++m_saved;
  else if (m_onFailure)
    m_onFailure(result);
}

bool ExportQueue::Push(const void* frame, std::int32_t index, std::string name) {
  // The unit owns the copy, so one dropped unsaved still frees it.
  std::shared_ptr<GpBitmap> bitmap = CopyFrame(frame);
  if (!bitmap) return false;
  const kernel::WorkQueue::Ticket ticket =
      m_queue.Post([this, bitmap, index, name](const std::atomic<bool>& aborted) {
        if (!aborted) Save(bitmap.get(), index, name);
      });
  if (ticket == 0) Save(bitmap.get(), index, name);  // no helper could be started: save here
  return true;
}

void ExportQueue::Drain() { m_queue.WaitAll(); }

}  // namespace avi_view
