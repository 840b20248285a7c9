#include "platform/codec/rgb_convert.h"

#include "platform/dib/layout.h"
#include "platform/dib/little_endian.h"

namespace codec {

bool RgbConverter::Init(const std::uint8_t* format, std::size_t size) {
  if (!format || size < sizeof(BITMAPINFOHEADER)) return false;
  // The header is as long as it says when that lies within the format;
  // writers that leave biSize wrong still mean the 40-byte header.
  const std::size_t stated = dib::GetLE32(format);
  const std::size_t headerSize = stated >= sizeof(BITMAPINFOHEADER) && stated <= size ? stated : sizeof(BITMAPINFOHEADER);
  dib::DibFormat f;
  if (dib::ReadDibFormat(format, size, headerSize, dib::ColorTable::kCut, &f) != dib::DibRead::kOk) return false;
  if (f.compression != BI_RGB && f.compression != BI_BITFIELDS) return false;
  if (!dib::Fits(f.width, f.rows(), 24) || !m_rows.Init(f, true)) return false;
  m_width = static_cast<int>(f.width);
  m_height = static_cast<int>(f.rows());
  m_bottomUp = !f.topDown();
  return true;
}

bool RgbConverter::Convert(const std::uint8_t* sample, std::size_t size, DibImage& out) const {
  if (!sample || size < sampleBytes() || out.width() != m_width || out.height() != m_height) return false;
  const std::size_t stride = m_rows.stride();
  for (int y = 0; y < m_height; ++y) {
    const int srcRow = m_bottomUp ? m_height - 1 - y : y;
    m_rows.ToBgr(sample + static_cast<std::size_t>(srcRow) * stride, out.rowFromTop(y));
  }
  return true;
}

}  // namespace codec
