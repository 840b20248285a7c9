// JPEG through libjpeg-turbo, decoded straight into blue, green, red rows.
// libjpeg reports errors by longjmp; the two functions that set the jump
// point hold no objects with destructors, so nothing is skipped.
#include <csetjmp>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "platform/decode_stop.h"
#include "platform/dib/jpeg_errors.h"
#include "platform/gdip/decode_memory.h"
#include "platform/gdip/decoders.h"
#include "platform/gdip/row_reducer.h"

namespace gdip {
namespace {

using dib::JpegErrors;

// The most scans a picture may have. Each scan of a progressive file is
// another pass over the picture, so a small file with thousands of them
// takes minutes; cameras and encoders write about ten, a few dozen at most.
// libjpeg-turbo leaves the limit to the application (djpeg's -maxscans) and
// suggests one for untrusted files.
constexpr int kMaxScans = 100;

// Called by libjpeg every row of input or output: ends the decode on too
// many scans or when the thread's job is told to stop.
void OnProgress(j_common_ptr cinfo) {
  const auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (decompress->input_scan_number > kMaxScans || kernel::DecodeStopRequested()) dib::FailJpeg(cinfo);
}

[[nodiscard]] bool ReadHeader(jpeg_decompress_struct* cinfo, JpegErrors* errors, jpeg_progress_mgr* progress,
                              const BYTE* data, std::size_t size) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_decompress(cinfo);
  UseKeptMemory(reinterpret_cast<j_common_ptr>(cinfo));
  cinfo->progress = progress;
  // Large progressive pictures keep all coefficients; past this libjpeg
  // fails instead of allocating more.
  cinfo->mem->max_memory_to_use = kMaxPixelBytes;
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(cinfo, TRUE);
  return true;
}

// One CMYK row (4 bytes a pixel) to blue, green, red. Adobe writes the inks
// inverted.
void CmykToBgr(const BYTE* cmyk, INT width, bool inverted, BYTE* out) {
  for (INT x = 0; x < width; ++x, cmyk += 4, out += 3) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    const BYTE r = static_cast<BYTE>((c * k + 127) / 255);
    const BYTE g = static_cast<BYTE>((m * k + 127) / 255);
    const BYTE b = static_cast<BYTE>((y * k + 127) / 255);
    out[0] = b, out[1] = g, out[2] = r;
  }
}

// Where the decoded rows go: the writer, straight or (CMYK) through one row
// of four bytes a pixel converted into it.
struct RowTarget {
  RowWriter* writer;
  BYTE* cmykRow;  // null unless CMYK
  bool inverted;  // Adobe's CMYK
};

enum class Pixels { kFailed, kAll, kDataEnded };

// The part of the picture that is decoded: all of it, or the middle a clip
// shows.
struct Window {
  JDIMENSION x = 0, y = 0, width = 0, height = 0;
};

// kDataEnded: the scan's data reached the end-of-image marker with rows still
// to come. libjpeg would fill them with flat grey; they are left as they
// are (zero, black), so a file that lies about its size costs nothing for
// the rows it lacks. A window narrower or shorter than the picture skips the
// rows above it, decodes only the iMCU columns it touches (into `wide`, one
// row of them) and stops after its last row.
[[nodiscard]] Pixels ReadPixels(jpeg_decompress_struct* cinfo, JpegErrors* errors, const RowTarget* target,
                                const Window* window, std::vector<BYTE>* wide) {
  if (setjmp(errors->jump)) return Pixels::kFailed;
  jpeg_start_decompress(cinfo);
  const bool cropped = window->width < cinfo->output_width;
  const auto bytes = static_cast<std::size_t>(cinfo->output_components);
  std::size_t from = 0;
  if (cropped) {
    // A column beside the window on each side, so that the crop's own edge
    // (upsampled as if it were the picture's) never lands in it.
    JDIMENSION x = window->x > 0 ? window->x - 1 : 0;
    JDIMENSION width = std::min(window->x + window->width + 1, cinfo->output_width) - x;
    jpeg_crop_scanline(cinfo, &x, &width);
    from = (window->x - x) * bytes;
    wide->resize(std::size_t{width} * bytes);
  }
  if (window->y > 0 && jpeg_skip_scanlines(cinfo, window->y) != window->y) return Pixels::kFailed;
  const JDIMENSION end = window->y + window->height;
  // The decoder meets the marker while decoding the last rows of a whole
  // file, at most a row group and the one it reads ahead before they are
  // handed out.
  const JDIMENSION margin = 3 * static_cast<JDIMENSION>(cinfo->max_v_samp_factor * cinfo->min_DCT_scaled_size);
  constexpr int kEndOfImage = 0xD9;
  while (cinfo->output_scanline < end) {
    BYTE* out = target->writer->Row();
    BYTE* pixels = target->cmykRow ? target->cmykRow : out;
    JSAMPROW row = cropped ? wide->data() : pixels;
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return Pixels::kFailed;
    if (errors->truncated) return Pixels::kFailed;
    if (cropped) std::memcpy(pixels, wide->data() + from, std::size_t{window->width} * bytes);
    if (target->cmykRow) CmykToBgr(target->cmykRow, static_cast<INT>(window->width), target->inverted, out);
    target->writer->Push();
    if (cinfo->unread_marker == kEndOfImage && end - cinfo->output_scanline > margin) return Pixels::kDataEnded;
  }
  if (end < cinfo->output_height) {
    jpeg_abort_decompress(cinfo);
    return Pixels::kAll;
  }
  jpeg_finish_decompress(cinfo);
  return errors->truncated ? Pixels::kFailed : Pixels::kAll;
}

// Each 8x8 block of coefficients becomes 8 / by pixels a side, for a
// fraction of the work of the whole picture.
[[nodiscard]] bool Reduce(jpeg_decompress_struct* cinfo, JpegErrors* errors, unsigned by) {
  if (setjmp(errors->jump)) return false;
  cinfo->scale_num = 1;
  cinfo->scale_denom = by;
  jpeg_calc_output_dimensions(cinfo);
  return true;
}

// Huffman coding spends at least one bit on every block of every component
// (its DC code), so a complete picture needs at least its blocks / 8 bytes.
// Arithmetic coding has no such floor.
bool CanHold(const jpeg_decompress_struct& cinfo, std::size_t size) {
  if (cinfo.arith_code) return true;
  std::uint64_t blocks = 0;
  for (int c = 0; c < cinfo.num_components; ++c)
    blocks += std::uint64_t{cinfo.comp_info[c].width_in_blocks} * cinfo.comp_info[c].height_in_blocks;
  return blocks <= std::uint64_t{size} * 8;
}

struct Decompressor {
  jpeg_decompress_struct cinfo{};
  JpegErrors errors{};
  jpeg_progress_mgr progress{};
  // Warnings only matter when the data ran out.
  Decompressor() {
    cinfo.err = dib::UseJpegErrors(&errors);
    progress.progress_monitor = OnProgress;
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
};

}  // namespace

// Halving only: the decoder's quarter and eighth sizes shrink far less like
// averaging does than its half size (several dB further from the averaged
// picture). And only even sides: a last pixel made of one picture pixel
// would be drawn as wide as the others, shifting the far edge by half a
// pixel.
unsigned JpegReduction(std::int64_t width, std::int64_t height, std::int64_t fitWidth, std::int64_t fitHeight) {
  if (fitWidth < 1 || fitHeight < 1) return 1;
  const bool covers = width >= 2 * fitWidth && height >= 2 * fitHeight;
  return covers && width % 2 == 0 && height % 2 == 0 ? 2 : 1;
}

namespace {

// clipCols x clipRows at least 1: only the middle of the picture that a
// frame of that size shows, else the picture fitted to fitWidth x fitHeight.
GpStatus Decode(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth, INT fitHeight, INT clipCols,
                INT clipRows) {
  Decompressor d;
  if (!ReadHeader(&d.cinfo, &d.errors, &d.progress, data, size)) return InvalidParameter;
  const bool clip = clipCols > 0 && clipRows > 0;
  if (clip) fitWidth = fitHeight = 0;
  const unsigned by = JpegReduction(d.cinfo.image_width, d.cinfo.image_height, fitWidth, fitHeight);
  if (by > 1 && !Reduce(&d.cinfo, &d.errors, by)) return InvalidParameter;
  const JDIMENSION fullWidth = by > 1 ? d.cinfo.output_width : d.cinfo.image_width;
  const JDIMENSION fullHeight = by > 1 ? d.cinfo.output_height : d.cinfo.image_height;
  Window window;
  window.width = fullWidth, window.height = fullHeight;
  if (clip) {
    // The same middle the frame composer cuts from a whole picture.
    window.width = std::min(fullWidth, static_cast<JDIMENSION>(clipCols));
    window.height = std::min(fullHeight, static_cast<JDIMENSION>(clipRows));
    window.x = (fullWidth - window.width) / 2;
    window.y = (fullHeight - window.height) / 2;
  }
  const INT width = static_cast<INT>(window.width);
  const INT height = static_cast<INT>(window.height);
  PixelFormat format = PixelFormat24bppRGB;
  bool cmyk = false;
  switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      d.cinfo.out_color_space = JCS_GRAYSCALE;
      format = PixelFormat8bppIndexed;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      d.cinfo.out_color_space = JCS_CMYK;
      cmyk = true;
      break;
    default:
      d.cinfo.out_color_space = JCS_EXT_BGR;
  }
  // The limit holds for the picture the file claims, whatever it is
  // reduced to: decoding costs time in proportion to it.
  GpStatus status = CheckSize(d.cinfo.image_width, d.cinfo.image_height, format);
  if (status != Ok) return status;
  if (!CanHold(d.cinfo, size)) return InvalidParameter;

  // The rows a file may lack are left zero (black) by the writer.
  RowWriter writer;
  if ((status = writer.Start(width, height, format, format == PixelFormat8bppIndexed ? GreyPalette(256) : std::vector<ARGB>{},
                             fitWidth, fitHeight)) != Ok)
    return status;
  std::vector<BYTE> cmykRow(cmyk ? static_cast<std::size_t>(width) * 4 : 0);
  std::vector<BYTE> wide;
  const RowTarget target{&writer, cmyk ? cmykRow.data() : nullptr, d.cinfo.saw_Adobe_marker != 0};
  if (ReadPixels(&d.cinfo, &d.errors, &target, &window, &wide) == Pixels::kFailed) return InvalidParameter;
  *out = writer.Finish();
  return Ok;
}

}  // namespace

GpStatus DecodeJpeg(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth, INT fitHeight) {
  return Decode(data, size, out, fitWidth, fitHeight, 0, 0);
}

GpStatus DecodeJpegClipped(const BYTE* data, std::size_t size, Decoded* out, INT cols, INT rows) {
  return Decode(data, size, out, 0, 0, cols, rows);
}

}  // namespace gdip
