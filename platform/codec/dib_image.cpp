#include "platform/codec/dib_image.h"

#include <cstring>

#include "platform/dib/layout.h"

namespace codec {

bool DibImage::Allocate(int width, int height) {
  const int bits = 8 * bytesPerPixel();
  if (!dib::Fits(width, height, bits)) return false;
  if (m_buffer && width == m_width && height == m_height) return true;
  const std::int64_t stride = dib::Stride(width, bits);
  const std::size_t bytes = kPixelOffset + static_cast<std::size_t>(stride * height);
  AvBytesPtr buffer(static_cast<std::uint8_t*>(av_malloc(bytes)));
  if (!buffer) return false;
  m_buffer = std::move(buffer);
  m_width = width;
  m_height = height;
  m_stride = static_cast<std::ptrdiff_t>(stride);
  std::memset(m_buffer.get(), 0, bytes);  // row padding stays zero
  BITMAPINFOHEADER* bih = header();
  bih->biSize = sizeof(BITMAPINFOHEADER);
  bih->biWidth = width;
  bih->biHeight = bgrx() ? -height : height;
  bih->biPlanes = 1;
  bih->biBitCount = static_cast<WORD>(bits);
  bih->biCompression = BI_RGB;
  bih->biSizeImage = static_cast<DWORD>(pixelBytes());
  return true;
}

}  // namespace codec
