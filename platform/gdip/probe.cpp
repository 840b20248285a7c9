// ProbePictureFile: the size of a picture from the fields its decoder reads
// first, each read with pread and bounded by the file.
#include "platform/picture_probe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dib/layout.h"
#include "platform/dib/little_endian.h"
#include "platform/gdip/decoders.h"
#include "platform/gdip/row_reducer.h"
#include "platform/gdip/orientation.h"

namespace {

// Files above this are mapped by the decoders rather than read into memory.
constexpr std::uint64_t kReadLimit = std::uint64_t{256} << 20;
// Chunks, segments or tags looked at before giving up on a header.
constexpr int kMaxSteps = 4096;

class File final : public gdip::ByteSource {
 public:
  // The modification time of the regular file, if it is one.
  bool Modified(timespec* when) const {
    struct stat info;
    if (m_fd < 0 || fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    *when = info.st_mtim;
    return true;
  }

 public:
  explicit File(const char* path) {
    m_fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info;
    if (m_fd >= 0 && fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode)) m_size = static_cast<std::uint64_t>(info.st_size);
  }
  ~File() {
    if (m_fd >= 0) close(m_fd);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  std::uint64_t size() const { return m_size; }
  // Exactly `length` bytes at `offset`, or false.
  bool Read(std::uint64_t offset, void* out, std::size_t length) const override {
    if (m_size == 0 || offset > m_size || length > m_size - offset) return false;
    auto* to = static_cast<std::uint8_t*>(out);
    while (length > 0) {
      const ssize_t n = pread(m_fd, to, length, static_cast<off_t>(offset));
      if (n <= 0) return false;
      to += n, offset += static_cast<std::uint64_t>(n), length -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int m_fd = -1;
  std::uint64_t m_size = 0;  // 0 also for what is not a regular file
};

std::uint32_t Be16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] << 8 | p[1]); }
std::uint32_t Be32(const std::uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }

// Bytes of width x height pixels of `bits`, or 0 when the decoders would
// refuse them before allocating.
std::uint64_t PixelBytes(std::int64_t width, std::int64_t height, int bits) {
  if (!dib::Fits(width, height, bits)) return 0;
  return static_cast<std::uint64_t>(dib::Stride(width, bits) * height);
}

struct Shape {
  std::int64_t width = 0, height = 0;
  std::uint64_t bytes = 0;  // without the file
  bool greyTiff16 = false;
  int fileBits = 0;
  // Decoded to fit: whether the rows come in order (else the picture is
  // held whole before it is reduced), and with alpha.
  bool inOrder = false;
  bool alpha = true;
  bool reducedAlready = false;  // the JPEG probe counted its fit itself
};

bool ProbeBmp(const File& f, Shape* s) {
  std::uint8_t h[36];
  if (!f.Read(0, h, sizeof h)) return false;
  const std::uint32_t headerSize = dib::GetLE32(h + 14);
  int bits;
  if (headerSize == 12) {
    s->width = dib::GetLE16(h + 18), s->height = dib::GetLE16(h + 20), bits = dib::GetLE16(h + 24);
  } else {
    s->width = static_cast<std::int32_t>(dib::GetLE32(h + 18));
    s->height = std::abs(static_cast<std::int64_t>(static_cast<std::int32_t>(dib::GetLE32(h + 22))));
    bits = dib::GetLE16(h + 28);
  }
  s->fileBits = bits;
  // 16-bit fields of no 16-bit layout become 32 bits.
  const int out = bits <= 8 ? bits : bits == 24 ? 24 : 32;
  s->bytes = PixelBytes(s->width, s->height, out);
  s->inOrder = true;
  s->alpha = out == 32;
  return true;
}

bool ProbePng(const File& f, Shape* s) {
  std::uint8_t h[29];
  if (!f.Read(0, h, sizeof h)) return false;
  s->width = Be32(h + 16), s->height = Be32(h + 20);
  s->inOrder = h[28] == 0;
  const int depth = h[24], type = h[25];
  s->fileBits = depth * (type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1);
  // Transparency anywhere before the data widens grey and colour to ARGB.
  bool trns = false;
  std::uint64_t at = 8;
  for (int step = 0; step < kMaxSteps; ++step) {
    std::uint8_t c[8];
    if (!f.Read(at, c, sizeof c) || std::memcmp(c + 4, "IDAT", 4) == 0 || std::memcmp(c + 4, "IEND", 4) == 0) break;
    if (std::memcmp(c + 4, "tRNS", 4) == 0) trns = true;
    at += 12 + std::uint64_t{Be32(c)};
  }
  int bits = 32;
  if (type == 3) bits = depth == 1 || depth == 4 ? depth : 8;
  else if (type == 0 && !trns) bits = depth == 1 ? 1 : 8;
  else if (type == 2 && !trns) bits = 24;
  s->bytes = PixelBytes(s->width, s->height, bits);
  s->alpha = bits == 32 || type == 3;
  return true;
}

bool ProbeGif(const File& f, Shape* s) {
  std::uint8_t h[13];
  if (!f.Read(0, h, sizeof h)) return false;
  s->width = dib::GetLE16(h + 6);
  s->height = dib::GetLE16(h + 8);
  s->fileBits = 8;
  if (s->width == 0 || s->height == 0) {
    // A screen of 0 takes the first frame's size: past the colour table and
    // the extensions before it.
    std::uint64_t at = 13 + ((h[10] & 0x80) ? 3u << ((h[10] & 7) + 1) : 0u);
    for (int step = 0; step < kMaxSteps; ++step) {
      std::uint8_t b[10];
      if (!f.Read(at, b, 1)) return false;
      if (b[0] == 0x2C) {
        if (!f.Read(at, b, sizeof b)) return false;
        if (s->width == 0) s->width = dib::GetLE16(b + 5);
        if (s->height == 0) s->height = dib::GetLE16(b + 7);
        break;
      }
      if (b[0] != 0x21) return false;
      at += 2;  // introducer and label, then sub-blocks up to an empty one
      for (;; ++step) {
        if (step >= kMaxSteps || !f.Read(at, b, 1)) return false;
        at += 1 + b[0];
        if (b[0] == 0) break;
      }
    }
  }
  s->bytes = PixelBytes(s->width, s->height, 8);
  return true;
}

bool ProbeJpeg(const File& f, Shape* s, std::int64_t fitWidth, std::int64_t fitHeight) {
  std::uint64_t at = 2;
  for (int step = 0; step < kMaxSteps; ++step) {
    std::uint8_t m[4];
    if (!f.Read(at, m, 2)) return false;
    if (m[0] != 0xFF) return false;
    if (m[1] == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const int marker = m[1];
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      at += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9 || !f.Read(at + 2, m + 2, 2)) return false;
    const std::uint32_t length = Be16(m + 2);
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (!frame) {
      at += 2 + length;
      continue;
    }
    std::uint8_t sof[6 + 3 * 4];
    if (length < 8 || !f.Read(at + 4, sof, 6)) return false;
    s->height = Be16(sof + 1), s->width = Be16(sof + 3);
    const int components = sof[5];
    s->fileBits = sof[0] * components;
    if (components < 1 || components > 4 || length < 8u + 3u * components || !f.Read(at + 10, sof + 6, 3 * components))
      return false;
    // Grey stays 8 bits; everything else becomes 24. Decoded to fit, the
    // pixels may be halved both ways, then reduced to 24 bits at the fit.
    const std::int64_t by = gdip::JpegReduction(s->width, s->height, fitWidth, fitHeight);
    const gdip::ReducedSize to = gdip::ReducedTo(s->width / by, s->height / by, static_cast<INT>(fitWidth),
                                                 static_cast<INT>(fitHeight));
    const bool reduced = to.width != s->width / by || to.height != s->height / by;
    s->bytes = dib::Fits(s->width, s->height, components == 1 ? 8 : 24)
                   ? PixelBytes(to.width, to.height, components == 1 && !reduced ? 8 : 24)
                   : 0;
    s->reducedAlready = true;
    // A progressive picture also holds every coefficient, two bytes a sample.
    const bool progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
    if (progressive && s->bytes > 0) {
      int hMax = 1, vMax = 1;
      for (int c = 0; c < components; ++c)
        hMax = std::max(hMax, sof[7 + 3 * c] >> 4), vMax = std::max(vMax, sof[7 + 3 * c] & 15);
      for (int c = 0; c < components; ++c) {
        const std::int64_t hc = std::max(sof[7 + 3 * c] >> 4, 1), vc = std::max(sof[7 + 3 * c] & 15, 1);
        s->bytes += static_cast<std::uint64_t>((s->width * hc + hMax - 1) / hMax * ((s->height * vc + vMax - 1) / vMax) * 2);
      }
    }
    return true;
  }
  return false;
}

bool ProbeTiff(const File& f, Shape* s) {
  std::uint8_t h[16];
  if (!f.Read(0, h, 8)) return false;
  const bool big = h[0] == 'M' ? Be16(h + 2) == 43 : dib::GetLE16(h + 2) == 43;
  const bool motorola = h[0] == 'M';
  const auto u16 = [&](const std::uint8_t* p) -> std::uint64_t { return motorola ? Be16(p) : dib::GetLE16(p); };
  const auto u32 = [&](const std::uint8_t* p) -> std::uint64_t { return motorola ? Be32(p) : dib::GetLE32(p); };
  const auto u64 = [&](const std::uint8_t* p) { return big ? (motorola ? u32(p) << 32 | u32(p + 4) : dib::GetLE64(p)) : u32(p); };
  if (big && !f.Read(0, h, 16)) return false;
  const std::uint64_t ifd = big ? u64(h + 8) : u32(h + 4);
  std::uint8_t countBytes[8];
  if (!f.Read(ifd, countBytes, big ? 8 : 2)) return false;
  const std::uint64_t count = std::min<std::uint64_t>(big ? u64(countBytes) : u16(countBytes), kMaxSteps);
  const std::size_t entry = big ? 20 : 12;
  std::uint64_t samples = 1, bits = 1, tiled = 0, planes = 1, photometric = ~std::uint64_t{0};
  // libtiff keeps the first copy of a repeated tag; a later copy must not
  // make the probe see another picture than the decoder makes.
  std::uint32_t seen = 0;
  const auto first = [&seen](std::uint64_t tag) {
    const int slot = tag == 256   ? 0
                     : tag == 257 ? 1
                     : tag == 258 ? 2
                     : tag == 277 ? 3
                     : tag == 284 ? 4
                     : tag == 262 ? 5
                                  : -1;
    if (slot < 0) return true;
    const bool fresh = (seen & (1u << slot)) == 0;
    seen |= 1u << slot;
    return fresh;
  };
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint8_t e[20];
    if (!f.Read(ifd + (big ? 8 : 2) + i * entry, e, entry)) return false;
    const std::uint64_t tag = u16(e), type = u16(e + 2);
    if (!first(tag)) continue;
    const std::uint8_t* value = e + (big ? 12 : 8);
    // The first value of a SHORT, LONG or LONG8 field; several SHORTs
    // (BitsPerSample of RGB) that do not fit the entry sit elsewhere.
    const std::uint64_t n = big ? u64(e + 4) : u32(e + 4);
    std::uint8_t far[8];
    if (type == 3 && n * 2 > (big ? 8u : 4u)) {
      if (!f.Read(u64(value), far, 2)) continue;
      value = far;
    }
    const std::uint64_t v = type == 3 ? u16(value) : type == 4 ? u32(value) : type == 16 ? u64(value) : 0;
    if (tag == 256) s->width = static_cast<std::int64_t>(std::min<std::uint64_t>(v, INT64_MAX));
    if (tag == 257) s->height = static_cast<std::int64_t>(std::min<std::uint64_t>(v, INT64_MAX));
    if (tag == 258) bits = v;
    if (tag == 277) samples = v;
    if (tag == 262) photometric = v;
    if (tag == 284) planes = v;
    if (tag == 322) tiled = 1;
  }
  s->fileBits = static_cast<int>(std::min<std::uint64_t>(bits, 1024) * std::min<std::uint64_t>(samples, 1024));
  if (samples == 1 && bits == 16) {
    // The codecs refuse it when grey (min-is-white or min-is-black, which a
    // single sample without the tag is); the picture loader reads a raster
    // and makes a 32-bit picture of it.
    s->greyTiff16 = photometric == ~std::uint64_t{0} || photometric == 0 || photometric == 1;
    s->bytes = PixelBytes(s->width, s->height, 16) + PixelBytes(s->width, s->height, 32);
  } else {
    // Strips of 1, 4 or 8-bit single samples and of 8-bit RGB keep their
    // size; every other shape becomes 32 bits.
    int out = 32;
    if (!tiled && samples == 1 && (bits == 1 || bits == 4 || bits == 8)) out = static_cast<int>(bits);
    if (!tiled && samples == 3 && bits == 8 && planes == 1) out = 24;
    s->bytes = PixelBytes(s->width, s->height, out);
  }
  return true;
}

}  // namespace

bool ProbePictureFile(const char* path, PictureProbe* probe) { return ProbePictureFile(path, probe, 0, 0); }

bool ProbePictureFile(const char* path, PictureProbe* probe, std::int64_t fitWidth, std::int64_t fitHeight) {
  if (!path || !probe) return false;
  const File file(path);
  std::uint8_t magic[8];
  if (!file.Read(0, magic, sizeof magic)) return false;
  Shape shape;
  bool known;
  const int orientation = gdip::FileOrientation(file);
  if (orientation >= 5) std::swap(fitWidth, fitHeight);
  if (std::memcmp(magic, "BM", 2) == 0)
    known = ProbeBmp(file, &shape);
  else if (std::memcmp(magic, "\xFF\xD8\xFF", 3) == 0)
    known = ProbeJpeg(file, &shape, fitWidth, fitHeight);
  else if (std::memcmp(magic, "\x89PNG\r\n\x1A\n", 8) == 0)
    known = ProbePng(file, &shape);
  else if (std::memcmp(magic, "GIF87a", 6) == 0 || std::memcmp(magic, "GIF89a", 6) == 0)
    known = ProbeGif(file, &shape);
  else if (std::memcmp(magic, "II*\0", 4) == 0 || std::memcmp(magic, "MM\0*", 4) == 0 ||
           std::memcmp(magic, "II+\0", 4) == 0 || std::memcmp(magic, "MM\0+", 4) == 0)
    known = ProbeTiff(file, &shape);
  else
    known = false;
  if (!known || shape.width <= 0 || shape.height <= 0) return false;
  // Decoded to fit, a picture holds its reduced pixels, and its whole ones
  // first when its rows do not come in order.
  const gdip::ReducedSize to =
      gdip::ReducedTo(shape.width, shape.height, static_cast<INT>(std::clamp<std::int64_t>(fitWidth, 0, INT32_MAX)),
                      static_cast<INT>(std::clamp<std::int64_t>(fitHeight, 0, INT32_MAX)));
  if (!shape.reducedAlready && !shape.greyTiff16 && shape.bytes > 0 &&
      (to.width != shape.width || to.height != shape.height))
    shape.bytes = PixelBytes(to.width, to.height, shape.alpha ? 32 : 24) + (shape.inOrder ? 0 : shape.bytes);
  probe->width = shape.width;
  probe->height = shape.height;
  probe->fileBytes = file.size();
  probe->pixelBytes = shape.bytes;
  probe->greyTiff16 = shape.greyTiff16;
  probe->orientation = orientation;
  probe->fileBits = shape.fileBits;
  // Turning upright copies the pixels once (for a 16-bit grey TIFF, its
  // 32-bit picture).
  const std::uint64_t turned =
      orientation == 1 ? 0 : shape.greyTiff16 ? PixelBytes(shape.width, shape.height, 32) : shape.bytes;
  probe->bytes = shape.bytes + turned + (file.size() <= kReadLimit ? file.size() : 0);
  return true;
}

std::string PictureCaptureTime(const char* path) {
  if (!path) return {};
  const File file(path);
  std::string time = gdip::FileCaptureTime(file);
  if (!time.empty()) return time;
  timespec modified{};
  struct tm local {};
  if (!file.Modified(&modified) || !localtime_r(&modified.tv_sec, &local)) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d.%09ld", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<long>(modified.tv_nsec));
  return text;
}
