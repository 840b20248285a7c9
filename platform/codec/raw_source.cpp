#include "platform/codec/raw_source.h"

#include "platform/dib/layout.h"
#include "platform/dib/little_endian.h"

namespace codec {

namespace {

// The pixels of a raw FourCC (its first byte the depth, then "RGB" or
// "BGR" as MEncoder stores them), as bit fields over the container's bits;
// false for any other code.
bool RawFourccFormat(DWORD fourcc, dib::DibFormat* f) {
  const DWORD order = fourcc & 0xFFFFFF00u;
  const bool redHigh = order == (mmioFOURCC(0, 'R', 'G', 'B') & 0xFFFFFF00u);
  if (!redHigh && order != (mmioFOURCC(0, 'B', 'G', 'R') & 0xFFFFFF00u)) return false;
  struct Depth {
    DWORD code;
    int bitCount;  // of the container
    int red, green, blue;
  };
  static constexpr Depth kDepths[] = {
      {8, 8, 3, 3, 2}, {12, 16, 4, 4, 4}, {15, 16, 5, 5, 5}, {16, 16, 5, 6, 5}, {24, 24, 8, 8, 8}, {32, 32, 8, 8, 8},
  };
  const Depth* depth = nullptr;
  for (const Depth& d : kDepths)
    if (d.code == (fourcc & 0xFF)) depth = &d;
  if (!depth) return false;
  const int red = depth->red, green = depth->green, blue = depth->blue;
  f->bitCount = depth->bitCount;
  const auto mask = [](int bits, int shift) { return ((1u << bits) - 1) << shift; };
  if (redHigh) {
    f->masks[0] = mask(red, blue + green);
    f->masks[1] = mask(green, blue);
    f->masks[2] = mask(blue, 0);
  } else {
    f->masks[0] = mask(red, 0);
    f->masks[1] = mask(green, red);
    f->masks[2] = mask(blue, red + green);
  }
  f->masks[3] = 0;
  f->compression = BI_BITFIELDS;
  f->colors.clear();
  f->height = -f->rows();
  return true;
}

}  // namespace

std::unique_ptr<RawSource> RawSource::Open(StreamSamples& samples, const std::uint8_t* format, std::size_t size) {
  if (!format || size < sizeof(BITMAPINFOHEADER)) return nullptr;
  // The header is as long as it says when that lies within the format;
  // writers that leave biSize wrong still mean the 40-byte header.
  const std::size_t stated = dib::GetLE32(format);
  const std::size_t headerSize = stated >= sizeof(BITMAPINFOHEADER) && stated <= size ? stated : sizeof(BITMAPINFOHEADER);
  dib::DibFormat f;
  if (dib::ReadDibFormat(format, size, headerSize, dib::ColorTable::kCut, &f) != dib::DibRead::kOk) return nullptr;
  if (f.compression == BI_RGB && f.bitCount == 15) {
    // Writers that give RGB555 its depth rather than its container's.
    f.bitCount = 16;
    f.masks[0] = 0x7C00, f.masks[1] = 0x03E0, f.masks[2] = 0x001F;
  }
  // Frames are shown opaque: 32-bit output carries 255, never the stream's alpha.
  f.masks[3] = 0;
  const bool fourcc = f.compression != BI_RGB && f.compression != BI_BITFIELDS;
  if (fourcc && !RawFourccFormat(f.compression, &f)) return nullptr;
  if (!dib::Fits(f.width, f.rows(), 24) || !dib::Fits(f.width, f.rows(), f.bitCount)) return nullptr;
  const std::int64_t stride = fourcc ? (f.width * f.bitCount + 7) / 8 : dib::Stride(f.width, f.bitCount);
  std::unique_ptr<RawSource> source(new RawSource(samples, f, static_cast<std::size_t>(stride)));
  if (!(fourcc ? source->m_rows.InitMasked(f) : source->m_rows.Init(f, true))) return nullptr;
  return source;
}

RawSource::RawSource(StreamSamples& samples, const dib::DibFormat& format, std::size_t stride)
    : FrameSource(static_cast<int>(format.width), static_cast<int>(format.rows())),
      m_samples(samples),
      m_stride(stride),
      m_bottomUp(!format.topDown()) {}

LONG RawSource::Show(LONG s, bool /*backward*/, DibImage& out) {
  const LONG size = m_samples.Size(s);
  if (size < 0 || static_cast<std::size_t>(size) < SampleBytes() || !out.Allocate(width(), height())) return -1;
  if (!out.bgrx() && m_rows.bitCount() == 24 && m_bottomUp && static_cast<std::size_t>(size) == out.pixelBytes()) {
    // Already the output's rows: read them straight into place.
    return m_samples.Read(s, out.pixels(), size) ? s : -1;
  }
  m_sample.resize(static_cast<std::size_t>(size));
  if (!m_samples.Read(s, m_sample.data(), size)) return -1;
  const int rows = height();
  for (int y = 0; y < rows; ++y) {
    const int stored = m_bottomUp ? rows - 1 - y : y;
    const std::uint8_t* row = m_sample.data() + static_cast<std::size_t>(stored) * m_stride;
    if (out.bgrx())
      m_rows.ToBgra(row, out.rowFromTop(y));
    else
      m_rows.ToBgr(row, out.rowFromTop(y));
  }
  return s;
}

}  // namespace codec
