// stillweaver-cli info FILE.avi: the first video stream's description as
// "key: value" lines, for scripts and tests.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "avi_build/avi_error_name.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "platform/vfw.h"

namespace cli {

namespace {

// A FourCC as its four characters, "none" for 0 (BI_RGB) and BI_BITFIELDS,
// or hexadecimal when it is not printable.
std::string FourccText(DWORD value) {
  if (value == BI_RGB || value == BI_BITFIELDS) return "none";
  if (value == BI_RLE8) return "RLE8";
  if (value == BI_RLE4) return "RLE4";
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((value >> (8 * i)) & 0xFF);
    if (c < 0x20 || c > 0x7E) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08x", value);
      return hex;
    }
    text += c;
  }
  return text;
}

std::int32_t FormatField(const std::vector<std::uint8_t>& format, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(format[at + i]) << (8 * i);
  return static_cast<std::int32_t>(v);
}

// Releases the handles on every return path.
struct Handles {
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  Handles() { AVIFileInit(); }
  ~Handles() {
    // Handles of a file being read release without anything to report.
    if (stream) (void)AVIStreamRelease(stream);
    if (file) (void)AVIFileRelease(file);
    AVIFileExit();
  }
};

}  // namespace

const char kInfoHelp[] =
    "usage: stillweaver-cli info [--frames] FILE.avi\n"
    "\n"
    "Prints the first video stream of an AVI as key: value lines: frames,\n"
    "rate, scale, width, height, compression (FOURCC, or none), keyframes.\n"
    "\n"
    "  --frames   instead, one line per frame: INDEX<TAB>TIME<TAB>SOURCE, the\n"
    "             picture each frame was made from (the path as listed) and\n"
    "             when it was taken; both empty when the file records none\n";

int CmdInfo(const Args& args) {
  Args files;
  bool frameSources = false;
  OptionParser parser(args);
  while (parser.More()) {
    if (parser.Flag("--frames")) {
      frameSources = true;
      continue;
    }
    if (parser.Failed()) break;
    std::string operand = parser.Positional();
    if (parser.Failed()) break;
    files.push_back(std::move(operand));
  }
  if (parser.Failed()) return UsageError("info: " + parser.Error());
  if (files.size() != 1) return UsageError("info takes one AVI file: stillweaver-cli info [--frames] FILE.avi");

  Handles h;
  HRESULT hr = AVIFileOpenA(&h.file, files[0].c_str(), OF_READ, nullptr);
  if (hr != AVIERR_OK) {
    ReportError("Error", std::string("Couldn't open the AVI file (") + AviErrorName(hr) + ")");
    return 1;
  }
  hr = AVIFileGetStream(h.file, &h.stream, streamtypeVIDEO, 0);
  if (hr != AVIERR_OK) {
    ReportError("Error", std::string("Couldn't open Video Stream (") + AviErrorName(hr) + ")");
    return 1;
  }
  AVISTREAMINFOA info{};
  LONG formatSize = 0;
  std::vector<std::uint8_t> format;
  hr = AVIStreamInfoA(h.stream, &info, sizeof info);
  if (hr == AVIERR_OK) hr = AVIStreamReadFormat(h.stream, 0, nullptr, &formatSize);
  if (hr == AVIERR_OK) {
    format.resize(static_cast<std::size_t>(formatSize));
    hr = AVIStreamReadFormat(h.stream, 0, format.data(), &formatSize);
  }
  if (hr != AVIERR_OK) {
    ReportError("Error", std::string("Couldn't open Video Stream (") + AviErrorName(hr) + ")");
    return 1;
  }

  const LONG frames = AVIStreamLength(h.stream);
  if (frameSources) {
    if (!AVIStreamHasFrameSources(h.stream))
      std::fprintf(stderr, "info: %s records no frame sources\n", files[0].c_str());
    for (LONG i = 0; i < frames; ++i) {
      const char* source = "";
      const char* time = "";
      if (AVIStreamFrameSource(h.stream, i, &source, &time) != AVIERR_OK) source = time = "";
      std::printf("%ld\t%s\t%s\n", static_cast<long>(i), time, source);
    }
    return 0;
  }
  long keyframes = 0;
  for (LONG pos = AVIStreamFindSample(h.stream, 0, FIND_KEY | FIND_NEXT); pos >= 0;
       pos = pos + 1 < frames ? AVIStreamFindSample(h.stream, pos + 1, FIND_KEY | FIND_NEXT) : -1) {
    ++keyframes;
  }

  long width = info.rcFrame.right - info.rcFrame.left;
  long height = info.rcFrame.bottom - info.rcFrame.top;
  std::string compression = "none";
  int bitCount = 0;
  if (format.size() >= sizeof(BITMAPINFOHEADER)) {
    width = FormatField(format, 4);
    height = std::labs(static_cast<long>(FormatField(format, 8)));
    bitCount = format[14] | (format[15] << 8);
    compression = FourccText(static_cast<DWORD>(FormatField(format, 16)));
  }

  std::printf("frames: %ld\n", static_cast<long>(frames));
  std::printf("rate: %lu\n", static_cast<unsigned long>(info.dwRate));
  std::printf("scale: %lu\n", static_cast<unsigned long>(info.dwScale));
  std::printf("fps: %.6g\n", info.dwScale ? static_cast<double>(info.dwRate) / info.dwScale : 0.0);
  std::printf("width: %ld\n", width);
  std::printf("height: %ld\n", height);
  std::printf("bitcount: %d\n", bitCount);
  std::printf("compression: %s\n", compression.c_str());
  std::printf("handler: %s\n", FourccText(info.fccHandler).c_str());
  std::printf("format_size: %ld\n", static_cast<long>(format.size()));
  std::printf("keyframes: %ld\n", keyframes);
  std::printf("name: %.*s\n", static_cast<int>(strnlen(info.szName, sizeof info.szName)), info.szName);
  return 0;
}

}  // namespace cli
