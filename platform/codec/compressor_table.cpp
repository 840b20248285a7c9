#include "platform/codec/compressor_table.h"

#include <algorithm>
#include <climits>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace codec {

namespace {

constexpr CompressorEntry kCompressors[] = {
    // JPEG's own limit on a side is 65500 (libjpeg's JPEG_MAX_DIMENSION).
    {mmioFOURCC('M', 'J', 'P', 'G'), "MJPG", "Motion JPEG", nullptr, AV_PIX_FMT_YUVJ420P, 1, 1, 65500, 24, false,
     false, QualityControl::kQScale, KeyFrames::kAll, false, EncoderEngine::kLibjpeg},
    // 4:2:0 (High profile), which every player and hardware decoder takes.
    // Its frame cropping counts in 2-pixel steps, so a side must be even.
    {mmioFOURCC('H', '2', '6', '4'), "H264", "H.264 (x264)", "libx264", AV_PIX_FMT_YUV420P, 1, 2, 16384, 24, false,
     true, QualityControl::kCrf, KeyFrames::kGopSize, true},
    // The VOL header holds 13-bit sides.
    {mmioFOURCC('F', 'M', 'P', '4'), "FMP4", "MPEG-4 Part 2", "mpeg4", AV_PIX_FMT_YUV420P, 1, 1, 8191, 24, false, true,
     QualityControl::kQScale, KeyFrames::kGopSize, true},
    {mmioFOURCC('F', 'F', 'V', '1'), "FFV1", "FFV1 (lossless)", "ffv1", AV_PIX_FMT_0RGB32, 1, 1, 32768, 24, true, true,
     QualityControl::kNone, KeyFrames::kAll, false},
    {mmioFOURCC('H', 'F', 'Y', 'U'), "HFYU", "HuffYUV (lossless RGB)", "huffyuv", AV_PIX_FMT_RGB24, 1, 1, 32768, 24,
     true, false, QualityControl::kNone, KeyFrames::kAll, false},
    // Coded in 4x4 blocks; the decoder crops to the stream's size.
    {mmioFOURCC('c', 'v', 'i', 'd'), "cvid", "Cinepak", "cinepak", AV_PIX_FMT_RGB24, 4, 1, 65532, 24, false, false,
     QualityControl::kLambda, KeyFrames::kGopSize, false},
    // Also 4x4 blocks, but decoders stop at the last whole block: only
    // multiples of 4 decode completely.
    {mmioFOURCC('M', 'S', 'V', 'C'), "MSVC", "Microsoft Video 1", "msvideo1", AV_PIX_FMT_RGB555, 1, 4, 65532, 16, false,
     false, QualityControl::kNone, KeyFrames::kKeyintMin, false},
};

constexpr DWORD kDefaultQuality = 7500;

// Piecewise-linear map through (0, worst), (5000, mid), (8500, good), (10000, best).
double MapQuality(DWORD quality, double worst, double mid, double good, double best) {
  if (quality > 10000) quality = kDefaultQuality;
  const double q = quality;
  if (q <= 5000) return worst + (mid - worst) * q / 5000;
  if (q <= 8500) return mid + (good - mid) * (q - 5000) / 3500;
  return good + (best - good) * (q - 8500) / 1500;
}

int RoundUp(int v, int to) { return (v + to - 1) / to * to; }

}  // namespace

std::span<const CompressorEntry* const> InstalledCompressors() {
  static const std::vector<const CompressorEntry*> installed = [] {
    std::vector<const CompressorEntry*> list;
    for (const CompressorEntry& entry : kCompressors)
      if (entry.engine == EncoderEngine::kLibjpeg || avcodec_find_encoder_by_name(entry.encoder)) list.push_back(&entry);
    return list;
  }();
  return installed;
}

const CompressorEntry* FindCompressor(FOURCC fcc) {
  auto upper = [](FOURCC v) {
    FOURCC out = 0;
    for (int i = 0; i < 32; i += 8) {
      FOURCC c = (v >> i) & 0xFF;
      if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
      out |= c << i;
    }
    return out;
  };
  for (const CompressorEntry* entry : InstalledCompressors())
    if (upper(entry->fcc) == upper(fcc)) return entry;
  return nullptr;
}

int QualityToQScale(DWORD quality) {
  return static_cast<int>(MapQuality(quality, 31, 8, 3, 1) + 0.5);
}

double QualityToCrf(DWORD quality) { return MapQuality(quality, 51, 30, 20, 12); }

std::string SizeProblem(const CompressorEntry& entry, int width, int height) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const std::string name = entry.description;
  if (width > entry.maxSide || height > entry.maxSide)
    return name + " writes frames of at most " + std::to_string(entry.maxSide) + " pixels a side; " + size +
           " is larger.";
  const int m = entry.multipleOf;
  if (width % m != 0 || height % m != 0) {
    auto down = [m](int v) { return std::max(m, v / m * m); };
    const std::string below = std::to_string(down(width)) + "x" + std::to_string(down(height));
    const std::string above = std::to_string(RoundUp(width, m)) + "x" + std::to_string(RoundUp(height, m));
    return name + " writes only frames whose sides are " + (m == 2 ? "even" : "multiples of " + std::to_string(m)) +
           "; " + size + " is not one, " + (below == above ? above : below + " or " + above) + " would do.";
  }
  if (MaxFrameBytes(entry, width, height) > INT32_MAX)
    return name + " cannot write frames of " + size + ": one compressed frame could exceed 2 GiB.";
  return {};
}

EncodedSize EncodedSizeFor(const CompressorEntry& entry, int width, int height) {
  return {RoundUp(width, entry.padTo), RoundUp(height, entry.padTo), entry.pixFmt};
}

std::int64_t MaxFrameBytes(const CompressorEntry& entry, int width, int height) {
  const EncodedSize size = EncodedSizeFor(entry, width, height);
  // Twice a 24-bit picture covers every codec here, noise included; a
  // larger packet is refused rather than written past the caller's buffer.
  return 2 * std::int64_t{size.width} * size.height * 3 + (1 << 20);
}

LRESULT QueryInput(const CompressorEntry& entry, const BITMAPINFOHEADER* in, std::string* why) {
  auto refuse = [why](LRESULT r, std::string text) {
    if (why) *why = std::move(text);
    return r;
  };
  if (!in || in->biSize < sizeof(BITMAPINFOHEADER)) return refuse(ICERR_BADPARAM, "No frame format was given.");
  if (in->biCompression != BI_RGB || in->biBitCount != 24 || in->biPlanes != 1 || in->biWidth <= 0 ||
      in->biHeight == 0 || in->biHeight == INT_MIN)
    return refuse(ICERR_BADFORMAT, std::string(entry.description) + " takes 24-bit RGB frames only.");
  const int height = in->biHeight < 0 ? -in->biHeight : in->biHeight;
  std::string problem = SizeProblem(entry, in->biWidth, height);
  if (!problem.empty()) return refuse(ICERR_BADFORMAT, std::move(problem));
  return ICERR_OK;
}

}  // namespace codec
