// stillweaver-cli framemd5 FILE.avi: one line per frame, "INDEX MD5", the
// MD5 of the decoded frame as rows from the top, 3 bytes per pixel (blue,
// green, red), no padding: what `ffmpeg -i FILE.avi -pix_fmt bgr24 -f
// framemd5 -` prints for lossless content.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "avi_view/avi_reader.h"
#include "avi_view/verify_avi.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "platform/vfw.h"

namespace cli {

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
  // The viewer's reader: the same messages, the same decoder.
  avi_view::AviReader reader(files[0], [](const std::string& text, const std::string& caption) {
    ReportError(caption, text);
  });
  if (!reader.ready()) return 1;
  int status = 0;
  const LONG frames = AVIStreamLength(reader.m_videoStream);
  std::string previous;  // the last frame's MD5, when it decoded
  for (LONG i = 0; i < frames; ++i) {
    // An empty sample shows the picture before again: its hash is known
    // without hashing a frame that may be huge once more.
    LONG bytes = -1;
    if (!previous.empty() && AVIStreamRead(reader.m_videoStream, i, 1, nullptr, 0, &bytes, nullptr) == AVIERR_OK &&
        bytes == 0) {
      std::printf("%ld %s\n", static_cast<long>(i), previous.c_str());
      continue;
    }
    previous.clear();
    const void* frame = AVIStreamGetFrame(reader.m_decoder, i);
    if (!frame) {
      // Carry on: the frames after a damaged one may still decode.
      ReportError("Error", "Couldn't decode frame " + std::to_string(i));
      status = 1;
      continue;
    }
    BITMAPINFOHEADER header;
    std::memcpy(&header, frame, sizeof header);
    const std::string md5 = avi_view::FrameMd5(header, static_cast<const std::uint8_t*>(frame) + sizeof header);
    if (md5.empty()) return 1;
    std::printf("%ld %s\n", static_cast<long>(i), md5.c_str());
    previous = md5;
  }
  return status;
}

}  // namespace cli
