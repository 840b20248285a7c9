// Where a decoder puts its rows: straight into a bitmap of the whole
// picture, or, for a picture that will only be drawn shrunk, into a reducer
// that averages each row into a picture of the drawn size as it comes, so
// the whole picture is never held. Internal to platform/gdip.
//
// The reduction weighs every picture pixel by the exact area it shares with
// each output pixel (transparent pixels by their alpha), the reference
// shrinking is measured against: an integer box reduction followed by
// resampling lands over a dB further from it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdip/decoders.h"

namespace gdip {

// The size a width x height picture is reduced to for fitWidth x
// fitHeight: each side no larger than the fit, none when the fit is not
// given (either side below 1).
struct ReducedSize {
  INT width, height;
};
ReducedSize ReducedTo(std::int64_t width, std::int64_t height, INT fitWidth, INT fitHeight);

class RowWriter {
 public:
  // Checks the whole picture's size against the pixel limit whatever it is
  // reduced to (what decoding it costs in time grows with it), then makes
  // the bitmap: the picture's own of `format`, or the reduced one (32bppPARGB
  // when the format or palette holds alpha, else 24bppRGB) when the fit is
  // smaller on a side. Rows come top down, or bottom up when asked.
  // `colors`: an indexed format's palette.
  [[nodiscard]] GpStatus Start(INT width, INT height, PixelFormat format, std::vector<ARGB> colors, INT fitWidth,
                               INT fitHeight, bool bottomUp = false);

  bool reducing() const { return m_reducing; }
  // The buffer for the next row in the picture's format, as wide as a row
  // of it. Holds old data when reducing.
  BYTE* Row();
  // Bytes in a row of the picture's format.
  std::size_t rowBytes() const { return m_rowBytes; }
  // The row in Row() is done.
  void Push();
  // Or a row of the picture's format from elsewhere.
  void Push(const BYTE* row);
  // The next `count` rows are zero bytes in the picture's format.
  void PushBlank(std::int64_t count);
  // Rows still to come.
  std::int64_t left() const { return m_height - m_pushed; }
  // The picture, rows not pushed taken as blank.
  Decoded Finish();

 private:
  void Accumulate(const BYTE* row, std::vector<std::uint64_t>* sums);
  template <int kStep>
  void AccumulateOpaque(const BYTE* pixels, std::uint64_t* sums) const;
  void AddVertically(const std::vector<std::uint64_t>& sums);
  void EmitRow();

  INT m_width = 0, m_height = 0;
  std::size_t m_rowBytes = 0;
  PixelFormat m_format = 0;
  bool m_bottomUp = false;
  bool m_reducing = false;
  bool m_dirty = false;  // the whole bitmap's pooled memory held old data
  bool m_alpha = false;
  std::int64_t m_pushed = 0;
  Decoded m_bitmap;  // the whole picture, or the reduced one
  // Reducing:
  GpBitmap m_shape;  // the picture's format and palette, for reading rows
  std::vector<BYTE> m_row, m_bgra;
  std::vector<std::int32_t> m_column;   // output column each picture column starts in
  std::vector<std::uint32_t> m_weight;  // and its share of it (the rest goes to the next)
  std::vector<std::int32_t> m_first;    // the first picture column starting in each output column, and the end
  int m_channels = 3;                   // sums per output pixel: blue, green, red, and alpha with alpha
  // Horizontal sums of one row, of the rows wholly inside the output row
  // (unweighted: each weighs the whole output height), and weighted parts
  // of rows straddling into this output row and the next.
  std::vector<std::uint64_t> m_sums, m_blankSums, m_plain, m_current, m_next;
  bool m_haveBlank = false;
  std::int64_t m_out = 0;  // the output row m_current accumulates
};

// Reduces a decoded picture to fit, the same way, for decoders that cannot
// hand out rows in order (interlaced ones). Keeps it when no smaller.
[[nodiscard]] GpStatus ReduceDecoded(Decoded* picture, INT fitWidth, INT fitHeight);

}  // namespace gdip
