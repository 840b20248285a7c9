// The decoded-frame buffer: a packed DIB (40-byte BITMAPINFOHEADER, BI_RGB,
// no colour table) with the pixel rows right after the header, in one of
// two layouts: 24 bits bottom-up, each row padded to 4 bytes (what callers
// of AVIStreamGetFrame get by default), or 32 bits top-down, blue, green,
// red and 255 (what a video surface paints as it is). Internal to
// platform/codec.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/codec/av_handles.h"
#include "platform/wintypes.h"

namespace codec {

class DibImage {
 public:
  enum class Layout { kBgr24BottomUp, kBgrx32TopDown };

  explicit DibImage(Layout layout = Layout::kBgr24BottomUp) : m_layout(layout) {}

  // Makes room for width x height in the image's layout; false when the
  // size is not positive or its pixels would exceed dib::kMaxPixelBytes.
  // Keeps the buffer when the size is unchanged.
  [[nodiscard]] bool Allocate(int width, int height);

  Layout layout() const { return m_layout; }
  bool bgrx() const { return m_layout == Layout::kBgrx32TopDown; }
  int bytesPerPixel() const { return bgrx() ? 4 : 3; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  std::ptrdiff_t stride() const { return m_stride; }
  std::size_t pixelBytes() const { return static_cast<std::size_t>(m_stride) * m_height; }
  // The header, followed directly by the pixels: what AVIStreamGetFrame returns.
  BITMAPINFOHEADER* header() { return reinterpret_cast<BITMAPINFOHEADER*>(m_buffer.get() + kHeaderOffset); }
  std::uint8_t* pixels() { return m_buffer.get() + kPixelOffset; }
  // Row y counted from the top of the picture.
  std::uint8_t* rowFromTop(int y) {
    return pixels() + static_cast<std::ptrdiff_t>(bgrx() ? y : m_height - 1 - y) * m_stride;
  }

 private:
  // The header sits 24 bytes into the allocation so the pixels start on a
  // 64-byte boundary, as the SIMD converters like.
  static constexpr std::size_t kPixelOffset = 64;
  static constexpr std::size_t kHeaderOffset = kPixelOffset - sizeof(BITMAPINFOHEADER);

  Layout m_layout;
  AvBytesPtr m_buffer;
  int m_width = 0;
  int m_height = 0;
  std::ptrdiff_t m_stride = 0;
};

}  // namespace codec
