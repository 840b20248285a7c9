// The installable-compressor services: ICInfo, ICOpen, ICSendMessage,
// ICCompress, ICClose, and the chooser seam of ICCompressorChoose.
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/codec/compressor_table.h"
#include "platform/codec/video_encoder.h"
#include "platform/vfw.h"

// One open compressor. The encoder exists between ICM_COMPRESS_BEGIN and
// ICM_COMPRESS_END; ICM_COMPRESS_GET_FORMAT may open it early to learn the
// codec data, and BEGIN then keeps it.
struct Compressor {
  const codec::CompressorEntry* entry = nullptr;
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
  if (!hic->encoder) hic->encoder = codec::VideoEncoder::Open(*hic->entry, width, height);
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
      const auto scratch = codec::VideoEncoder::Open(*hic->entry, in->biWidth, HeightOf(in));
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
  const auto* in = static_cast<const BITMAPINFOHEADER*>(pvIn);
  std::vector<CompressorChoice> offered{{0, "Full Frames (Uncompressed)"}};
  for (const CompressorEntry* entry : codec::InstalledCompressors())
    if (!in || codec::QueryInput(*entry, in) == ICERR_OK) offered.push_back({entry->fcc, entry->description});
  // The chooser runs without the lock: it may show a dialog for a long time.
  const int chosen = chooser(hwnd, lpszTitle ? lpszTitle : "", offered);
  if (chosen < 0 || static_cast<std::size_t>(chosen) >= offered.size()) return FALSE;
  HIC hic = nullptr;
  if (chosen > 0) {
    hic = ICOpen(ICTYPE_VIDEO, offered[chosen].fccHandler, ICMODE_COMPRESS);
    if (!hic) return FALSE;
  }
  pc->hic = hic;
  pc->fccType = ICTYPE_VIDEO;
  pc->fccHandler = offered[chosen].fccHandler;
  return TRUE;
}
