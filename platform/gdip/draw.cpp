// Graphics on a bitmap and the resampler behind GdipDrawImagePoints: the
// whole source onto an axis-aligned rectangle, each axis on its own, with
// area averaging where it shrinks and bilinear interpolation where it
// grows (the taps: resample_taps.h; the pixel loops: resample_kernels.h).
//
// Pictures of ordinary shape have their rows combined vertically first
// (contiguous, vectorisable), then each output row filtered horizontally.
// That reads the picture's whole width once per output row, so a picture
// whose shape is far from the target's (10,000,000 x 1 onto 1280 x 1024) is
// filtered horizontally first instead, each source row once. Either way the
// work goes in strips of bounded source width and the weights are built a
// block at a time, so time and memory grow with the picture's pixels plus
// the target's, whatever the shapes.
#include "platform/gdip/draw.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/gdip/bitmap.h"
#include "platform/gdip/resample_kernels.h"
#include "platform/gdip/resample_taps.h"

using namespace gdip;
using namespace gdip::resample;

namespace {

// Source columns a strip reads, and source pixels the row ring of a strip
// holds for formats converted on the fly.
constexpr double kStripPixels = 1 << 16;
constexpr double kRingPixels = 1 << 18;

thread_local DrawReport t_report;

// Source rows as bytes the resampler can combine: 3 (blue, green, red) or 4
// (blue, green, red, ignored / premultiplied alpha) bytes a pixel, for the
// columns [lowest, highest). 24 and 32-bit rows are used in place; other
// formats are converted into a small ring of rows.
class RowSource {
 public:
  RowSource(const GpBitmap& source, INT lowest, INT highest, INT ringRows)
      : m_source(source), m_lowest(lowest), m_width(highest - lowest) {
    switch (source.format) {
      case PixelFormat24bppRGB:
        m_pixelBytes = 3, m_channels = 3, m_direct = true;
        break;
      case PixelFormat32bppRGB:
        m_pixelBytes = 4, m_channels = 3, m_direct = true;
        break;
      case PixelFormat32bppPARGB:
        m_pixelBytes = 4, m_channels = 4, m_direct = true;
        break;
      default:
        m_pixelBytes = 4;
        m_channels = Opaque(source) ? 3 : 4;
        m_direct = false;
        m_ring.resize(static_cast<std::size_t>(ringRows) * m_width * 4);
        m_tags.assign(static_cast<std::size_t>(ringRows), -1);
    }
  }
  static bool Direct(const GpBitmap& source) {
    return source.format == PixelFormat24bppRGB || source.format == PixelFormat32bppRGB ||
           source.format == PixelFormat32bppPARGB;
  }
  static bool Opaque(const GpBitmap& source) {
    if (source.format == PixelFormat32bppPARGB) return false;
    return !HasAlpha(source.format) && !(IsIndexed(source.format) && PaletteHasAlpha(source));
  }
  int pixelBytes() const { return m_pixelBytes; }
  int channels() const { return m_channels; }

  // Row y from column `lowest`.
  const BYTE* Row(INT y) {
    if (m_direct) return m_source.Row(y) + static_cast<std::size_t>(m_lowest) * m_pixelBytes;
    const std::size_t slot = static_cast<std::size_t>(y) % m_tags.size();
    BYTE* row = m_ring.data() + slot * m_width * 4;
    if (m_tags[slot] != y) {
      ReadBgra(m_source, m_source.Row(y), m_lowest, m_width, row);
      if (m_channels == 4) {
        for (INT x = 0; x < m_width; ++x) {
          BYTE* p = row + 4 * x;
          const unsigned a = p[3];
          for (int c = 0; c < 3; ++c) p[c] = static_cast<BYTE>((p[c] * a + 127) / 255);
        }
      }
      m_tags[slot] = y;
    }
    return row;
  }

 private:
  const GpBitmap& m_source;
  INT m_lowest;
  INT m_width;
  int m_pixelBytes = 3;
  int m_channels = 3;
  bool m_direct = true;
  std::vector<BYTE> m_ring;
  std::vector<INT> m_tags;
};

inline BYTE Scale255(unsigned v, unsigned by) {
  // v * by / 255, rounded, without a division.
  const unsigned t = v * by + 128;
  return static_cast<BYTE>((t + (t >> 8)) >> 8);
}

// Stores `count` resampled pixels into a target row.
void StorePixels(const BYTE* in, int channels, INT count, PixelFormat format, BYTE* out) {
  const int targetBytes = format == PixelFormat24bppRGB ? 3 : 4;
  if (channels == 3) {
    for (INT i = 0; i < count; ++i, in += 3, out += targetBytes) {
      out[0] = in[0], out[1] = in[1], out[2] = in[2];
      if (targetBytes == 4) out[3] = 255;
    }
    return;
  }
  // Premultiplied source over the target.
  for (INT i = 0; i < count; ++i, in += 4, out += targetBytes) {
    const unsigned a = in[3];
    const unsigned keep = 255 - a;
    if (format == PixelFormat32bppARGB) {
      const unsigned da = out[3];
      const unsigned resultA = a + Scale255(da, keep);
      for (int c = 0; c < 3; ++c) {
        const unsigned premultiplied = in[c] + Scale255(Scale255(out[c], da), keep);
        out[c] = resultA ? static_cast<BYTE>(std::min(255u, (premultiplied * 255 + resultA / 2) / resultA)) : 0;
      }
      out[3] = static_cast<BYTE>(resultA);
      continue;
    }
    for (int c = 0; c < 3; ++c) out[c] = static_cast<BYTE>(std::min(255u, in[c] + unsigned{Scale255(out[c], keep)}));
    if (format == PixelFormat32bppPARGB) out[3] = static_cast<BYTE>(std::min(255u, a + unsigned{Scale255(out[3], keep)}));
    else if (targetBytes == 4) out[3] = 255;
  }
}

bool Drawable(PixelFormat format) {
  return format == PixelFormat24bppRGB || format == PixelFormat32bppRGB || format == PixelFormat32bppARGB ||
         format == PixelFormat32bppPARGB;
}

// What both orders share: the source, the target and its visible area.
struct Job {
  GpBitmap& target;
  const GpBitmap& source;
  Axis across;
  Axis down;
  INT fromX, toX, fromY, toY;
  int channels;          // 3, or 4 with (premultiplied) alpha
  int targetBytes;
  bool straight;         // opaque pixels onto a 24-bit target go straight into its rows

  BYTE* TargetRow(INT y, INT x) { return target.Row(y) + static_cast<std::size_t>(x) * targetBytes; }
  void Store(const BYTE* pixels, INT y, INT x, INT count) {
    if (!straight) StorePixels(pixels, channels, count, target.format, TargetRow(y, x));
  }
};

// Destination columns of one strip.
INT StripColumns(const Job& job, double sourcePixels) {
  const double perColumn = job.across.Scale() + 2;
  return job.across.Block(sourcePixels, perColumn, job.toX - job.fromX);
}

// Rows combined first: for each output row its source rows are combined
// into one (over the strip's source columns), which is then filtered.
void DrawDownFirst(Job& job) {
  const INT ringRows = std::min(job.down.MaxTaps(), kLongSpan);
  const bool anyLong = job.down.MaxTaps() > kLongSpan;
  const double stripPixels =
      RowSource::Direct(job.source) ? kStripPixels : std::min(kStripPixels, kRingPixels / ringRows);
  const INT stripColumns = StripColumns(job, stripPixels);
  TapCursor down(job.down, job.toY);
  std::vector<std::int16_t> mid;
  std::vector<std::uint32_t> acc;
  std::vector<std::uint64_t> wide;
  std::vector<const BYTE*> spanRows(static_cast<std::size_t>(ringRows));
  std::vector<BYTE> out;
  for (INT x0 = job.fromX; x0 < job.toX; x0 += stripColumns) {
    const INT x1 = std::min(job.toX, x0 + stripColumns);
    Taps across = BuildTaps(job.across, x0, x1);
    if (across.maxCount <= 4) PadTaps(across);
    RowSource rows(job.source, across.lowest, across.highest, ringRows);
    const int pixelBytes = rows.pixelBytes();
    const std::size_t length = static_cast<std::size_t>(across.highest - across.lowest) * pixelBytes;
    mid.resize(length + kMidSlack);
    acc.resize(ringRows > 3 ? length : 0);
    wide.resize(anyLong ? length : 0);
    out.resize(static_cast<std::size_t>(x1 - x0) * job.channels);
    for (INT y = job.fromY; y < job.toY; ++y) {
      const Taps::Span& span = down.At(y);
      if (span.count > kLongSpan) {
        const Taps::Edges& edges = down.taps().edges[static_cast<std::size_t>(span.offset)];
        SumLongSpan<BYTE>(span, edges, length, [&](INT k) { return rows.Row(span.first + k); }, wide.data());
        FinishLongSpan(wide.data(), edges, 1 << kMidBits, kMidMax, length, mid.data());
      } else {
        for (INT k = 0; k < span.count; ++k) spanRows[static_cast<std::size_t>(k)] = rows.Row(span.first + k);
        CombineRows(spanRows.data(), down.taps().weights.data() + span.offset, span.count, length, mid.data(),
                    acc.data());
      }
      BYTE* filtered = job.straight ? job.TargetRow(y, x0) : out.data();
      FilterRowAnyFormat(pixelBytes, rows.channels(), mid.data(), across, filtered);
      job.Store(out.data(), y, x0, x1 - x0);
      t_report.samples += static_cast<std::uint64_t>(span.count) * length +
                          static_cast<std::uint64_t>(across.reads) * pixelBytes;
    }
  }
}

// Rows filtered first: each source row the output rows need is filtered to
// the strip's output columns once, and output rows combine those.
void DrawAcrossFirst(Job& job) {
  const INT stripColumns = StripColumns(job, kStripPixels);
  const bool backwards = job.down.flip;
  TapCursor down(job.down, job.toY);
  std::vector<std::int16_t> mid;
  std::vector<std::int16_t> filtered;
  std::vector<std::uint32_t> acc;
  std::vector<std::uint64_t> wide;
  std::vector<BYTE> out;
  for (INT x0 = job.fromX; x0 < job.toX; x0 += stripColumns) {
    const INT x1 = std::min(job.toX, x0 + stripColumns);
    Taps across = BuildTaps(job.across, x0, x1);
    if (across.maxCount <= 4) PadTaps(across);
    RowSource rows(job.source, across.lowest, across.highest, 1);
    const int pixelBytes = rows.pixelBytes();
    const std::size_t length = static_cast<std::size_t>(across.highest - across.lowest) * pixelBytes;
    const std::size_t lanes = static_cast<std::size_t>(x1 - x0) * job.channels;
    mid.resize(length + kMidSlack);
    // Two filtered rows: an enlarging span reads two neighbours, and
    // neighbouring spans share their edge row; taken in the order the output
    // rows walk the source, each source row is filtered once.
    filtered.resize(2 * lanes);
    INT tags[2] = {-1, -1};
    const auto filteredRow = [&](INT sy) {
      std::int16_t* slot = filtered.data() + static_cast<std::size_t>(sy & 1) * lanes;
      if (tags[sy & 1] != sy) {
        const BYTE* row = rows.Row(sy);
        const std::uint16_t one = kOne;
        CombineRows(&row, &one, 1, length, mid.data(), nullptr);
        FilterRowAnyFormat(pixelBytes, job.channels, mid.data(), across, slot);
        tags[sy & 1] = sy;
        t_report.samples += length + static_cast<std::uint64_t>(across.reads) * pixelBytes;
      }
      return static_cast<const std::int16_t*>(slot);
    };
    acc.resize(lanes);
    wide.resize(job.down.MaxTaps() > kLongSpan ? lanes : 0);
    out.resize(lanes);
    for (INT y = job.fromY; y < job.toY; ++y) {
      const Taps::Span& span = down.At(y);
      BYTE* to = job.straight ? job.TargetRow(y, x0) : out.data();
      if (span.count > kLongSpan) {
        // In index order even when mirrored: a long span refilters at most
        // its shared edge row.
        const Taps::Edges& edges = down.taps().edges[static_cast<std::size_t>(span.offset)];
        SumLongSpan<std::int16_t>(span, edges, lanes, [&](INT k) { return filteredRow(span.first + k); }, wide.data());
        FinishLongSpan(wide.data(), edges, 1.0 / (1 << kMidBits), 255, lanes, to);
      } else {
        constexpr int kDown = kWeightBits + kMidBits;
        const std::uint16_t* w = down.taps().weights.data() + span.offset;
        std::fill(acc.begin(), acc.end(), 1u << (kDown - 1));
        for (INT k = 0; k < span.count; ++k) {
          const INT at = backwards ? span.count - 1 - k : k;
          const std::int16_t* row = filteredRow(span.first + at);
          const std::uint32_t weight = w[at];
          for (std::size_t i = 0; i < lanes; ++i) acc[i] += weight * static_cast<std::uint32_t>(row[i]);
        }
        for (std::size_t i = 0; i < lanes; ++i) to[i] = static_cast<BYTE>(acc[i] >> kDown);
      }
      job.Store(out.data(), y, x0, x1 - x0);
      t_report.samples += static_cast<std::uint64_t>(span.count) * lanes;
    }
  }
}

// Draws the whole source onto [left, right) x [top, bottom) of the target;
// right < left or bottom < top mirror the picture.
GpStatus DrawRect(GpBitmap& target, const GpBitmap& sourceIn, std::int64_t left, std::int64_t top,
                  std::int64_t right, std::int64_t bottom) {
  t_report = {};
  if (target.lock.active || sourceIn.lock.active) return WrongState;
  const bool flipX = right < left;
  const bool flipY = bottom < top;
  if (flipX) std::swap(left, right);
  if (flipY) std::swap(top, bottom);
  const INT fromX = static_cast<INT>(std::max<std::int64_t>(left, 0));
  const INT toX = static_cast<INT>(std::min<std::int64_t>(right, target.width));
  const INT fromY = static_cast<INT>(std::max<std::int64_t>(top, 0));
  const INT toY = static_cast<INT>(std::min<std::int64_t>(bottom, target.height));
  if (fromX >= toX || fromY >= toY) return Ok;

  // Drawing a bitmap onto itself reads from a copy.
  std::unique_ptr<GpBitmap> copy;
  if (&target == &sourceIn) {
    GpBitmap* cloned = nullptr;
    const GpStatus status = GdipCloneBitmapAreaI(0, 0, sourceIn.width, sourceIn.height, sourceIn.format,
                                                 const_cast<GpBitmap*>(&sourceIn), &cloned);
    if (status != Ok) return status;
    copy.reset(cloned);
  }
  const GpBitmap& source = copy ? *copy : sourceIn;

  const int channels = RowSource::Opaque(source) ? 3 : 4;
  Job job{target,
          source,
          Axis{source.width, left, right - left, flipX},
          Axis{source.height, top, bottom - top, flipY},
          fromX,
          toX,
          fromY,
          toY,
          channels,
          FormatBits(target.format) / 8,
          channels == 3 && target.format == PixelFormat24bppRGB};

  // Combining rows first reads the visible source width once per output
  // row; filtering first reads the visible source height once per output
  // column. Pictures of ordinary shape combine first: the orders round
  // differently, and the order must not change with a picture's size. Only
  // a shape far from the target's (where combining first would cost
  // several times more) is filtered first.
  const double visibleColumns = toX - fromX;
  const double visibleRows = toY - fromY;
  const double acrossTaps = visibleColumns * job.across.TapsPerIndex();
  const double downTaps = visibleRows * job.down.TapsPerIndex();
  const double downFirst = downTaps * job.across.SourceSpan(visibleColumns) + visibleRows * acrossTaps;
  const double acrossFirst = job.down.SourceSpan(visibleRows) * acrossTaps + downTaps * visibleColumns;
  if (4 * acrossFirst < downFirst)
    DrawAcrossFirst(job);
  else
    DrawDownFirst(job);
  return Ok;
}

bool Representable(float v) { return std::isfinite(v) && std::fabs(v) < 1e9f; }

}  // namespace

DrawReport gdip::LastDrawReport() { return t_report; }

GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics) {
  if (!image || !graphics) return InvalidParameter;
  *graphics = nullptr;
  GpBitmap* target = FromImage(image);
  if (!Drawable(target->format)) return NotImplemented;
  *graphics = new GpGraphics{target};
  return Ok;
}

GpStatus GdipDeleteGraphics(GpGraphics* graphics) {
  if (!graphics) return InvalidParameter;
  delete graphics;
  return Ok;
}

GpStatus GdipDrawImagePoints(GpGraphics* graphics, GpImage* image, const GpPointF* points, INT count) {
  if (!graphics || !graphics->target || !image || !points) return InvalidParameter;
  if (count != 3) return InvalidParameter;
  for (int i = 0; i < 3; ++i)
    if (!Representable(points[i].X) || !Representable(points[i].Y)) return ValueOverflow;
  // Only rectangles (possibly mirrored) are drawn; a rotated or sheared
  // parallelogram is not.
  if (points[1].Y != points[0].Y || points[2].X != points[0].X) return NotImplemented;
  const auto edge = [](float v) { return static_cast<std::int64_t>(std::lround(v)); };
  return DrawRect(*graphics->target, *FromImage(image), edge(points[0].X), edge(points[0].Y), edge(points[1].X),
                  edge(points[2].Y));
}

GpStatus GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, INT x, INT y, INT width, INT height) {
  if (graphics && graphics->surface && image) return DrawOnSurface(graphics->surface, image, x, y, width, height);
  if (!graphics || !graphics->target || !image) return InvalidParameter;
  return DrawRect(*graphics->target, *FromImage(image), x, y, std::int64_t{x} + width, std::int64_t{y} + height);
}

