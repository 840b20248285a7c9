// PNG through libpng: palettes stay indexed (2-bit ones widened to 8), grey
// becomes an 8-bit grey palette (1-bit: black and white), colour becomes
// 24bppRGB, anything with transparency 32bppARGB; 16-bit channels are scaled
// to 8. libpng reports errors by longjmp; the function that sets the jump
// point holds no objects with destructors.
#include <csetjmp>
#include <cstring>

#include <png.h>

#include "platform/decode_stop.h"
#include "platform/gdip/decoders.h"
#include "platform/gdip/row_reducer.h"

namespace gdip {
namespace {

struct PngInput {
  const BYTE* data;
  std::size_t size;
  std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
  if (length > input->size - input->position) png_error(png, "truncated");
  // libpng reads a few kilobytes of compressed rows at a time.
  if (kernel::DecodeStopRequested()) png_error(png, "stopped");
  std::memcpy(out, input->data + input->position, length);
  input->position += length;
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

// What the header tells and the transforms it asks for.
struct PngPlan {
  INT width = 0;
  INT height = 0;
  PixelFormat format = 0;
  std::vector<ARGB> palette;
  bool interlaced = false;
};

[[nodiscard]] bool ReadInfo(png_structp png, png_infop info, PngPlan* plan) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_uint_32 width, height;
  int depth, colorType, interlace;
  png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
  plan->width = static_cast<INT>(std::min<png_uint_32>(width, INT32_MAX));
  plan->height = static_cast<INT>(std::min<png_uint_32>(height, INT32_MAX));
  const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp colors = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &colors, &count);
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    png_color_16p unusedColor;
    if (trns) png_get_tRNS(png, info, &alphas, &alphaCount, &unusedColor);
    for (int i = 0; i < count; ++i) {
      const ARGB a = i < alphaCount ? alphas[i] : 255;
      plan->palette.push_back((a << 24) | (static_cast<ARGB>(colors[i].red) << 16) |
                              (static_cast<ARGB>(colors[i].green) << 8) | colors[i].blue);
    }
    if (depth == 1) {
      plan->format = PixelFormat1bppIndexed;
    } else if (depth == 4) {
      plan->format = PixelFormat4bppIndexed;
    } else {
      png_set_packing(png);
      plan->format = PixelFormat8bppIndexed;
    }
  } else if (colorType == PNG_COLOR_TYPE_GRAY && !trns) {
    if (depth == 1) {
      plan->format = PixelFormat1bppIndexed;
      plan->palette = {0xFF000000u, 0xFFFFFFFFu};
    } else {
      if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
      plan->format = PixelFormat8bppIndexed;
      plan->palette = GreyPalette(256);
    }
  } else {
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
      if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
      png_set_gray_to_rgb(png);
    }
    const bool alpha = trns || (colorType & PNG_COLOR_MASK_ALPHA);
    if (trns) png_set_tRNS_to_alpha(png);
    plan->format = alpha ? PixelFormat32bppARGB : PixelFormat24bppRGB;
    png_set_bgr(png);
  }
  if (depth == 16) png_set_scale_16(png);
  plan->interlaced = interlace != PNG_INTERLACE_NONE;
  if (plan->interlaced) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

[[nodiscard]] bool ReadRows(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

// Row by row, in order, into the writer.
[[nodiscard]] bool ReadRowsInOrder(png_structp png, RowWriter* writer) {
  if (setjmp(png_jmpbuf(png))) return false;
  while (writer->left() > 0) {
    png_read_row(png, writer->Row(), nullptr);
    writer->Push();
  }
  return true;
}

struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngReader() {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png) info = png_create_info_struct(png);
  }
  ~PngReader() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

}  // namespace

GpStatus DecodePng(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth, INT fitHeight) {
  PngReader reader;
  if (!reader.png || !reader.info) return OutOfMemory;
  PngInput input{data, size, 0};
  png_set_read_fn(reader.png, &input, ReadFromMemory);
  PngPlan plan;
  if (!ReadInfo(reader.png, reader.info, &plan)) return InvalidParameter;
  GpStatus status = CheckSize(plan.width, plan.height, plan.format);
  if (status != Ok) return status;
  if (png_get_rowbytes(reader.png, reader.info) > static_cast<png_size_t>(dib::Stride(plan.width, FormatBits(plan.format))))
    return InvalidParameter;
  if (!plan.interlaced) {
    RowWriter writer;
    if ((status = writer.Start(plan.width, plan.height, plan.format, std::move(plan.palette), fitWidth, fitHeight)) !=
        Ok)
      return status;
    if (!ReadRowsInOrder(reader.png, &writer)) return InvalidParameter;
    *out = writer.Finish();
    return Ok;
  }
  // Interlaced rows come in seven passes over the picture: it is decoded
  // whole, then reduced.
  Decoded bitmap;
  if ((status = NewBitmap(plan.width, plan.height, plan.format, &bitmap)) != Ok) return status;
  if (!plan.palette.empty()) SetPalette(*bitmap, std::move(plan.palette));
  std::vector<png_bytep> rows(static_cast<std::size_t>(plan.height));
  for (INT y = 0; y < plan.height; ++y) rows[static_cast<std::size_t>(y)] = bitmap->Row(y);
  if (!ReadRows(reader.png, rows.data())) return InvalidParameter;
  if ((status = ReduceDecoded(&bitmap, fitWidth, fitHeight)) != Ok) return status;
  *out = std::move(bitmap);
  return Ok;
}

}  // namespace gdip
