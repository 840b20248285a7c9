#include "platform/gdip/orientation.h"

#include <cstring>

#include "platform/picture_probe.h"

namespace gdip {
namespace {

// Segments, chunks or directory entries looked at before giving up.
constexpr int kMaxSteps = 4096;
constexpr int kOrientationTag = 0x0112;

std::uint32_t Be16(const BYTE* p) { return static_cast<std::uint32_t>(p[0] << 8 | p[1]); }
std::uint32_t Be32(const BYTE* p) { return Be16(p) << 16 | Be16(p + 2); }

// The Orientation of the TIFF structure at `base` (a TIFF file, or the
// block after "Exif\0\0"); BigTIFF only where a whole file may be one.
int TiffOrientation(const ByteSource& bytes, std::uint64_t base, bool allowBig) {
  BYTE h[16];
  if (!bytes.Read(base, h, 8)) return 1;
  const bool motorola = h[0] == 'M' && h[1] == 'M';
  if (!motorola && !(h[0] == 'I' && h[1] == 'I')) return 1;
  const auto u16 = [motorola](const BYTE* p) -> std::uint64_t { return motorola ? Be16(p) : p[0] | p[1] << 8; };
  const auto u32 = [&](const BYTE* p) -> std::uint64_t {
    return motorola ? Be32(p) : u16(p) | u16(p + 2) << 16;
  };
  const auto u64 = [&](const BYTE* p) { return motorola ? u32(p) << 32 | u32(p + 4) : u32(p) | u32(p + 4) << 32; };
  const std::uint64_t magic = u16(h + 2);
  const bool big = magic == 43;
  if (magic != 42 && !(big && allowBig)) return 1;
  if (big && !bytes.Read(base, h, 16)) return 1;
  const std::uint64_t ifd = base + (big ? u64(h + 8) : u32(h + 4));
  BYTE countBytes[8];
  if (!bytes.Read(ifd, countBytes, big ? 8 : 2)) return 1;
  const std::uint64_t count = big ? u64(countBytes) : u16(countBytes);
  const std::size_t entry = big ? 20 : 12;
  for (std::uint64_t i = 0; i < count && i < kMaxSteps; ++i) {
    BYTE e[20];
    if (!bytes.Read(ifd + (big ? 8 : 2) + i * entry, e, entry)) return 1;
    if (u16(e) != kOrientationTag) continue;
    if (u16(e + 2) != 3) return 1;  // SHORT
    const std::uint64_t v = u16(e + (big ? 12 : 8));
    return v >= 1 && v <= 8 ? static_cast<int>(v) : 1;
  }
  return 1;
}

int JpegOrientation(const ByteSource& bytes) {
  std::uint64_t at = 2;
  for (int step = 0; step < kMaxSteps; ++step) {
    BYTE m[10];
    if (!bytes.Read(at, m, 2) || m[0] != 0xFF) return 1;
    const int marker = m[1];
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      at += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9 || !bytes.Read(at + 2, m + 2, 2)) return 1;
    const std::uint32_t length = Be16(m + 2);
    if (marker == 0xE1 && length >= 8 + 6 && bytes.Read(at + 4, m + 4, 6) && std::memcmp(m + 4, "Exif\0\0", 6) == 0)
      return TiffOrientation(bytes, at + 10, false);
    at += 2 + length;
  }
  return 1;
}

int PngOrientation(const ByteSource& bytes) {
  std::uint64_t at = 8;
  for (int step = 0; step < kMaxSteps; ++step) {
    BYTE c[8];
    if (!bytes.Read(at, c, sizeof c) || std::memcmp(c + 4, "IEND", 4) == 0) return 1;
    if (std::memcmp(c + 4, "eXIf", 4) == 0) return TiffOrientation(bytes, at + 8, false);
    at += 12 + std::uint64_t{Be32(c)};
  }
  return 1;
}

}  // namespace

bool MemoryBytes::Read(std::uint64_t offset, void* out, std::size_t length) const {
  if (offset > m_size || length > m_size - offset) return false;
  std::memcpy(out, m_data + offset, length);
  return true;
}

int FileOrientation(const ByteSource& bytes) {
  BYTE magic[8];
  if (!bytes.Read(0, magic, sizeof magic)) return 1;
  if (std::memcmp(magic, "\xFF\xD8\xFF", 3) == 0) return JpegOrientation(bytes);
  if (std::memcmp(magic, "\x89PNG\r\n\x1A\n", 8) == 0) return PngOrientation(bytes);
  if (std::memcmp(magic, "II", 2) == 0 || std::memcmp(magic, "MM", 2) == 0) return TiffOrientation(bytes, 0, true);
  return 1;
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
