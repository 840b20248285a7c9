// Frame decoders: AVIStreamGetFrameOpen, AVIStreamGetFrame (and its shared
// form) and AVIStreamGetFrameClose, written on the public stream-reading
// functions.
// Opening a stream chooses its frame source once: uncompressed samples are
// converted by our own code, Motion JPEG goes through libjpeg-turbo where it
// can, the rest through libavcodec. Around the source, NearbyFrames serves
// steps back from memory and decodes ahead on a second lane.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/codec/dib_image.h"
#include "platform/codec/jpeg_source.h"
#include "platform/codec/libav_source.h"
#include "platform/codec/nearby_frames.h"
#include "platform/codec/picture_cache.h"
#include "platform/codec/raw_source.h"
#include "platform/codec/stream_samples.h"
#include "platform/dib/layout.h"
#include "platform/vfw.h"

struct AviGetFrame {
  // Pictures made, those callers hold included: one more than a caller may
  // hold at once.
  static constexpr std::size_t kMaxDibs = AVISTREAMGETFRAME_MAXHELD + 1;

  AviGetFrame(PAVISTREAM stream, LONG length, codec::DibImage::Layout layout)
      : samples(stream, length), layout(layout) {}

  codec::StreamSamples samples;
  codec::DibImage::Layout layout;
  // The frame buffers: each is written only while no caller holds it
  // (AVIStreamGetFrameShared), so a held frame stays as it was made.
  std::vector<std::shared_ptr<codec::DibImage>> dibs;
  std::size_t current = 0;  // the one written last, which holds `shown`
  LONG shown = -1;          // the sample whose picture dibs[current] holds
  LONG lastWanted = -1;     // the picture sample asked for last
  std::unique_ptr<codec::NearbyFrames> frames;
};

namespace {

// Null when no source decodes the stream, or its pictures exceed the frame
// buffer's cap.
[[nodiscard]] std::unique_ptr<codec::FrameSource> OpenSource(codec::StreamSamples& samples, std::vector<std::uint8_t> format) {
  if (auto raw = codec::RawSource::Open(samples, format.data(), format.size())) return raw;
  auto libav = codec::LibavSource::Open(samples, std::move(format));
  if (!libav) return nullptr;
  if (codec::JpegSource::Takes(*libav)) return std::make_unique<codec::JpegSource>(samples, std::move(libav));
  return libav;
}

// The layout lpbiWanted asks for: BI_RGB, 24 bits bottom-up or 32 bits
// top-down; false for any other.
bool WantedLayout(const BITMAPINFOHEADER* wanted, codec::DibImage::Layout* layout) {
  *layout = codec::DibImage::Layout::kBgr24BottomUp;
  if (!wanted || wanted == AVIGETFRAMEF_BESTDISPLAYFMT) return true;
  if (wanted->biCompression != BI_RGB) return false;
  if (wanted->biBitCount == 24 && wanted->biHeight >= 0) return true;
  if (wanted->biBitCount != 32 || wanted->biHeight > 0) return false;
  *layout = codec::DibImage::Layout::kBgrx32TopDown;
  return true;
}

// A size of 0 takes the stream's own; any other must be it (no scaling).
bool WantedSize(const BITMAPINFOHEADER* wanted, const codec::FrameSource& source) {
  if (!wanted || wanted == AVIGETFRAMEF_BESTDISPLAYFMT) return true;
  const std::int64_t height = wanted->biHeight < 0 ? -std::int64_t{wanted->biHeight} : wanted->biHeight;
  return (wanted->biWidth == 0 || wanted->biWidth == source.width()) && (height == 0 || height == source.height());
}

}  // namespace

PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM pavi, LPBITMAPINFOHEADER lpbiWanted) {
  codec::DibImage::Layout layout;
  if (!pavi || !WantedLayout(lpbiWanted, &layout)) return nullptr;
  AVISTREAMINFOA info{};
  if (AVIStreamInfoA(pavi, &info, sizeof info) != AVIERR_OK || info.fccType != streamtypeVIDEO) return nullptr;
  LONG formatSize = 0;
  if (AVIStreamReadFormat(pavi, 0, nullptr, &formatSize) != AVIERR_OK || formatSize < 40 ||
      static_cast<std::size_t>(formatSize) > dib::kMaxFormatBytes)
    return nullptr;
  std::vector<std::uint8_t> format(static_cast<std::size_t>(formatSize));
  if (AVIStreamReadFormat(pavi, 0, format.data(), &formatSize) != AVIERR_OK || formatSize < 40) return nullptr;
  format.resize(static_cast<std::size_t>(formatSize));
  const LONG length = AVIStreamLength(pavi);
  if (length < 0) return nullptr;

  auto pg = std::make_unique<AviGetFrame>(pavi, length, layout);
  // The picture buffer comes with the first picture: a stream whose samples
  // make none never allocates one.
  std::unique_ptr<codec::FrameSource> source = OpenSource(pg->samples, std::move(format));
  if (!source || !WantedSize(lpbiWanted, *source)) return nullptr;
  pg->frames = std::make_unique<codec::NearbyFrames>(std::move(source), length, layout);
  return pg.release();
}

namespace {

// Held by a caller: not only by the list.
bool Held(const std::shared_ptr<codec::DibImage>& d) { return d.use_count() != 1; }

// Makes a buffer no caller holds the current one, the last one written
// first; a new one while fewer than kMaxDibs exist; null when callers hold
// them all.
codec::DibImage* FreeDib(PGETFRAME pg) {
  std::size_t pick = pg->current;
  if (pick >= pg->dibs.size() || Held(pg->dibs[pick])) {
    pick = 0;
    while (pick < pg->dibs.size() && Held(pg->dibs[pick])) ++pick;
    if (pick == pg->dibs.size()) {
      if (pick >= AviGetFrame::kMaxDibs) return nullptr;
      pg->dibs.push_back(std::make_shared<codec::DibImage>(pg->layout));
    }
  }
  // Whoever let go of it last is done with its pixels.
  std::atomic_thread_fence(std::memory_order_acquire);
  pg->current = pick;
  return pg->dibs[pick].get();
}

// The picture of frame lPos in the current buffer, or false.
bool Decode(PGETFRAME pg, LONG lPos) {
  if (!pg || lPos < 0 || lPos >= pg->samples.length()) return false;
  const LONG s = pg->samples.PictureSample(lPos);
  if (s < 0) return false;
  if (s == pg->shown) return true;
  pg->shown = -1;
  codec::DibImage* out = FreeDib(pg);
  if (!out) return false;
  const bool backward = s < pg->lastWanted;
  pg->lastWanted = s;
  pg->shown = pg->frames->Show(s, backward, *out);
  return pg->shown == s;
}

}  // namespace

void* AVIStreamGetFrame(PGETFRAME pg, LONG lPos) {
  return Decode(pg, lPos) ? pg->dibs[pg->current]->header() : nullptr;
}

std::shared_ptr<const BITMAPINFOHEADER> AVIStreamGetFrameShared(PGETFRAME pg, LONG lPos) {
  if (!pg) return nullptr;
  // The buffer left free keeps the plain call working.
  std::size_t held = 0;
  for (const auto& d : pg->dibs) held += Held(d);
  if (held >= AVISTREAMGETFRAME_MAXHELD || !Decode(pg, lPos)) return nullptr;
  const std::shared_ptr<codec::DibImage>& dib = pg->dibs[pg->current];
  return std::shared_ptr<const BITMAPINFOHEADER>(dib, dib->header());
}

codec::PictureCache* codec::FrameDecoderCache(PGETFRAME pg) { return pg ? pg->frames->kept() : nullptr; }

HRESULT AVIStreamGetFrameClose(PGETFRAME pg) {
  if (!pg) return AVIERR_BADHANDLE;
  delete pg;
  return AVIERR_OK;
}
