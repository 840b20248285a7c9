// The bitmap object: creation, cloning and locking.
#include "platform/gdip/bitmap.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace gdip {

GpStatus CheckSize(std::int64_t width, std::int64_t height, PixelFormat format) {
  const int bits = FormatBits(format);
  if (bits == 0 || width < 1 || height < 1) return InvalidParameter;
  return dib::Fits(width, height, bits) ? Ok : OutOfMemory;
}

std::vector<ARGB> GreyPalette(int entries) {
  std::vector<ARGB> colors(static_cast<std::size_t>(entries));
  for (int i = 0; i < entries; ++i) {
    const ARGB v = entries > 1 ? static_cast<ARGB>(i * 255 / (entries - 1)) : 0;
    colors[static_cast<std::size_t>(i)] = 0xFF000000u | (v << 16) | (v << 8) | v;
  }
  return colors;
}

void SetPalette(GpBitmap& bitmap, std::vector<ARGB> colors) {
  const std::size_t entries = std::size_t{1} << FormatBits(bitmap.format);
  colors.resize(entries, 0xFF000000u);
  bitmap.palette = std::move(colors);
}

bool PaletteHasAlpha(const GpBitmap& bitmap) {
  return std::any_of(bitmap.palette.begin(), bitmap.palette.end(),
                     [](ARGB c) { return (c >> 24) != 0xFF; });
}

GpStatus NewBitmap(INT width, INT height, PixelFormat format, std::unique_ptr<GpBitmap>* out, bool zeroed,
                   bool* dirty) {
  const GpStatus status = CheckSize(width, height, format);
  if (status != Ok) return status;
  const std::int64_t stride = dib::Stride(width, FormatBits(format));
  PixelBuffer pixels = AllocatePixels(static_cast<std::size_t>(stride * height), zeroed, dirty, KeptRole::kPixels);
  if (!pixels) return OutOfMemory;
  auto bitmap = std::make_unique<GpBitmap>();
  bitmap->width = width;
  bitmap->height = height;
  bitmap->format = format;
  bitmap->stride = static_cast<INT>(stride);
  bitmap->pixels = pixels.get();
  bitmap->owned = std::move(pixels);
  if (IsIndexed(format)) SetPalette(*bitmap, GreyPalette(1 << FormatBits(format)));
  *out = std::move(bitmap);
  return Ok;
}

}  // namespace gdip

using namespace gdip;

namespace {

std::atomic<std::uintptr_t> g_startups{0};

bool ByteAligned(const GpRect& area, int bits) { return (static_cast<std::int64_t>(area.X) * bits) % 8 == 0; }

std::size_t RowBytes(INT width, int bits) { return (static_cast<std::size_t>(width) * bits + 7) / 8; }

bool AreaInside(const GpBitmap& bitmap, const GpRect& area) {
  return area.Width > 0 && area.Height > 0 && area.X >= 0 && area.Y >= 0 &&
         area.X <= bitmap.width - area.Width && area.Y <= bitmap.height - area.Height;
}

}  // namespace

GpStatus GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput* input, void* output) {
  (void)output;
  if (!token) return InvalidParameter;
  if (input && input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
  *token = ++g_startups;
  return Ok;
}

// Codecs keep no state; only pooled memory is let go.
void GdiplusShutdown(std::uintptr_t token) {
  (void)token;
  DrainPixelPool();
}

GpStatus GdipGetImagePixelFormat(GpImage* image, PixelFormat* format) {
  if (!image || !format) return InvalidParameter;
  *format = FromImage(image)->format;
  return Ok;
}

GpStatus GdipGetImageWidth(GpImage* image, UINT* width) {
  if (!image || !width) return InvalidParameter;
  *width = static_cast<UINT>(FromImage(image)->width);
  return Ok;
}

GpStatus GdipGetImageHeight(GpImage* image, UINT* height) {
  if (!image || !height) return InvalidParameter;
  *height = static_cast<UINT>(FromImage(image)->height);
  return Ok;
}

GpStatus GdipCreateBitmapFromScan0(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0,
                                   GpBitmap** bitmap) {
  if (!bitmap) return InvalidParameter;
  *bitmap = nullptr;
  std::unique_ptr<GpBitmap> created;
  if (!scan0) {
    const GpStatus status = NewBitmap(width, height, format, &created);
    if (status != Ok) return status;
  } else {
    const GpStatus status = CheckSize(width, height, format);
    if (status != Ok) return status;
    const std::int64_t minimum = (static_cast<std::int64_t>(width) * FormatBits(format) + 7) / 8;
    if (stride == 0 || std::abs(static_cast<std::int64_t>(stride)) < minimum) return InvalidParameter;
    created = std::make_unique<GpBitmap>();
    created->width = width;
    created->height = height;
    created->format = format;
    created->stride = stride;
    created->pixels = scan0;
    if (IsIndexed(format)) SetPalette(*created, GreyPalette(1 << FormatBits(format)));
  }
  *bitmap = created.release();
  return Ok;
}

GpStatus GdipCreateBitmapForRows(INT width, INT height, PixelFormat format, INT rowsToWrite, GpBitmap** bitmap) {
  if (!bitmap) return InvalidParameter;
  *bitmap = nullptr;
  std::unique_ptr<GpBitmap> created;
  bool dirty = false;
  const GpStatus status = NewBitmap(width, height, format, &created, true, &dirty);
  if (status != Ok) return status;
  // Fresh memory is zero and stays untouched; a pooled block is cleared
  // where the caller will not write.
  const INT from = std::clamp(rowsToWrite, 0, height);
  if (dirty && from < height)
    std::memset(created->Row(from), 0, static_cast<std::size_t>(created->stride) * static_cast<std::size_t>(height - from));
  *bitmap = created.release();
  return Ok;
}

GpStatus GdipCloneBitmapAreaI(INT x, INT y, INT width, INT height, PixelFormat format, GpBitmap* srcBitmap,
                              GpBitmap** dstBitmap) {
  if (!srcBitmap || !dstBitmap) return InvalidParameter;
  *dstBitmap = nullptr;
  if (srcBitmap->lock.active) return WrongState;
  if (format == PixelFormatUndefined) format = srcBitmap->format;
  const GpRect area{x, y, width, height};
  if (!AreaInside(*srcBitmap, area)) return InvalidParameter;
  if (format != srcBitmap->format && !CanWrite(format)) return NotImplemented;
  std::unique_ptr<GpBitmap> clone;
  // Every row is written below, except sub-byte tails that clone bit by bit.
  const GpStatus status = NewBitmap(width, height, format, &clone, FormatBits(format) < 8);
  if (status != Ok) return status;
  if (format == srcBitmap->format) clone->palette = srcBitmap->palette;
  ConvertArea(*srcBitmap, area, format, clone->pixels, clone->stride);
  *dstBitmap = clone.release();
  return Ok;
}

GpStatus GdipBitmapLockBits(GpBitmap* bitmap, const GpRect* rect, UINT flags, PixelFormat format,
                            BitmapData* data) {
  if (!bitmap || !data) return InvalidParameter;
  if (bitmap->lock.active) return WrongState;
  const GpRect area = rect ? *rect : GpRect{0, 0, bitmap->width, bitmap->height};
  if (!AreaInside(*bitmap, area)) return InvalidParameter;
  if (!(flags & (ImageLockModeRead | ImageLockModeWrite))) return InvalidParameter;
  if (format != bitmap->format && !CanWrite(format)) return InvalidParameter;
  const bool write = (flags & ImageLockModeWrite) != 0;
  if (write && format != bitmap->format && !CanWrite(bitmap->format)) return NotImplemented;

  LockState& lock = bitmap->lock;
  const int bits = FormatBits(format);
  if (flags & ImageLockModeUserInputBuf) {
    if (!data->Scan0 || std::abs(static_cast<std::int64_t>(data->Stride)) < static_cast<std::int64_t>(RowBytes(area.Width, bits)))
      return InvalidParameter;
    lock.scan0 = static_cast<BYTE*>(data->Scan0);
    lock.stride = data->Stride;
    lock.direct = false;
  } else if (format == bitmap->format && ByteAligned(area, bits)) {
    lock.scan0 = bitmap->Row(area.Y) + static_cast<std::size_t>(area.X) * bits / 8;
    lock.stride = bitmap->stride;
    lock.direct = true;
  } else {
    const std::int64_t stride = dib::Stride(area.Width, bits);
    if (stride * area.Height > kMaxPixelBytes) return OutOfMemory;
    lock.buffer = AllocatePixels(static_cast<std::size_t>(stride * area.Height), !(flags & ImageLockModeRead));
    if (!lock.buffer) return OutOfMemory;
    lock.scan0 = lock.buffer.get();
    lock.stride = static_cast<INT>(stride);
    lock.direct = false;
  }
  if (!lock.direct && (flags & ImageLockModeRead)) ConvertArea(*bitmap, area, format, lock.scan0, lock.stride);
  lock.active = true;
  lock.rect = area;
  lock.flags = flags;
  lock.format = format;
  data->Width = static_cast<UINT>(area.Width);
  data->Height = static_cast<UINT>(area.Height);
  data->Stride = lock.stride;
  data->PixelFormat = format;
  data->Scan0 = lock.scan0;
  data->Reserved = 0;
  return Ok;
}

GpStatus GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* data) {
  if (!bitmap || !data) return InvalidParameter;
  LockState& lock = bitmap->lock;
  if (!lock.active) return WrongState;
  if ((lock.flags & ImageLockModeWrite) && !lock.direct)
    StoreArea(*bitmap, lock.rect, lock.format, lock.scan0, lock.stride);
  lock = LockState{};
  return Ok;
}

GpStatus GdipDisposeImage(GpImage* image) {
  if (!image) return InvalidParameter;
  delete FromImage(image);
  return Ok;
}

Bitmap::Bitmap(const WCHAR* filename) : m_image(nullptr), m_lastStatus(Ok) {
  GpBitmap* image = nullptr;
  m_lastStatus = GdipCreateBitmapFromFile(filename, &image);
  m_image = image;
}

Bitmap::~Bitmap() {
  if (m_image) (void)GdipDisposeImage(asImage());
}
