#include "platform/gdip/orientation.h"

#include <cstring>
#include <memory>

#include "platform/picture_probe.h"

namespace gdip {
namespace {

// Segments, chunks or directory entries looked at before giving up.
constexpr int kMaxSteps = 4096;
constexpr int kOrientationTag = 0x0112;

std::uint32_t Be16(const BYTE* p) { return static_cast<std::uint32_t>(p[0] << 8 | p[1]); }
std::uint32_t Be32(const BYTE* p) { return Be16(p) << 16 | Be16(p + 2); }

// The TIFF structure at `base` (a TIFF file, or the block after
// "Exif\0\0"); BigTIFF only where a whole file may be one.
class TiffTags {
 public:
  TiffTags(const ByteSource& bytes, std::uint64_t base, bool allowBig) : m_bytes(bytes), m_base(base) {
    BYTE h[16];
    if (!bytes.Read(base, h, 8)) return;
    m_motorola = h[0] == 'M' && h[1] == 'M';
    if (!m_motorola && !(h[0] == 'I' && h[1] == 'I')) return;
    const std::uint64_t magic = U16(h + 2);
    m_big = magic == 43;
    if (magic != 42 && !(m_big && allowBig)) return;
    if (m_big && !bytes.Read(base, h, 16)) return;
    m_first = m_big ? U64(h + 8) : U32(h + 4);
    m_valid = true;
  }

  struct Entry {
    std::uint64_t type = 0, count = 0;
    BYTE value[8]{};  // the value field as stored
  };
  // The entry of `tag` in the directory at `ifd` (from base; 0: the first).
  bool Find(std::uint64_t ifd, int tag, Entry* out) const {
    if (!m_valid) return false;
    const std::uint64_t at = m_base + (ifd ? ifd : m_first);
    BYTE countBytes[8];
    if (!m_bytes.Read(at, countBytes, m_big ? 8 : 2)) return false;
    const std::uint64_t count = m_big ? U64(countBytes) : U16(countBytes);
    const std::size_t size = m_big ? 20 : 12;
    for (std::uint64_t i = 0; i < count && i < kMaxSteps; ++i) {
      BYTE e[20];
      if (!m_bytes.Read(at + (m_big ? 8 : 2) + i * size, e, size)) return false;
      if (U16(e) != std::uint64_t(tag)) continue;
      out->type = U16(e + 2);
      out->count = m_big ? U64(e + 4) : U32(e + 4);
      std::memcpy(out->value, e + (m_big ? 12 : 8), m_big ? 8 : 4);
      return true;
    }
    return false;
  }
  std::uint64_t Short(const Entry& e) const { return U16(e.value); }
  std::uint64_t Long(const Entry& e) const { return e.type == 3 ? U16(e.value) : U32(e.value); }
  // An ASCII value, up to its first zero.
  std::string Text(const Entry& e) const {
    if (e.type != 2 || e.count == 0 || e.count > 64) return {};
    std::string text(e.count, '\0');
    const std::size_t inside = m_big ? 8 : 4;
    if (e.count <= inside)
      std::memcpy(text.data(), e.value, e.count);
    else if (!m_bytes.Read(m_base + (m_big ? U64(e.value) : U32(e.value)), text.data(), e.count))
      return {};
    return text.substr(0, text.find('\0'));
  }

 private:
  std::uint64_t U16(const BYTE* p) const { return m_motorola ? Be16(p) : std::uint64_t(p[0] | p[1] << 8); }
  std::uint64_t U32(const BYTE* p) const { return m_motorola ? Be32(p) : U16(p) | U16(p + 2) << 16; }
  std::uint64_t U64(const BYTE* p) const { return m_motorola ? U32(p) << 32 | U32(p + 4) : U32(p) | U32(p + 4) << 32; }

  const ByteSource& m_bytes;
  std::uint64_t m_base;
  bool m_motorola = false, m_big = false, m_valid = false;
  std::uint64_t m_first = 0;
};

int TiffOrientation(const TiffTags& tags) {
  TiffTags::Entry e;
  if (!tags.Find(0, kOrientationTag, &e) || e.type != 3) return 1;  // SHORT
  const std::uint64_t v = tags.Short(e);
  return v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
}

std::string TiffCaptureTime(const TiffTags& tags) {
  TiffTags::Entry e;
  if (!tags.Find(0, 0x8769, &e) || (e.type != 4 && e.type != 13)) return {};  // the EXIF directory
  const std::uint64_t exif = tags.Long(e);
  if (exif == 0 || !tags.Find(exif, 0x9003, &e)) return {};  // DateTimeOriginal
  std::string time = tags.Text(e);
  if (time.size() != 19) return {};
  std::string sub;
  if (tags.Find(exif, 0x9291, &e)) sub = tags.Text(e);  // SubSecTimeOriginal
  while (!sub.empty() && sub.back() == ' ') sub.pop_back();
  if (sub.size() > 9 || sub.find_first_not_of("0123456789") != std::string::npos) sub.clear();
  return time + "." + sub + std::string(9 - sub.size(), '0');
}

// Where a JPEG's or PNG's EXIF block begins.
bool JpegExif(const ByteSource& bytes, std::uint64_t* base) {
  std::uint64_t at = 2;
  for (int step = 0; step < kMaxSteps; ++step) {
    BYTE m[10];
    if (!bytes.Read(at, m, 2) || m[0] != 0xFF) return false;
    const int marker = m[1];
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      at += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9 || !bytes.Read(at + 2, m + 2, 2)) return false;
    const std::uint32_t length = Be16(m + 2);
    if (marker == 0xE1 && length >= 8 + 6 && bytes.Read(at + 4, m + 4, 6) && std::memcmp(m + 4, "Exif\0\0", 6) == 0) {
      *base = at + 10;
      return true;
    }
    at += 2 + length;
  }
  return false;
}

bool PngExif(const ByteSource& bytes, std::uint64_t* base) {
  std::uint64_t at = 8;
  for (int step = 0; step < kMaxSteps; ++step) {
    BYTE c[8];
    if (!bytes.Read(at, c, sizeof c) || std::memcmp(c + 4, "IEND", 4) == 0) return false;
    if (std::memcmp(c + 4, "eXIf", 4) == 0) {
      *base = at + 8;
      return true;
    }
    at += 12 + std::uint64_t{Be32(c)};
  }
  return false;
}

// The tags the file carries, or null.
std::unique_ptr<TiffTags> FileTags(const ByteSource& bytes) {
  BYTE magic[8];
  if (!bytes.Read(0, magic, sizeof magic)) return nullptr;
  std::uint64_t base = 0;
  if (std::memcmp(magic, "\xFF\xD8\xFF", 3) == 0)
    return JpegExif(bytes, &base) ? std::make_unique<TiffTags>(bytes, base, false) : nullptr;
  if (std::memcmp(magic, "\x89PNG\r\n\x1A\n", 8) == 0)
    return PngExif(bytes, &base) ? std::make_unique<TiffTags>(bytes, base, false) : nullptr;
  if (std::memcmp(magic, "II", 2) == 0 || std::memcmp(magic, "MM", 2) == 0)
    return std::make_unique<TiffTags>(bytes, 0, true);
  return nullptr;
}

}  // namespace

bool MemoryBytes::Read(std::uint64_t offset, void* out, std::size_t length) const {
  if (offset > m_size || length > m_size - offset) return false;
  std::memcpy(out, m_data + offset, length);
  return true;
}

int FileOrientation(const ByteSource& bytes) {
  const std::unique_ptr<TiffTags> tags = FileTags(bytes);
  return tags ? TiffOrientation(*tags) : 1;
}

std::string FileCaptureTime(const ByteSource& bytes) {
  const std::unique_ptr<TiffTags> tags = FileTags(bytes);
  return tags ? TiffCaptureTime(*tags) : std::string();
}

}  // namespace gdip

RotateFlipType UprightTurn(int orientation) {
  switch (orientation) {
    case 2: return RotateNoneFlipX;
    case 3: return Rotate180FlipNone;
    case 4: return Rotate180FlipX;
    case 5: return Rotate90FlipX;
    case 6: return Rotate90FlipNone;
    case 7: return Rotate270FlipX;
    case 8: return Rotate270FlipNone;
    default: return RotateNoneFlipNone;
  }
}
