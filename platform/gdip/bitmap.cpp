// The bitmap object: creation, cloning, locking and the pixel conversions.
#include "platform/gdip/bitmap.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/dib/channel.h"

namespace gdip {

namespace {

// Blocks below this come from malloc directly, which reuses them well.
constexpr std::size_t kPoolFrom = std::size_t{256} << 10;
// Enough for a frame-sized picture and its file; more mostly
// holds pictures of sizes that do not come again, at the cost of memory.
constexpr std::size_t kPoolBytes = std::size_t{16} << 20;
constexpr std::size_t kPoolBlocks = 12;

struct Pool {
  std::mutex mutex;
  std::vector<std::pair<BYTE*, std::size_t>> blocks;  // oldest first
  std::size_t bytes = 0;
};

Pool& ThePool() {
  static Pool* pool = new Pool;  // never destroyed: blocks may return during exit
  return *pool;
}

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer every block is fresh, so use after release is caught.
constexpr bool kPooling = false;
#else
constexpr bool kPooling = true;
#endif

}  // namespace

// Whether every page inside the block is in memory. A block a decoder left
// partly untouched (a file that held less than its header claimed) would
// cost its whole size when handed out again and zeroed; it is freed instead.
bool Resident(const BYTE* block, std::size_t size) {
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(block) + page - 1) / page * page;
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + size) / page * page;
  if (end <= first) return true;
  std::vector<unsigned char> pages((end - first) / page);
  if (mincore(reinterpret_cast<void*>(first), end - first, pages.data()) != 0) return false;
  return std::all_of(pages.begin(), pages.end(), [](unsigned char p) { return (p & 1) != 0; });
}

void PoolReturn::operator()(BYTE* block) const {
  if (!kPooling || capacity < kPoolFrom || capacity > kPoolBytes || !Resident(block, capacity)) {
    std::free(block);
    return;
  }
  std::vector<BYTE*> evicted;
  {
    Pool& pool = ThePool();
    const std::lock_guard<std::mutex> lock(pool.mutex);
    while (!pool.blocks.empty() && (pool.blocks.size() >= kPoolBlocks || pool.bytes + capacity > kPoolBytes)) {
      evicted.push_back(pool.blocks.front().first);
      pool.bytes -= pool.blocks.front().second;
      pool.blocks.erase(pool.blocks.begin());
    }
    pool.blocks.emplace_back(block, capacity);
    pool.bytes += capacity;
  }
  for (BYTE* b : evicted) std::free(b);
}

PixelBuffer AllocatePixels(std::size_t bytes, bool zeroed, bool* dirty) {
  if (dirty) *dirty = false;
  if (bytes == 0) bytes = 1;
  if (kPooling && bytes >= kPoolFrom) {
    BYTE* found = nullptr;
    std::size_t capacity = 0;
    {
      Pool& pool = ThePool();
      const std::lock_guard<std::mutex> lock(pool.mutex);
      // The smallest block that fits without wasting more than it holds.
      auto best = pool.blocks.end();
      for (auto it = pool.blocks.begin(); it != pool.blocks.end(); ++it)
        if (it->second >= bytes && it->second / 2 <= bytes && (best == pool.blocks.end() || it->second < best->second))
          best = it;
      if (best != pool.blocks.end()) {
        found = best->first;
        capacity = best->second;
        pool.bytes -= capacity;
        pool.blocks.erase(best);
      }
    }
    if (found) {
      if (zeroed && dirty)
        *dirty = true;
      else if (zeroed)
        std::memset(found, 0, bytes);
      return PixelBuffer(found, PoolReturn{capacity});
    }
    // A block the pool cannot serve is new memory: the pool gives way so
    // that what it keeps and the new block stay within its bound (all of
    // it for a block above the bound), and a large picture after smaller
    // ones costs no more than it alone.
    std::vector<BYTE*> evicted;
    {
      Pool& pool = ThePool();
      const std::lock_guard<std::mutex> lock(pool.mutex);
      while (!pool.blocks.empty() && pool.bytes + bytes > kPoolBytes) {
        evicted.push_back(pool.blocks.front().first);
        pool.bytes -= pool.blocks.front().second;
        pool.blocks.erase(pool.blocks.begin());
      }
    }
    for (BYTE* b : evicted) std::free(b);
  }
  BYTE* block = static_cast<BYTE*>(zeroed ? std::calloc(bytes, 1) : std::malloc(bytes));
  return PixelBuffer(block, PoolReturn{bytes});
}

void DrainPixelPool() {
  Pool& pool = ThePool();
  const std::lock_guard<std::mutex> lock(pool.mutex);
  for (auto& [block, capacity] : pool.blocks) std::free(block);
  pool.blocks.clear();
  pool.bytes = 0;
}

int FormatBits(PixelFormat format) {
  switch (format) {
    case PixelFormat1bppIndexed:
      return 1;
    case PixelFormat4bppIndexed:
      return 4;
    case PixelFormat8bppIndexed:
      return 8;
    case PixelFormat16bppRGB555:
    case PixelFormat16bppRGB565:
    case PixelFormat16bppARGB1555:
      return 16;
    case PixelFormat24bppRGB:
      return 24;
    case PixelFormat32bppRGB:
    case PixelFormat32bppARGB:
    case PixelFormat32bppPARGB:
      return 32;
    default:
      return 0;
  }
}

bool IsIndexed(PixelFormat format) {
  return format == PixelFormat1bppIndexed || format == PixelFormat4bppIndexed ||
         format == PixelFormat8bppIndexed;
}

bool HasAlpha(PixelFormat format) {
  return format == PixelFormat32bppARGB || format == PixelFormat32bppPARGB ||
         format == PixelFormat16bppARGB1555;
}

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
  PixelBuffer pixels = AllocatePixels(static_cast<std::size_t>(stride * height), zeroed, dirty);
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

namespace {

inline void PutArgb(ARGB c, BYTE* out) {
  out[0] = static_cast<BYTE>(c);
  out[1] = static_cast<BYTE>(c >> 8);
  out[2] = static_cast<BYTE>(c >> 16);
  out[3] = static_cast<BYTE>(c >> 24);
}

inline unsigned IndexAt(PixelFormat format, const BYTE* row, INT x) {
  switch (format) {
    case PixelFormat1bppIndexed:
      return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case PixelFormat4bppIndexed:
      return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    default:
      return row[x];
  }
}

inline void SetIndexAt(PixelFormat format, BYTE* row, INT x, unsigned index) {
  switch (format) {
    case PixelFormat1bppIndexed: {
      const BYTE bit = static_cast<BYTE>(0x80u >> (x & 7));
      row[x >> 3] = static_cast<BYTE>(index ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
      break;
    }
    case PixelFormat4bppIndexed:
      row[x >> 1] = static_cast<BYTE>((x & 1) ? ((row[x >> 1] & 0xF0u) | (index & 0x0Fu))
                                             : ((row[x >> 1] & 0x0Fu) | (index << 4)));
      break;
    default:
      row[x] = static_cast<BYTE>(index);
  }
}

void ReadBgraFormat(PixelFormat format, const ARGB* palette, const BYTE* row, INT x, INT count,
                    BYTE* out) {
  switch (format) {
    case PixelFormat1bppIndexed:
    case PixelFormat4bppIndexed:
    case PixelFormat8bppIndexed:
      for (INT i = 0; i < count; ++i) PutArgb(palette[IndexAt(format, row, x + i)], out + 4 * i);
      return;
    case PixelFormat16bppRGB555:
    case PixelFormat16bppARGB1555:
    case PixelFormat16bppRGB565: {
      const BYTE* p = row + 2 * x;
      for (INT i = 0; i < count; ++i, p += 2, out += 4) {
        const unsigned v = p[0] | (p[1] << 8);
        if (format == PixelFormat16bppRGB565) {
          out[0] = dib::ExpandChannel(v & 31, 5), out[1] = dib::ExpandChannel((v >> 5) & 63, 6);
          out[2] = dib::ExpandChannel(v >> 11, 5);
          out[3] = 255;
        } else {
          out[0] = dib::ExpandChannel(v & 31, 5), out[1] = dib::ExpandChannel((v >> 5) & 31, 5);
          out[2] = dib::ExpandChannel((v >> 10) & 31, 5);
          out[3] = (format == PixelFormat16bppRGB555 || (v & 0x8000)) ? 255 : 0;
        }
      }
      return;
    }
    case PixelFormat24bppRGB: {
      const BYTE* p = row + 3 * x;
      for (INT i = 0; i < count; ++i, p += 3, out += 4) out[0] = p[0], out[1] = p[1], out[2] = p[2], out[3] = 255;
      return;
    }
    case PixelFormat32bppRGB: {
      const BYTE* p = row + 4 * x;
      for (INT i = 0; i < count; ++i, p += 4, out += 4) out[0] = p[0], out[1] = p[1], out[2] = p[2], out[3] = 255;
      return;
    }
    case PixelFormat32bppARGB:
      std::memcpy(out, row + 4 * x, static_cast<std::size_t>(count) * 4);
      return;
    case PixelFormat32bppPARGB: {
      const BYTE* p = row + 4 * x;
      for (INT i = 0; i < count; ++i, p += 4, out += 4) {
        const unsigned a = p[3];
        if (a == 0) {
          out[0] = out[1] = out[2] = out[3] = 0;
          continue;
        }
        for (int c = 0; c < 3; ++c) out[c] = static_cast<BYTE>(std::min(255u, (p[c] * 255u + a / 2) / a));
        out[3] = static_cast<BYTE>(a);
      }
      return;
    }
    default:
      std::memset(out, 0, static_cast<std::size_t>(count) * 4);
  }
}

bool ByteAligned(const GpRect& area, int bits) { return (static_cast<std::int64_t>(area.X) * bits) % 8 == 0; }

std::size_t RowBytes(INT width, int bits) { return (static_cast<std::size_t>(width) * bits + 7) / 8; }

// Same-format copies; sub-byte formats starting mid-byte go pixel by pixel.
void CopySameFormat(PixelFormat format, const BYTE* src, INT srcX, BYTE* dst, INT dstX, INT width) {
  const int bits = FormatBits(format);
  INT done = 0;
  if ((static_cast<std::int64_t>(srcX) * bits) % 8 == 0 && (static_cast<std::int64_t>(dstX) * bits) % 8 == 0) {
    const std::size_t whole = static_cast<std::size_t>(width) * bits / 8;
    std::memcpy(dst + static_cast<std::size_t>(dstX) * bits / 8, src + static_cast<std::size_t>(srcX) * bits / 8, whole);
    done = static_cast<INT>(whole * 8 / bits);
  }
  for (INT i = done; i < width; ++i) SetIndexAt(format, dst, dstX + i, IndexAt(format, src, srcX + i));
}

}  // namespace

void ReadBgra(const GpBitmap& source, const BYTE* row, INT x, INT count, BYTE* out) {
  ReadBgraFormat(source.format, source.palette.data(), row, x, count, out);
}

bool CanWrite(PixelFormat format) {
  return FormatBits(format) >= 16;
}

void WriteBgra(const BYTE* in, INT count, PixelFormat format, BYTE* out) {
  switch (format) {
    case PixelFormat24bppRGB:
      for (INT i = 0; i < count; ++i, in += 4, out += 3) out[0] = in[0], out[1] = in[1], out[2] = in[2];
      return;
    case PixelFormat32bppRGB:
      for (INT i = 0; i < count; ++i, in += 4, out += 4) out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 255;
      return;
    case PixelFormat32bppARGB:
      std::memcpy(out, in, static_cast<std::size_t>(count) * 4);
      return;
    case PixelFormat32bppPARGB:
      for (INT i = 0; i < count; ++i, in += 4, out += 4) {
        const unsigned a = in[3];
        for (int c = 0; c < 3; ++c) out[c] = static_cast<BYTE>((in[c] * a + 127) / 255);
        out[3] = static_cast<BYTE>(a);
      }
      return;
    case PixelFormat16bppRGB555:
    case PixelFormat16bppARGB1555:
    case PixelFormat16bppRGB565:
      for (INT i = 0; i < count; ++i, in += 4, out += 2) {
        unsigned v;
        if (format == PixelFormat16bppRGB565)
          v = ((in[2] >> 3) << 11) | ((in[1] >> 2) << 5) | (in[0] >> 3);
        else
          v = ((in[2] >> 3) << 10) | ((in[1] >> 3) << 5) | (in[0] >> 3) |
              ((format == PixelFormat16bppARGB1555 && in[3] < 128) ? 0 : 0x8000u);
        if (format == PixelFormat16bppRGB555) v &= 0x7FFF;
        out[0] = static_cast<BYTE>(v), out[1] = static_cast<BYTE>(v >> 8);
      }
      return;
    default:
      return;
  }
}

void ConvertArea(const GpBitmap& source, const GpRect& area, PixelFormat format, BYTE* dest,
                 std::ptrdiff_t destStride) {
  for (INT y = 0; y < area.Height; ++y, dest += destStride) {
    const BYTE* row = source.Row(area.Y + y);
    if (format == source.format) {
      CopySameFormat(format, row, area.X, dest, 0, area.Width);
      continue;
    }
    // The conversions that stretching and frame composition meet every frame.
    if (format == PixelFormat24bppRGB && (source.format == PixelFormat32bppRGB || source.format == PixelFormat32bppARGB)) {
      const BYTE* p = row + 4 * area.X;
      BYTE* d = dest;
      for (INT i = 0; i < area.Width; ++i, p += 4, d += 3) d[0] = p[0], d[1] = p[1], d[2] = p[2];
      continue;
    }
    if (format == PixelFormat32bppRGB && source.format == PixelFormat24bppRGB) {
      const BYTE* p = row + 3 * area.X;
      BYTE* d = dest;
      for (INT i = 0; i < area.Width; ++i, p += 3, d += 4) d[0] = p[0], d[1] = p[1], d[2] = p[2], d[3] = 255;
      continue;
    }
    if (format == PixelFormat24bppRGB && source.format == PixelFormat8bppIndexed) {
      const BYTE* p = row + area.X;
      BYTE* d = dest;
      for (INT i = 0; i < area.Width; ++i, d += 3) {
        const ARGB c = source.palette[p[i]];
        d[0] = static_cast<BYTE>(c), d[1] = static_cast<BYTE>(c >> 8), d[2] = static_cast<BYTE>(c >> 16);
      }
      continue;
    }
    // Everything else goes through straight BGRA, a chunk at a time.
    BYTE bgra[4 * 256];
    const int dstBits = FormatBits(format);
    for (INT x = 0; x < area.Width; x += 256) {
      const INT n = std::min<INT>(256, area.Width - x);
      ReadBgra(source, row, area.X + x, n, bgra);
      WriteBgra(bgra, n, format, dest + static_cast<std::size_t>(x) * dstBits / 8);
    }
  }
}

void StoreArea(GpBitmap& target, const GpRect& area, PixelFormat format, const BYTE* source,
               std::ptrdiff_t sourceStride) {
  for (INT y = 0; y < area.Height; ++y, source += sourceStride) {
    BYTE* row = target.Row(area.Y + y);
    if (format == target.format) {
      CopySameFormat(format, source, 0, row, area.X, area.Width);
      continue;
    }
    BYTE bgra[4 * 256];
    const int dstBits = FormatBits(target.format);
    for (INT x = 0; x < area.Width; x += 256) {
      const INT n = std::min<INT>(256, area.Width - x);
      ReadBgraFormat(format, nullptr, source, x, n, bgra);
      WriteBgra(bgra, n, target.format, row + static_cast<std::size_t>(area.X + x) * dstBits / 8);
    }
  }
}

}  // namespace gdip

using namespace gdip;

namespace {

std::atomic<std::uintptr_t> g_startups{0};

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
