#include "platform/codec/raw_source.h"

#include "platform/dib/layout.h"
#include "platform/dib/little_endian.h"

namespace codec {

std::unique_ptr<RawSource> RawSource::Open(StreamSamples& samples, const std::uint8_t* format, std::size_t size) {
  if (!format || size < sizeof(BITMAPINFOHEADER)) return nullptr;
  // The header is as long as it says when that lies within the format;
  // writers that leave biSize wrong still mean the 40-byte header.
  const std::size_t stated = dib::GetLE32(format);
  const std::size_t headerSize = stated >= sizeof(BITMAPINFOHEADER) && stated <= size ? stated : sizeof(BITMAPINFOHEADER);
  dib::DibFormat f;
  if (dib::ReadDibFormat(format, size, headerSize, dib::ColorTable::kCut, &f) != dib::DibRead::kOk) return nullptr;
  if (f.compression != BI_RGB && f.compression != BI_BITFIELDS) return nullptr;
  if (!dib::Fits(f.width, f.rows(), 24)) return nullptr;
  std::unique_ptr<RawSource> source(new RawSource(samples, f));
  if (!source->m_rows.Init(f, true)) return nullptr;
  return source;
}

RawSource::RawSource(StreamSamples& samples, const dib::DibFormat& format)
    : FrameSource(static_cast<int>(format.width), static_cast<int>(format.rows())),
      m_samples(samples),
      m_bottomUp(!format.topDown()) {}

LONG RawSource::Show(LONG s, bool /*backward*/, DibImage& out) {
  const LONG size = m_samples.Size(s);
  if (size < 0 || static_cast<std::size_t>(size) < SampleBytes()) return -1;
  if (m_rows.bitCount() == 24 && m_bottomUp && static_cast<std::size_t>(size) == out.pixelBytes()) {
    // Already the output's rows: read them straight into place.
    return m_samples.Read(s, out.pixels(), size) ? s : -1;
  }
  m_sample.resize(static_cast<std::size_t>(size));
  if (!m_samples.Read(s, m_sample.data(), size)) return -1;
  const std::size_t stride = m_rows.stride();
  const int rows = height();
  for (int y = 0; y < rows; ++y) {
    const int stored = m_bottomUp ? rows - 1 - y : y;
    m_rows.ToBgr(m_sample.data() + static_cast<std::size_t>(stored) * stride, out.rowFromTop(y));
  }
  return s;
}

}  // namespace codec
