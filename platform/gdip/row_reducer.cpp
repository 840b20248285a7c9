#include "platform/gdip/row_reducer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace gdip {

ReducedSize ReducedTo(std::int64_t width, std::int64_t height, INT fitWidth, INT fitHeight) {
  if (fitWidth < 1 || fitHeight < 1) return {static_cast<INT>(width), static_cast<INT>(height)};
  return {static_cast<INT>(std::min<std::int64_t>(width, fitWidth)),
          static_cast<INT>(std::min<std::int64_t>(height, fitHeight))};
}

GpStatus RowWriter::Start(INT width, INT height, PixelFormat format, std::vector<ARGB> colors, INT fitWidth,
                          INT fitHeight, bool bottomUp) {
  GpStatus status = CheckSize(width, height, format);
  if (status != Ok) return status;
  m_width = width, m_height = height, m_format = format, m_bottomUp = bottomUp;
  m_rowBytes = static_cast<std::size_t>(dib::Stride(width, FormatBits(format)));
  const ReducedSize to = ReducedTo(width, height, fitWidth, fitHeight);
  m_reducing = to.width != width || to.height != height;
  if (!m_reducing) {
    if ((status = NewBitmap(width, height, format, &m_bitmap, true, &m_dirty)) != Ok) return status;
    if (IsIndexed(format) && !colors.empty()) gdip::SetPalette(*m_bitmap, std::move(colors));
    return Ok;
  }
  m_shape.format = format;
  m_shape.width = width;
  m_shape.height = 1;
  if (IsIndexed(format)) gdip::SetPalette(m_shape, colors.empty() ? GreyPalette(1 << FormatBits(format)) : std::move(colors));
  m_alpha = HasAlpha(format) || (IsIndexed(format) && PaletteHasAlpha(m_shape));
  if ((status = NewBitmap(to.width, to.height, m_alpha ? PixelFormat32bppPARGB : PixelFormat24bppRGB, &m_bitmap)) !=
      Ok)
    return status;
  m_row.assign(m_rowBytes, 0);
  m_bgra.resize(static_cast<std::size_t>(width) * 4);
  // Picture column i spans [i, i + 1) * outWidth, output column j
  // [j, j + 1) * width: whole numbers, so every share is exact. Each picture
  // pixel lies in one output pixel or straddles two.
  const std::int64_t out = to.width;
  m_column.resize(static_cast<std::size_t>(width));
  m_weight.resize(static_cast<std::size_t>(width));
  for (std::int64_t i = 0; i < width; ++i) {
    const std::int64_t from = i * out, j = from / width, boundary = (j + 1) * width;
    m_column[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(j);
    m_weight[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(std::min(out, boundary - from));
  }
  m_first.assign(static_cast<std::size_t>(out) + 1, width);
  for (std::int64_t i = width - 1; i >= 0; --i)
    m_first[static_cast<std::size_t>(m_column[static_cast<std::size_t>(i)])] = static_cast<std::int32_t>(i);
  m_channels = m_alpha ? 4 : 3;
  const std::size_t sums = static_cast<std::size_t>(to.width + 1) * static_cast<std::size_t>(m_channels);
  m_sums.assign(sums, 0), m_plain.assign(sums, 0), m_current.assign(sums, 0), m_next.assign(sums, 0);
  return Ok;
}

BYTE* RowWriter::Row() {
  if (m_reducing) return m_row.data();
  const std::int64_t k = std::min<std::int64_t>(m_pushed, m_height - 1);
  return m_bitmap->Row(static_cast<INT>(m_bottomUp ? m_height - 1 - k : k));
}

void RowWriter::Push() {
  if (m_pushed >= m_height) return;
  if (!m_reducing) {
    ++m_pushed;
    return;
  }
  Push(m_row.data());
}

void RowWriter::Push(const BYTE* row) {
  if (m_pushed >= m_height) return;
  if (!m_reducing) {
    if (row != Row()) std::memcpy(Row(), row, m_rowBytes);
    ++m_pushed;
    return;
  }
  Accumulate(row, &m_sums);
  AddVertically(m_sums);
}

void RowWriter::PushBlank(std::int64_t count) {
  count = std::min(count, left());
  if (count <= 0) return;
  if (!m_reducing) {
    // Fresh memory is zero already and stays out of memory untouched.
    if (m_dirty)
      for (std::int64_t k = 0; k < count; ++k, ++m_pushed) std::memset(Row(), 0, m_rowBytes);
    else
      m_pushed += count;
    return;
  }
  // Every blank row sums alike.
  if (!m_haveBlank) {
    std::fill(m_row.begin(), m_row.end(), BYTE{0});
    m_blankSums.assign(m_sums.size(), 0);
    Accumulate(m_row.data(), &m_blankSums);
    m_haveBlank = true;
  }
  for (std::int64_t k = 0; k < count; ++k) AddVertically(m_blankSums);
}

void RowWriter::Accumulate(const BYTE* row, std::vector<std::uint64_t>* sums) {
  if (!m_alpha) {
    if (m_format == PixelFormat24bppRGB) return AccumulateOpaque<3>(row, sums->data());
    ReadBgra(m_shape, row, 0, m_width, m_bgra.data());
    return AccumulateOpaque<4>(m_bgra.data(), sums->data());
  }
  ReadBgra(m_shape, row, 0, m_width, m_bgra.data());
  std::fill(sums->begin(), sums->end(), 0);
  std::uint64_t* s = sums->data();
  const std::uint32_t out = static_cast<std::uint32_t>(m_bitmap->width);
  const BYTE* p = m_bgra.data();
  for (INT i = 0; i < m_width; ++i, p += 4) {
    const std::uint64_t a = p[3];
    const std::uint64_t v[4] = {p[0] * a, p[1] * a, p[2] * a, a};
    const std::uint64_t w = m_weight[static_cast<std::size_t>(i)];
    std::uint64_t* to = s + 4 * static_cast<std::size_t>(m_column[static_cast<std::size_t>(i)]);
    for (int c = 0; c < 4; ++c) to[c] += w * v[c];
    if (w < out)
      for (int c = 0; c < 4; ++c) to[4 + c] += (out - w) * v[c];
  }
}

// Opaque pixels, kStep bytes apart, blue first. Within an output column
// every picture pixel but the last weighs the whole output width, so they
// are summed plainly and weighed once; the last may straddle into the next
// column, which it reaches with the rest of its width.
template <int kStep>
void RowWriter::AccumulateOpaque(const BYTE* pixels, std::uint64_t* sums) const {
  const std::uint64_t out = static_cast<std::uint64_t>(m_bitmap->width);
  std::uint64_t carry[3] = {0, 0, 0};
  for (INT j = 0; j < m_bitmap->width; ++j, sums += 3) {
    const std::int32_t first = m_first[static_cast<std::size_t>(j)], end = m_first[static_cast<std::size_t>(j) + 1];
    // Each column spans a picture width of output units, each picture pixel
    // an output width of them, no more: never an empty column.
    const BYTE* p = pixels + std::ptrdiff_t(first) * kStep;
    std::uint64_t plain[3] = {0, 0, 0};
    for (std::int32_t i = first; i + 1 < end; ++i, p += kStep)
      for (int c = 0; c < 3; ++c) plain[c] += p[c];
    const std::uint64_t w = m_weight[static_cast<std::size_t>(end - 1)];
    for (int c = 0; c < 3; ++c) {
      sums[c] = out * plain[c] + w * p[c] + carry[c];
      carry[c] = (out - w) * p[c];
    }
  }
}

void RowWriter::AddVertically(const std::vector<std::uint64_t>& sums) {
  const std::int64_t out = m_bitmap->height;
  const std::int64_t from = m_pushed * out, o = from / m_height, boundary = (o + 1) * m_height;
  while (m_out < o) EmitRow();
  const std::uint64_t w = static_cast<std::uint64_t>(std::min(out, boundary - from));
  const std::size_t n = static_cast<std::size_t>(m_bitmap->width) * static_cast<std::size_t>(m_channels);
  if (w == static_cast<std::uint64_t>(out)) {
    // A row wholly inside the output row: weighed when the row is made.
    for (std::size_t k = 0; k < n; ++k) m_plain[k] += sums[k];
  } else {
    for (std::size_t k = 0; k < n; ++k) m_current[k] += w * sums[k];
    for (std::size_t k = 0; k < n; ++k) m_next[k] += (out - w) * sums[k];
  }
  ++m_pushed;
}

void RowWriter::EmitRow() {
  const INT outWidth = m_bitmap->width, outHeight = m_bitmap->height;
  const std::uint64_t out = static_cast<std::uint64_t>(outHeight);
  const std::size_t n = static_cast<std::size_t>(outWidth) * static_cast<std::size_t>(m_channels);
  if (m_out < outHeight) {
    const std::uint64_t total = std::uint64_t(m_width) * std::uint64_t(m_height);
    BYTE* row = m_bitmap->Row(static_cast<INT>(m_bottomUp ? outHeight - 1 - m_out : m_out));
    if (m_alpha) {
      const std::uint64_t* plain = m_plain.data();
      const std::uint64_t* s = m_current.data();
      // Premultiplied: over any background each channel is then rounded
      // once, as the whole picture drawn shrunk is.
      const std::uint64_t scale = total * 255;
      for (INT j = 0; j < outWidth; ++j, s += 4, plain += 4) {
        BYTE* p = row + 4 * std::ptrdiff_t(j);
        for (int c = 0; c < 3; ++c)
          p[c] = static_cast<BYTE>(std::min<std::uint64_t>((out * plain[c] + s[c] + scale / 2) / scale, 255));
        p[3] = static_cast<BYTE>((out * plain[3] + s[3] + total / 2) / total);
      }
    } else {
      // A division a channel is most of the row's cost; a multiplication by
      // the reciprocal gives the same floor. Sums stay below 2^42 (255 times
      // a picture's pixels, at most 2^33 within the size limit), so doubles
      // hold them exactly; the product is within 2^-44 of the true quotient
      // (below 256), which, when not whole, is at least 2^-33 from the next
      // whole number: a nudge of 2^-40 lifts a whole quotient computed a
      // hair low without lifting any other past a whole number.
      const std::uint64_t half = total / 2;
      if (total <= (std::uint64_t{1} << 33)) {
        const double reciprocal = 1.0 / double(total), nudge = 0x1p-40;
        for (std::size_t k = 0; k < n; ++k)
          row[k] = static_cast<BYTE>(double(std::int64_t(out * m_plain[k] + m_current[k] + half)) * reciprocal + nudge);
      } else {
        for (std::size_t k = 0; k < n; ++k) row[k] = static_cast<BYTE>((out * m_plain[k] + m_current[k] + half) / total);
      }
    }
  }
  std::fill(m_plain.begin(), m_plain.begin() + std::ptrdiff_t(n), 0);
  std::swap(m_current, m_next);
  std::fill(m_next.begin(), m_next.begin() + std::ptrdiff_t(n), 0);
  ++m_out;
}

Decoded RowWriter::Finish() {
  PushBlank(left());
  if (m_reducing)
    while (m_out < m_bitmap->height) EmitRow();
  return std::move(m_bitmap);
}

GpStatus ReduceDecoded(Decoded* picture, INT fitWidth, INT fitHeight) {
  GpBitmap& whole = **picture;
  const ReducedSize to = ReducedTo(whole.width, whole.height, fitWidth, fitHeight);
  if (to.width == whole.width && to.height == whole.height) return Ok;
  RowWriter writer;
  const GpStatus status = writer.Start(whole.width, whole.height, whole.format, whole.palette, fitWidth, fitHeight);
  if (status != Ok) return status;
  for (INT y = 0; y < whole.height; ++y) writer.Push(whole.Row(y));
  *picture = writer.Finish();
  return Ok;
}

}  // namespace gdip
