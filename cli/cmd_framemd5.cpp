// stillweaver-cli framemd5 FILE.avi: one line per frame, "INDEX MD5", the
// MD5 of the decoded frame as rows from the top, 3 bytes per pixel (blue,
// green, red), no padding: what `ffmpeg -i FILE.avi -pix_fmt bgr24 -f
// framemd5 -` prints for lossless content.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/mem.h>
}

#include "avi_view/avi_reader.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "platform/dib/layout.h"
#include "platform/vfw.h"

namespace cli {

namespace {

struct Md5Deleter {
  void operator()(AVMD5* p) const { av_free(p); }
};

std::string FrameMd5(AVMD5* md5, const void* frame) {
  BITMAPINFOHEADER bih;
  std::memcpy(&bih, frame, sizeof bih);
  const auto* pixels = static_cast<const std::uint8_t*>(frame) + sizeof bih;
  const std::size_t rowBytes = static_cast<std::size_t>(bih.biWidth) * 3;
  const auto stride = static_cast<std::size_t>(dib::Stride(bih.biWidth, 24));
  av_md5_init(md5);
  for (LONG y = bih.biHeight - 1; y >= 0; --y)
    av_md5_update(md5, pixels + static_cast<std::size_t>(y) * stride, rowBytes);
  std::uint8_t digest[16];
  av_md5_final(md5, digest);
  char hex[33];
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

}  // namespace

const char kFramemd5Help[] =
    "usage: stillweaver-cli framemd5 FILE.avi\n"
    "\n"
    "Prints INDEX MD5 for each frame: the MD5 of the decoded frame as rows\n"
    "from the top, 3 bytes a pixel in the order blue, green, red. For lossless\n"
    "content it is the hash ffmpeg -pix_fmt bgr24 -f framemd5 gives.\n";

int CmdFramemd5(const Args& args) {
  Args files;
  std::string error;
  if (!Operands(args, &files, &error)) return UsageError("framemd5: " + error);
  if (files.size() != 1) return UsageError("framemd5 takes one AVI file: stillweaver-cli framemd5 FILE.avi");
  std::unique_ptr<AVMD5, Md5Deleter> md5(av_md5_alloc());
  if (!md5) return 1;

  // The viewer's reader: the same messages, the same decoder.
  avi_view::AviReader reader(files[0], [](const std::string& text, const std::string& caption) {
    ReportError(caption, text);
  });
  if (!reader.ready()) return 1;
  int status = 0;
  const LONG frames = AVIStreamLength(reader.m_videoStream);
  for (LONG i = 0; i < frames; ++i) {
    const void* frame = AVIStreamGetFrame(reader.m_decoder, i);
    if (!frame) {
      // Carry on: the frames after a damaged one may still decode.
      ReportError("Error", "Couldn't decode frame " + std::to_string(i));
      status = 1;
      continue;
    }
    std::printf("%ld %s\n", static_cast<long>(i), FrameMd5(md5.get(), frame).c_str());
  }
  return status;
}

}  // namespace cli
