// Drawing onto a device context: the image is resampled into a bitmap of the
// rectangle's size, whose pixels the surface then takes.
#include "platform/gdip/bitmap.h"

GpStatus GdipCreateFromHDC(HDC hdc, GpGraphics** graphics) {
  if (!hdc || !graphics) return InvalidParameter;
  *graphics = new GpGraphics{nullptr, hdc};
  return Ok;
}

namespace gdip {

GpStatus DrawOnSurface(HDC surface, GpImage* image, INT x, INT y, INT width, INT height) {
  if (width <= 0 || height <= 0) return Ok;  // nothing of the image is visible
  GpBitmap* canvas = nullptr;
  GpStatus status = GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppRGB, nullptr, &canvas);
  if (status != Ok) return status;
  Bitmap owner(canvas);
  GpGraphics* graphics = nullptr;
  if ((status = GdipGetImageGraphicsContext(owner.asImage(), &graphics)) != Ok) return status;
  status = GdipDrawImageRectI(graphics, image, 0, 0, width, height);
  (void)GdipDeleteGraphics(graphics);  // only fails for a null surface
  if (status != Ok) return status;
  BitmapData data{};
  if ((status = GdipBitmapLockBits(canvas, nullptr, ImageLockModeRead, PixelFormat32bppRGB, &data)) != Ok)
    return status;
  surface->PutPixels(x, y, width, height, static_cast<const BYTE*>(data.Scan0), data.Stride);
  (void)GdipBitmapUnlockBits(canvas, &data);  // a read lock has nothing to store
  return Ok;
}

}  // namespace gdip
