// GIF through giflib: the first frame on the logical screen, as 8bppIndexed
// with the transparent colour (if any) given alpha 0. The palette's order
// is not the file's: the background colour is entry 0.
#include <algorithm>
#include <cstring>

#include <gif_lib.h>

#include "platform/decode_stop.h"
#include "platform/gdip/decoders.h"
#include "platform/gdip/row_reducer.h"

namespace gdip {
namespace {

struct GifInput {
  const BYTE* data;
  std::size_t size;
  std::size_t position;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int length) {
  auto* input = static_cast<GifInput*>(gif->UserData);
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(length, 0)), input->size - input->position);
  std::memcpy(out, input->data + input->position, n);
  input->position += n;
  return static_cast<int>(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error;
    DGifCloseFile(gif, &error);
  }
};

GpStatus ReadFrame(GifFileType* gif, int transparent, Decoded* out, INT fitWidth, INT fitHeight) {
  const GifImageDesc& frame = gif->Image;
  const std::int64_t width = gif->SWidth > 0 ? gif->SWidth : frame.Width;
  const std::int64_t height = gif->SHeight > 0 ? gif->SHeight : frame.Height;
  GpStatus status = CheckSize(width, height, PixelFormat8bppIndexed);
  if (status != Ok) return status;
  if (frame.Width <= 0 || frame.Height <= 0) return InvalidParameter;

  const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  std::vector<ARGB> colors = GreyPalette(256);
  if (map) {
    colors.assign(static_cast<std::size_t>(std::clamp(map->ColorCount, 0, 256)), 0xFF000000u);
    for (std::size_t i = 0; i < colors.size(); ++i) {
      const GifColorType& c = map->Colors[i];
      colors[i] = 0xFF000000u | (static_cast<ARGB>(c.Red) << 16) | (static_cast<ARGB>(c.Green) << 8) | c.Blue;
    }
  }
  colors.resize(256, 0xFF000000u);
  if (transparent >= 0 && transparent < 256) colors[static_cast<std::size_t>(transparent)] &= 0x00FFFFFFu;

  // The screen around the frame shows the background colour. Its index and
  // 0 trade places in the palette and in the frame's pixels, so the zeroed
  // rows already hold it: a small frame on a vast screen touches no more
  // memory than its own rows.
  const auto background = static_cast<std::size_t>((transparent >= 0 ? transparent : gif->SBackGroundColor) & 0xFF);
  BYTE index[256];
  for (std::size_t i = 0; i < 256; ++i) index[i] = static_cast<BYTE>(i);
  std::swap(colors[0], colors[background]);
  std::swap(index[0], index[background]);

  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  const auto place = [&](BYTE* row) {
    if (frame.Left >= width) return;
    const std::int64_t n = std::min<std::int64_t>(frame.Width, width - frame.Left);
    BYTE* to = row + frame.Left;
    for (std::int64_t x = 0; x < n; ++x) to[x] = index[line[static_cast<std::size_t>(x)]];
  };
  const auto readLine = [&] {
    return !kernel::DecodeStopRequested() && DGifGetLine(gif, line.data(), frame.Width) != GIF_ERROR;
  };

  if (!frame.Interlace) {
    // Rows in order: into the writer, reduced as they come when drawn shrunk.
    RowWriter writer;
    if ((status = writer.Start(static_cast<INT>(width), static_cast<INT>(height), PixelFormat8bppIndexed,
                               std::move(colors), fitWidth, fitHeight)) != Ok)
      return status;
    writer.PushBlank(frame.Top);
    const bool partial = frame.Left > 0 || frame.Width < width;
    for (int row = 0; row < frame.Height; ++row) {
      if (!readLine()) return InvalidParameter;
      if (writer.left() == 0) continue;
      BYTE* to = writer.Row();
      if (partial) std::memset(to, 0, writer.rowBytes());
      place(to);
      writer.Push();
    }
    *out = writer.Finish();
    return Ok;
  }

  // Interlaced rows come in four passes over the picture: it is decoded
  // whole, then reduced.
  Decoded bitmap;
  if ((status = NewBitmap(static_cast<INT>(width), static_cast<INT>(height), PixelFormat8bppIndexed, &bitmap)) != Ok)
    return status;
  SetPalette(*bitmap, std::move(colors));
  static constexpr int kStart[] = {0, 4, 2, 1};
  static constexpr int kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int row = kStart[pass]; row < frame.Height; row += kStep[pass]) {
      if (!readLine()) return InvalidParameter;
      const std::int64_t y = std::int64_t{frame.Top} + row;
      if (y < height) place(bitmap->Row(static_cast<INT>(y)));
    }
  }
  if ((status = ReduceDecoded(&bitmap, fitWidth, fitHeight)) != Ok) return status;
  *out = std::move(bitmap);
  return Ok;
}

}  // namespace

GpStatus DecodeGif(const BYTE* data, std::size_t size, Decoded* out, INT fitWidth, INT fitHeight) {
  GifInput input{data, size, 0};
  int error = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, ReadFromMemory, &error));
  if (!gif) return InvalidParameter;
  int transparent = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return InvalidParameter;
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return InvalidParameter;
      return ReadFrame(gif.get(), transparent, out, fitWidth, fitHeight);
    }
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return InvalidParameter;
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        GraphicsControlBlock control;
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) transparent = control.TransparentColor;
      }
      while (block) {
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return InvalidParameter;
      }
      continue;
    }
    // The terminator, or anything else, before an image: there is no picture.
    return InvalidParameter;
  }
}

}  // namespace gdip
