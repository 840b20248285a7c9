// Device-independent bitmaps: what a header says (sizes, bit depth, bit-field
// masks, colour table), read once for every reader of the platform layer (BMP
// files, GdipCreateBitmapFromGdiDib, uncompressed AVI streams), and the one
// conversion of their rows to blue, green, red (and alpha) bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/dib/channel.h"
#include "platform/wintypes.h"

namespace dib {

constexpr DWORD kBiJpeg = 4;
constexpr DWORD kBiPng = 5;
constexpr DWORD kBiAlphaBitfields = 6;

struct DibFormat {
  std::int64_t width = 0;
  std::int64_t height = 0;  // as stated: negative for rows from the top
  int bitCount = 0;
  DWORD compression = BI_RGB;
  // Red, green, blue, alpha. For 16 and 32-bit BI_RGB, the masks that layout
  // implies (5-5-5; 8-8-8 with the fourth byte ignored).
  std::uint32_t masks[4] = {0, 0, 0, 0};
  // The colour table of 1, 4 and 8-bit bitmaps as 0xAARRGGBB, opaque; at most
  // 2^bitCount entries, fewer when the header says so.
  std::vector<std::uint32_t> colors;

  std::int64_t rows() const { return height < 0 ? -height : height; }
  bool topDown() const { return height < 0; }
};

enum class DibRead {
  kOk,
  kDamaged,      // a field or table lies past the bytes at hand
  kUnsupported,  // a header of a kind not read here
};

// What to do with a colour table cut short by the end of the bytes.
enum class ColorTable {
  kWhole,  // damaged
  kCut,    // keep the entries there are; the missing ones read black
};

// Reads the description of a bitmap from `info`: its header of headerSize
// bytes (12: the core header of old BMP files, 16-bit sides, 3-byte colours;
// 16 and more: BITMAPINFOHEADER and its later versions, fields past a short
// header reading 0), then the masks and colours the header calls for. Never
// reads past `size` bytes.
[[nodiscard]] DibRead ReadDibFormat(const std::uint8_t* info, std::size_t size, std::size_t headerSize, ColorTable table,
                      DibFormat* out);

// Rows of a bitmap turned into blue, green, red (and alpha) bytes: palettes
// looked up, bit fields widened with ExpandChannel. One object per format;
// its conversions may run on several threads at once.
class DibRows {
 public:
  // BI_RGB with 1, 4, 8, 16, 24 or 32 bits, bit fields (with or without
  // alpha) with 16 or 32 bits. False for anything else, and for masks whose
  // bits are not one run when contiguousMasks.
  [[nodiscard]] bool Init(const DibFormat& format, bool contiguousMasks);
  // Pixels of 8, 16, 24 or 32 bits described by format.masks alone (red,
  // green, blue, each one run of bits), as raw video FourCCs describe them.
  // Bitmap headers give no masks to 8 and 24-bit pixels, so Init refuses
  // those.
  [[nodiscard]] bool InitMasked(const DibFormat& format);

  // Converts the width pixels of one stored row; out takes 3 bytes a pixel.
  void ToBgr(const std::uint8_t* row, std::uint8_t* out) const;
  // The same with a fourth byte, alpha: 255 where the format has none.
  void ToBgra(const std::uint8_t* row, std::uint8_t* out) const;

  int bitCount() const { return m_bitCount; }
  // Bytes from one stored row to the next.
  std::size_t stride() const { return m_stride; }

 private:
  template <int kOut>
  void Convert(const std::uint8_t* row, std::uint8_t* out) const;
  [[nodiscard]] bool Setup(const DibFormat& format, bool contiguousMasks);

  int m_width = 0;
  int m_bitCount = 0;
  std::size_t m_stride = 0;
  Channel m_channels[4];  // red, green, blue, alpha
  bool m_plainBgrx = false;  // 32 bits stored as blue, green, red, ignored
  bool m_masked24 = false;   // 24 bits in another order than blue, green, red
  std::vector<std::uint8_t> m_palette;  // blue, green, red, alpha per entry, 256 entries
  std::vector<std::uint8_t> m_lut16;    // 16-bit pixel to blue, green, red, alpha
};

}  // namespace dib
