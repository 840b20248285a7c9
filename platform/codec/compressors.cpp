// The installable-compressor services: ICInfo, ICOpen, ICSendMessage,
// ICCompress, ICClose, and the chooser seam of ICCompressorChoose.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/codec/compressor_choice.h"
#include "platform/codec/compressor_table.h"
#include "platform/codec/video_encoder.h"
#include "platform/vfw.h"

extern "C" {
#include <libavutil/rational.h>
}

// One open compressor. The encoder exists between ICM_COMPRESS_BEGIN and
// ICM_COMPRESS_END; ICM_COMPRESS_GET_FORMAT may open it early to learn the
// codec data, and BEGIN then keeps it.
struct Compressor {
  const codec::CompressorEntry* entry = nullptr;
  codec::EncoderOptions options;  // from ICM_COMPRESS_FRAMES_INFO
  std::unique_ptr<codec::VideoEncoder> encoder;
  bool begun = false;
};

namespace {

using codec::CompressorEntry;

int HeightOf(const BITMAPINFOHEADER* bih) { return bih->biHeight < 0 ? -bih->biHeight : bih->biHeight; }

// The encoder for this input, opened when there is none yet for its size.
[[nodiscard]] codec::VideoEncoder* EncoderFor(Compressor* hic, const BITMAPINFOHEADER* in) {
  const int width = in->biWidth;
  const int height = HeightOf(in);
  if (hic->encoder && (hic->encoder->width() != width || hic->encoder->height() != height)) hic->encoder.reset();
  if (!hic->encoder) hic->encoder = codec::VideoEncoder::Open(*hic->entry, width, height, hic->options);
  return hic->encoder.get();
}

[[nodiscard]] LRESULT GetFormat(Compressor* hic, const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
  const LRESULT query = codec::QueryInput(*hic->entry, in);
  if (query != ICERR_OK) return query;
  std::vector<std::uint8_t> extradata;
  if (hic->entry->extradata) {
    const bool running = hic->begun && hic->encoder;
    if (running && (hic->encoder->width() != in->biWidth || hic->encoder->height() != HeightOf(in))) {
      // Another size while compressing: ask a scratch encoder.
      const auto scratch = codec::VideoEncoder::Open(*hic->entry, in->biWidth, HeightOf(in), hic->options);
      if (!scratch) return ICERR_INTERNAL;
      extradata = scratch->extradata();
    } else {
      const codec::VideoEncoder* enc = EncoderFor(hic, in);
      if (!enc) return ICERR_INTERNAL;
      extradata = enc->extradata();
    }
  }
  const LRESULT size = static_cast<LRESULT>(sizeof(BITMAPINFOHEADER) + extradata.size());
  if (!out) return size;
  BITMAPINFOHEADER bih{};
  bih.biSize = static_cast<DWORD>(size);  // the header and its codec data, as VfW codecs state it
  bih.biWidth = in->biWidth;
  bih.biHeight = HeightOf(in);
  bih.biPlanes = 1;
  bih.biBitCount = hic->entry->bitCount;
  bih.biCompression = hic->entry->fcc;
  bih.biSizeImage = static_cast<DWORD>(
      (static_cast<std::int64_t>(bih.biWidth) * bih.biHeight * bih.biBitCount + 7) / 8);
  std::memcpy(out, &bih, sizeof bih);
  if (!extradata.empty()) std::memcpy(reinterpret_cast<std::uint8_t*>(out) + sizeof bih, extradata.data(), extradata.size());
  return size;
}

bool OutputMatches(const CompressorEntry& entry, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
  return out && out->biWidth == in->biWidth && HeightOf(out) == HeightOf(in) &&
         codec::FindCompressor(out->biCompression) == &entry;
}

// The sequence's rate and key-frame interval; before BEGIN only.
[[nodiscard]] LRESULT FramesInfo(Compressor* hic, const ICCOMPRESSFRAMES* frames, DWORD_PTR size) {
  if (!frames || size < sizeof(ICCOMPRESSFRAMES)) return ICERR_BADPARAM;
  if (hic->begun) return ICERR_ERROR;
  codec::EncoderOptions options = hic->options;
  if (frames->dwRate > 0 && frames->dwScale > 0) {
    av_reduce(&options.rateNum, &options.rateDen, frames->dwRate, frames->dwScale, INT_MAX);
    options.rateNum = std::max(options.rateNum, 1);
    options.rateDen = std::max(options.rateDen, 1);
  }
  // Once a second of video by default: stepping or jumping anywhere then
  // decodes at most a second's frames.
  const std::int64_t perSecond = (std::int64_t{options.rateNum} + options.rateDen - 1) / options.rateDen;
  options.keyInterval = frames->lKeyRate > 0 ? int(frames->lKeyRate) : int(std::min<std::int64_t>(perSecond, INT_MAX));
  const bool changed = options.keyInterval != hic->options.keyInterval || options.rateNum != hic->options.rateNum ||
                       options.rateDen != hic->options.rateDen;
  hic->options = options;
  // An encoder opened early for the codec data of an intra-only codec stays:
  // the format already written holds its codec data.
  if (changed && hic->entry->keyFrames != codec::KeyFrames::kAll) hic->encoder.reset();
  return ICERR_OK;
}

std::mutex g_chooserMutex;
CompressorChooser g_chooser;

}  // namespace

BOOL ICInfo(DWORD fccType, DWORD i, ICINFO* lpicinfo) {
  if (!lpicinfo || (fccType != ICTYPE_VIDEO && fccType != 0)) return FALSE;
  const auto installed = codec::InstalledCompressors();
  if (i >= installed.size()) return FALSE;
  const CompressorEntry& entry = *installed[i];
  ICINFO info{};
  info.fccType = ICTYPE_VIDEO;
  info.fccHandler = entry.fcc;
  std::strncpy(info.szName, entry.name, sizeof info.szName - 1);
  std::strncpy(info.szDescription, entry.description, sizeof info.szDescription - 1);
  *lpicinfo = info;
  return TRUE;
}

HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT wMode) {
  if ((fccType != ICTYPE_VIDEO && fccType != 0) || wMode != ICMODE_COMPRESS) return nullptr;
  const CompressorEntry* entry = codec::FindCompressor(fccHandler);
  if (!entry) return nullptr;
  HIC hic = new Compressor;
  hic->entry = entry;
  return hic;
}

LRESULT ICClose(HIC hic) {
  if (!hic) return ICERR_BADPARAM;
  delete hic;
  return ICERR_OK;
}

LRESULT ICSendMessage(HIC hic, UINT msg, DWORD_PTR dw1, DWORD_PTR dw2) {
  if (!hic) return ICERR_BADPARAM;
  const auto* in = reinterpret_cast<const BITMAPINFOHEADER*>(dw1);
  auto* out = reinterpret_cast<BITMAPINFOHEADER*>(dw2);
  switch (msg) {
    case ICM_COMPRESS_QUERY:
      return codec::QueryInput(*hic->entry, in);
    case ICM_COMPRESS_GET_FORMAT:
      return GetFormat(hic, in, out);
    case ICM_COMPRESS_GET_SIZE: {
      const LRESULT query = codec::QueryInput(*hic->entry, in);
      if (query != ICERR_OK) return query;
      return static_cast<LRESULT>(codec::MaxFrameBytes(*hic->entry, in->biWidth, HeightOf(in)));
    }
    case ICM_COMPRESS_BEGIN: {
      const LRESULT query = codec::QueryInput(*hic->entry, in);
      if (query != ICERR_OK) return query;
      if (!OutputMatches(*hic->entry, in, out)) return ICERR_BADFORMAT;
      // A second BEGIN starts afresh, so its first frame is a key frame.
      if (hic->begun) hic->encoder.reset();
      hic->begun = false;
      if (!EncoderFor(hic, in)) return ICERR_INTERNAL;
      hic->begun = true;
      return ICERR_OK;
    }
    case ICM_COMPRESS_FRAMES_INFO:
      return FramesInfo(hic, reinterpret_cast<const ICCOMPRESSFRAMES*>(dw1), dw2);
    case ICM_COMPRESS_END:
      hic->encoder.reset();
      hic->begun = false;
      return ICERR_OK;
    default:
      return ICERR_UNSUPPORTED;
  }
}

DWORD ICCompress(HIC hic, DWORD /*dwFlags*/, LPBITMAPINFOHEADER lpbiOutput, void* lpData,
                 LPBITMAPINFOHEADER lpbiInput, void* lpBits, DWORD* /*lpckid*/, DWORD* lpdwFlags,
                 LONG /*lFrameNum*/, DWORD /*dwFrameSize*/, DWORD dwQuality, LPBITMAPINFOHEADER /*lpbiPrev*/,
                 void* /*lpPrev*/) {
  auto result = [](LRESULT r) { return static_cast<DWORD>(r); };
  if (!hic || !lpbiOutput || !lpData || !lpbiInput || !lpBits) return result(ICERR_BADPARAM);
  if (!hic->begun || !hic->encoder) return result(ICERR_ERROR);
  if (lpbiInput->biWidth != hic->encoder->width() || HeightOf(lpbiInput) != hic->encoder->height() ||
      codec::QueryInput(*hic->entry, lpbiInput) != ICERR_OK)
    return result(ICERR_BADFORMAT);
  codec::VideoEncoder::Packet packet;
  const LRESULT r = hic->encoder->Encode(static_cast<const std::uint8_t*>(lpBits), lpbiInput->biHeight > 0,
                                         dwQuality, &packet);
  if (r != ICERR_OK) return result(r);
  // The caller's buffer holds ICM_COMPRESS_GET_SIZE bytes; never go past it.
  if (static_cast<std::int64_t>(packet.size) > codec::MaxFrameBytes(*hic->entry, hic->encoder->width(), hic->encoder->height()))
    return result(ICERR_MEMORY);
  std::memcpy(lpData, packet.data, packet.size);
  lpbiOutput->biSizeImage = static_cast<DWORD>(packet.size);
  if (lpdwFlags) *lpdwFlags = packet.key ? AVIIF_KEYFRAME : 0;
  return result(ICERR_OK);
}

CompressorChooser ICSetCompressorChooser(CompressorChooser chooser) {
  std::lock_guard<std::mutex> lock(g_chooserMutex);
  std::swap(g_chooser, chooser);
  return chooser;
}

BOOL ICCompressorChoose(HWND hwnd, UINT /*uiFlags*/, void* pvIn, void* /*lpData*/, COMPVARS* pc,
                        const char* lpszTitle) {
  if (!pc || pc->cbSize != 64) return FALSE;
  CompressorChooser chooser;
  {
    std::lock_guard<std::mutex> lock(g_chooserMutex);
    chooser = g_chooser;
  }
  if (!chooser) return FALSE;
  const std::vector<CompressorChoice> offered = codec::OfferedCompressors(static_cast<const BITMAPINFOHEADER*>(pvIn));
  // The chooser runs without the lock: it may show a dialog for a long time.
  CompressorSettings settings;
  const int chosen = chooser(hwnd, lpszTitle ? lpszTitle : "", offered, settings);
  if (chosen < 0 || static_cast<std::size_t>(chosen) >= offered.size()) return FALSE;
  const CompressorChoice& choice = offered[std::size_t(chosen)];
  if (!choice.declined.empty()) return FALSE;
  HIC hic = nullptr;
  if (chosen > 0) {
    hic = ICOpen(ICTYPE_VIDEO, choice.fccHandler, ICMODE_COMPRESS);
    if (!hic) return FALSE;
  }
  pc->hic = hic;
  pc->fccType = ICTYPE_VIDEO;
  pc->fccHandler = choice.fccHandler;
  pc->lQ = choice.hasQuality ? std::clamp(settings.quality, 0, 100) * 100 : ICQUALITY_DEFAULT;
  pc->lKey = choice.hasKeyInterval ? std::max(settings.keyInterval, 0) : 0;
  return TRUE;
}
