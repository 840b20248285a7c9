// libjpeg reports errors by longjmp; the function that sets the jump point
// holds no objects with destructors, so nothing is skipped.
#include "platform/codec/jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "platform/dib/jpeg_errors.h"
#include "platform/dib/layout.h"

namespace codec {

namespace {

constexpr std::uint8_t kSof0 = 0xC0;  // baseline
constexpr std::uint8_t kSof1 = 0xC1;  // extended sequential, Huffman
constexpr std::uint8_t kSof2 = 0xC2;  // progressive, Huffman
constexpr std::uint8_t kDht = 0xC4;
constexpr std::uint8_t kSoi = 0xD8;
constexpr std::uint8_t kSos = 0xDA;
constexpr std::uint8_t kDqt = 0xDB;
constexpr std::uint8_t kDri = 0xDD;
constexpr std::uint8_t kApp0 = 0xE0;
constexpr std::uint8_t kApp14 = 0xEE;
constexpr std::uint8_t kApp15 = 0xEF;
constexpr std::uint8_t kCom = 0xFE;

// A progressive picture with more scans than this is hostile, not plain.
constexpr int kMaxScans = 500;
// Rows asked of libjpeg at once: the tallest row group it makes.
constexpr int kRowsPerCall = 16;

bool StartsWith(const std::uint8_t* data, std::size_t size, const char* text) {
  const std::size_t n = std::strlen(text);
  return size >= n && std::memcmp(data, text, n) == 0;
}

// Comments that make libavcodec decode otherwise: limited range, pictures
// stored upside down, field layouts.
bool ChangesLibavcodec(const std::uint8_t* text, std::size_t size) {
  for (const char* known :
       {"AVID", "CS=ITU601", "Intel(R) JPEG Library, version 1", "Metasoft MJPEG Codec", "MULTISCOPE II"})
    if (StartsWith(text, size, known)) return true;
  return false;
}

// A frame header (after its length) of an 8-bit picture of width x height in
// grey or YCbCr 4:4:4, 4:2:2 or 4:2:0 (even height). Components named R, G,
// B are RGB to libavcodec whatever other markers say, so they are not plain.
bool PlainFrame(const std::uint8_t* p, std::size_t size, int width, int height) {
  if (size < 6 || p[0] != 8) return false;
  const int rows = p[1] << 8 | p[2];
  const int columns = p[3] << 8 | p[4];
  const int components = p[5];
  if (rows != height || columns != width || size != 6 + 3 * static_cast<std::size_t>(components)) return false;
  const std::uint8_t* c = p + 6;  // id, sampling (h << 4 | v), table, per component
  if (components == 1) return c[1] == 0x11 || c[1] == 0x21 || c[1] == 0x12 || c[1] == 0x22;
  if (components != 3 || c[4] != 0x11 || c[7] != 0x11) return false;
  if (c[0] == 'R' && c[3] == 'G' && c[6] == 'B') return false;
  // libswscale interpolates chroma rows for pictures of odd height, so
  // libjpeg-turbo's repeated rows would differ from what libavcodec shows.
  return c[1] == 0x11 || c[1] == 0x21 || (c[1] == 0x22 && height % 2 == 0);
}

// Walks the markers up to the first scan: true when the sample starts a
// plain picture of width x height.
bool PlainHeader(const std::uint8_t* p, std::size_t size, int width, int height) {
  if (size < 4 || p[0] != 0xFF || p[1] != kSoi) return false;
  std::size_t at = 2;
  bool frame = false;
  for (;;) {
    if (at >= size || p[at] != 0xFF) return false;
    while (at < size && p[at] == 0xFF) ++at;  // fill bytes
    if (at + 3 > size) return false;
    const std::uint8_t marker = p[at];
    const std::size_t length = static_cast<std::size_t>(p[at + 1]) << 8 | p[at + 2];
    if (length < 2 || length > size - at - 1) return false;
    const std::uint8_t* body = p + at + 3;
    const std::size_t bodySize = length - 2;
    switch (marker) {
      case kSof0:
      case kSof1:
      case kSof2:
        if (frame || !PlainFrame(body, bodySize, width, height)) return false;
        frame = true;
        break;
      case kDht:
      case kDqt:
      case kDri:
        break;
      case kSos:
        return frame;
      case kCom:
        if (ChangesLibavcodec(body, bodySize)) return false;
        break;
      case kApp14:
        if (StartsWith(body, bodySize, "Adobe")) return false;  // its colour transform
        break;
      default:
        if (marker < kApp0 || marker > kApp15) return false;  // other coding, JPEG-LS, stray markers
    }
    at += 1 + length;
  }
}

void OnProgress(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) dib::FailJpeg(cinfo);
}

struct Decompressor {
  jpeg_decompress_struct cinfo{};
  dib::JpegErrors errors{};
  jpeg_progress_mgr progress{};
  Decompressor() {
    // A warning means damaged data: libavcodec conceals such damage its own
    // way, so the sample goes to it.
    cinfo.err = dib::UseJpegErrors(&errors, true);
    progress.progress_monitor = OnProgress;
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
};

[[nodiscard]] bool Decompress(Decompressor* d, const std::uint8_t* data, std::size_t size, int width, int height,
                              DibImage& out) {
  jpeg_decompress_struct* cinfo = &d->cinfo;
  if (setjmp(d->errors.jump)) return false;
  // A fresh decompressor for every sample: tables never leak from one
  // sample into the next, so every frame decodes alike in any order, and a
  // sample without Huffman tables gets the standard ones, as Motion JPEG
  // in AVI expects.
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = dib::kMaxPixelBytes;  // progressive pictures keep all coefficients
  cinfo->progress = &d->progress;
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (cinfo->jpeg_color_space != JCS_YCbCr && cinfo->jpeg_color_space != JCS_GRAYSCALE) return false;
  // Straight into the output's layout; libjpeg-turbo sets the fourth byte of
  // BGRX to 255.
  cinfo->out_color_space = out.bgrx() ? JCS_EXT_BGRX : JCS_EXT_BGR;
  // Chroma is repeated rather than interpolated: the merged SIMD path, and
  // what libavcodec's output through libswscale shows, so the two decoders
  // agree within a level or two.
  cinfo->do_fancy_upsampling = FALSE;
  cinfo->dct_method = JDCT_ISLOW;
  jpeg_start_decompress(cinfo);
  const JDIMENSION rowCount = cinfo->output_height;
  if (cinfo->output_width != static_cast<JDIMENSION>(width) || rowCount != static_cast<JDIMENSION>(height) ||
      cinfo->output_components != out.bytesPerPixel() || !out.Allocate(width, height))
    return false;
  while (cinfo->output_scanline < rowCount) {
    JSAMPROW rows[kRowsPerCall];
    const JDIMENSION first = cinfo->output_scanline;
    const JDIMENSION count = rowCount - first < kRowsPerCall ? rowCount - first : kRowsPerCall;
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = out.rowFromTop(static_cast<int>(first + i));
    if (jpeg_read_scanlines(cinfo, rows, count) == 0) return false;
  }
  // What follows the last row is not read: the picture is complete, and
  // libavcodec also ignores a missing end marker or trailing bytes.
  return true;
}

}  // namespace

bool JpegDecodesFourcc(DWORD fourcc) {
  // Metasoft's samples swap Cb and Cr; Creative's omit part of the scan
  // header. libavcodec knows both by the FourCC alone.
  return fourcc != mmioFOURCC('M', 'T', 'S', 'J') && fourcc != mmioFOURCC('C', 'J', 'P', 'G');
}

bool DecodeJpegSample(const std::uint8_t* sample, std::size_t size, int width, int height, DibImage& out) {
  if (!sample || !PlainHeader(sample, size, width, height)) return false;
  Decompressor d;
  return Decompress(&d, sample, size, width, height, out);
}

}  // namespace codec
