#include "avi_build/frame_compose.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace avi_build {

BITMAPINFOHEADER FrameHeader(std::int32_t cols, std::int32_t rows) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = cols;
  h.biHeight = rows;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(std::int64_t(rows) * FrameStride(cols));
  h.biXPelsPerMeter = 9600;
  h.biYPelsPerMeter = 9600;
  h.biClrUsed = 0;
  h.biClrImportant = 0;
  return h;
}

bool FrameBuffer::Make(std::int32_t cols, std::int32_t rows) {
  header = FrameHeader(cols, rows);
  stride = FrameStride(cols);
  pixels.reset(new (std::nothrow) std::uint8_t[header.biSizeImage]);
  if (!pixels) return false;
  std::memset(pixels.get(), 0, header.biSizeImage);
  return true;
}

void StretchTarget::Make(std::int32_t cols, std::int32_t rows) {
  GpBitmap* image = nullptr;
  if (GdipCreateBitmapFromScan0(cols, rows, 0, PixelFormat24bppRGB, nullptr, &image) == Ok)
    canvas = std::make_unique<Bitmap>(image);
  else
    canvas.reset();
  points[0] = {0.0f, 0.0f};
  points[1] = {float(cols), 0.0f};
  points[2] = {0.0f, float(rows)};
}

namespace {

// The frame's rows as a bitmap (bottom-up, so the stride is negative),
// sharing the frame's memory; null when it cannot be made.
std::unique_ptr<Bitmap> FrameBitmap(FrameBuffer& frame) {
  const std::int32_t rows = frame.header.biHeight;
  GpBitmap* image = nullptr;
  if (GdipCreateBitmapFromScan0(frame.header.biWidth, rows, -frame.stride, PixelFormat24bppRGB,
                                frame.pixels.get() + std::ptrdiff_t(rows - 1) * frame.stride, &image) != Ok)
    return nullptr;
  return std::make_unique<Bitmap>(image);
}

// The picture drawn over a copy of the canvas. The frame itself is the
// working copy: drawing into a bitmap of its own and copying that into the
// frame cost two more passes over a frame's worth of memory.
ComposeResult Stretch(std::unique_ptr<Bitmap> picture, const StretchTarget& target, FrameBuffer& frame) {
  const std::int32_t cols = frame.header.biWidth;
  const std::int32_t rows = frame.header.biHeight;
  if (!target.canvas || !target.canvas->image()) return ComposeResult::Skipped;
  const GpRect area{0, 0, cols, rows};
  BitmapData canvas{};
  if (target.canvas->record(GdipBitmapLockBits(target.canvas->image(), &area, ImageLockModeRead,
                                               PixelFormat24bppRGB, &canvas)) != Ok)
    return ComposeResult::Skipped;
  const std::size_t rowBytes = 3 * std::size_t(cols);
  for (std::int32_t y = 0; y < rows; ++y) {
    std::uint8_t* to = frame.pixels.get() + std::ptrdiff_t(rows - 1 - y) * frame.stride;
    std::memcpy(to, static_cast<const std::uint8_t*>(canvas.Scan0) + std::ptrdiff_t(y) * canvas.Stride, rowBytes);
    std::memset(to + rowBytes, 0, std::size_t(frame.stride) - rowBytes);
  }
  (void)GdipBitmapUnlockBits(target.canvas->image(), &canvas);  // a read lock has nothing to store

  std::unique_ptr<Bitmap> working = FrameBitmap(frame);
  if (!working) return ComposeResult::Skipped;
  GpGraphics* graphics = nullptr;
  if (working->record(GdipGetImageGraphicsContext(working->asImage(), &graphics)) == Ok) {
    // A failed draw leaves the blank copy; it is not reported.
    (void)GdipDrawImagePoints(graphics, picture->asImage(), target.points, 3);
    (void)GdipDeleteGraphics(graphics);
  }
  return ComposeResult::Composed;
}

// The picture drawn with its proportions kept onto a black frame.
ComposeResult Fit(std::unique_ptr<Bitmap> picture, FrameBuffer& frame) {
  if (!picture || !picture->image()) return ComposeResult::Skipped;
  UINT width = 0, height = 0;
  if (GdipGetImageWidth(picture->asImage(), &width) != Ok || GdipGetImageHeight(picture->asImage(), &height) != Ok)
    return ComposeResult::Skipped;
  std::memset(frame.pixels.get(), 0, frame.size());
  const FitArea a = FitPlacement(width, height, frame.header.biWidth, frame.header.biHeight);
  std::unique_ptr<Bitmap> working = FrameBitmap(frame);
  if (!working) return ComposeResult::Skipped;
  const GpPointF points[3] = {{float(a.x), float(a.y)}, {float(a.x + a.width), float(a.y)},
                              {float(a.x), float(a.y + a.height)}};
  GpGraphics* graphics = nullptr;
  if (working->record(GdipGetImageGraphicsContext(working->asImage(), &graphics)) == Ok) {
    (void)GdipDrawImagePoints(graphics, picture->asImage(), points, 3);
    (void)GdipDeleteGraphics(graphics);
  }
  return ComposeResult::Composed;
}

}  // namespace

FitArea FitPlacement(std::int64_t width, std::int64_t height, std::int32_t cols, std::int32_t rows) {
  if (width < 1 || height < 1) return {0, 0, cols, rows};
  std::int64_t w = cols, h = rows;
  if (width * rows >= height * cols)
    h = std::clamp<std::int64_t>((height * cols * 2 + width) / (width * 2), 1, rows);
  else
    w = std::clamp<std::int64_t>((width * rows * 2 + height) / (height * 2), 1, cols);
  return {std::int32_t((cols - w) / 2), std::int32_t((rows - h) / 2), std::int32_t(w), std::int32_t(h)};
}

ComposeResult ComposeFrame(std::unique_ptr<Bitmap> picture, std::int32_t clip, const StretchTarget& target,
                           FrameBuffer& frame) {
  const std::int32_t cols = frame.header.biWidth;
  const std::int32_t rows = frame.header.biHeight;
  if (!clip) return Stretch(std::move(picture), target, frame);
  if (clip == kPlaceFit) return Fit(std::move(picture), frame);
  std::unique_ptr<Bitmap> source = std::move(picture);
  if (!source || !source->image()) return ComposeResult::Skipped;
  UINT width = 0, height = 0;
  if (GdipGetImageWidth(source->asImage(), &width) != Ok || GdipGetImageHeight(source->asImage(), &height) != Ok)
    return ComposeResult::Skipped;

  const std::int32_t W = static_cast<std::int32_t>(width);
  const std::int32_t H = static_cast<std::int32_t>(height);
  const std::int32_t w = std::min(W, cols);
  const std::int32_t h = std::min(H, rows);
  std::int32_t sx = 0, fx = 0, sy = 0, fy = 0;
  if (W > cols)
    sx = (W - cols) / 2;
  else
    fx = (cols - W) / 2;
  if (H < rows)
    fy = (rows - H) / 2;  // counted from the bottom of the frame
  else
    sy = (H - rows) / 2;  // counted from the top of the source

  // Only the part of the picture the frame shows is converted, straight
  // into the frame's rows (bottom-up: a negative stride from the top row).
  const GpRect area{sx, sy, w, h};
  BitmapData data{};
  data.Stride = -frame.stride;
  data.Scan0 = frame.pixels.get() + std::ptrdiff_t(fy + h - 1) * frame.stride + 3 * std::ptrdiff_t(fx);
  // What the picture leaves uncovered is black, padding included; a picture
  // that covers a frame without padding overwrites every byte.
  if (w < cols || h < rows || frame.stride != 3 * cols) std::memset(frame.pixels.get(), 0, frame.size());
  if (source->record(GdipBitmapLockBits(source->image(), &area, ImageLockModeRead | ImageLockModeUserInputBuf,
                                        PixelFormat24bppRGB, &data)) != Ok)
    return ComposeResult::Skipped;
  (void)GdipBitmapUnlockBits(source->image(), &data);  // the rows went straight into the frame
  return ComposeResult::Composed;
}

}  // namespace avi_build
