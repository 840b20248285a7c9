#include "avi_view/verify_avi.h"

#include <cstring>
#include <memory>

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/mem.h>
}

#include "avi_view/avi_reader.h"
#include "platform/dib/layout.h"

namespace avi_view {
namespace {

struct Md5Deleter {
  void operator()(AVMD5* p) const { av_free(p); }
};

// Past this many, the lines that differ are counted rather than listed.
constexpr int kMaxListed = 10;

}  // namespace

std::string FrameMd5(const BITMAPINFOHEADER& header, const std::uint8_t* pixels) {
  std::unique_ptr<AVMD5, Md5Deleter> md5(av_md5_alloc());
  if (!md5) return {};
  const std::size_t rowBytes = static_cast<std::size_t>(header.biWidth) * 3;
  const auto stride = static_cast<std::size_t>(dib::Stride(header.biWidth, 24));
  av_md5_init(md5.get());
  for (LONG y = header.biHeight - 1; y >= 0; --y)
    av_md5_update(md5.get(), pixels + static_cast<std::size_t>(y) * stride, rowBytes);
  std::uint8_t digest[16];
  av_md5_final(md5.get(), digest);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t byte : digest) hex += {kHex[byte >> 4], kHex[byte & 15]};
  return hex;
}

bool KeepsEveryPixel(FOURCC handler) {
  return handler == 0 || handler == mmioFOURCC('D', 'I', 'B', ' ') || handler == mmioFOURCC('F', 'F', 'V', '1') ||
         handler == mmioFOURCC('H', 'F', 'Y', 'U');
}

Verification VerifyAvi(const std::string& path, int frames, const std::vector<std::string>& md5s) {
  Verification result;
  std::string opening;
  const AviReader reader(path, [&opening](const std::string& text, const std::string&) { opening = text; });
  if (!reader.ready()) {
    result.text = opening + ".\n";
    return result;
  }
  std::string& text = result.text;
  int problems = 0;
  auto differs = [&](const std::string& line) {
    if (++problems <= kMaxListed) text += line + "\n";
  };
  const LONG length = AVIStreamLength(reader.m_videoStream);
  if (length != frames)
    differs("The file has " + std::to_string(length) + " frames, not the " + std::to_string(frames) + " written.");
  if (length > 0 && !AVIStreamIsKeyFrame(reader.m_videoStream, 0)) differs("Frame 0 is not a key frame.");
  for (LONG i = 0; i < length; ++i) {
    LONG bytes = 0, samples = 0;
    if (AVIStreamRead(reader.m_videoStream, i, 1, nullptr, 0, &bytes, &samples) != AVIERR_OK || bytes <= 0) {
      differs("Frame " + std::to_string(i) + " has no data in the index.");
      continue;
    }
    if (md5s.empty() || std::size_t(i) >= md5s.size()) continue;
    const void* frame = AVIStreamGetFrame(reader.m_decoder, i);
    if (!frame) {
      differs("Frame " + std::to_string(i) + " does not decode.");
      continue;
    }
    BITMAPINFOHEADER header;
    std::memcpy(&header, frame, sizeof header);
    const std::string md5 = FrameMd5(header, static_cast<const std::uint8_t*>(frame) + sizeof header);
    if (md5 != md5s[std::size_t(i)])
      differs("Frame " + std::to_string(i) + " differs from the frame composed (MD5 " + md5 + ", composed " +
              md5s[std::size_t(i)] + ").");
  }
  if (problems > kMaxListed) text += "... and " + std::to_string(problems - kMaxListed) + " more.\n";
  result.ok = problems == 0;
  if (result.ok) text = "Verified " + std::to_string(length) + " frames.\n";
  return result;
}

}  // namespace avi_view
