// Bitmaps, picture codecs, pixel conversion, resampling and JPEG saving under
// the GDI+ flat names. Every call returns a GpStatus, Ok (0) on success. All
// functions may be called from any thread; one image is used by one thread at
// a time.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/wintypes.h"

// Every status reports success or failure, so none may be dropped unread.
enum [[nodiscard]] GpStatus : int {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  ObjectBusy = 4,
  InsufficientBuffer = 5,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  Aborted = 9,
  FileNotFound = 10,
  ValueOverflow = 11,
  AccessDenied = 12,
  UnknownImageFormat = 13,
  FontFamilyNotFound = 14,
  FontStyleNotFound = 15,
  NotTrueTypeFont = 16,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
  PropertyNotFound = 19,
  PropertyNotSupported = 20,
};

using PixelFormat = INT;
constexpr PixelFormat PixelFormatUndefined = 0;
constexpr PixelFormat PixelFormat1bppIndexed = 0x00030101;
constexpr PixelFormat PixelFormat4bppIndexed = 0x00030402;
constexpr PixelFormat PixelFormat8bppIndexed = 0x00030803;
constexpr PixelFormat PixelFormat16bppGrayScale = 0x00101004;
constexpr PixelFormat PixelFormat16bppRGB555 = 0x00021005;
constexpr PixelFormat PixelFormat16bppRGB565 = 0x00021006;
constexpr PixelFormat PixelFormat16bppARGB1555 = 0x00061007;
constexpr PixelFormat PixelFormat24bppRGB = 0x00021808;
constexpr PixelFormat PixelFormat32bppRGB = 0x00022009;
constexpr PixelFormat PixelFormat32bppARGB = 0x0026200A;
constexpr PixelFormat PixelFormat32bppPARGB = 0x000E200B;
constexpr PixelFormat PixelFormat48bppRGB = 0x0010300C;
constexpr PixelFormat PixelFormat64bppARGB = 0x0034400D;

// Turns clockwise, then an optional mirror left to right.
enum RotateFlipType : INT {
  RotateNoneFlipNone = 0,
  Rotate90FlipNone = 1,
  Rotate180FlipNone = 2,
  Rotate270FlipNone = 3,
  RotateNoneFlipX = 4,
  Rotate90FlipX = 5,
  Rotate180FlipX = 6,
  Rotate270FlipX = 7,
};

enum ImageLockMode : UINT {
  ImageLockModeRead = 1,
  ImageLockModeWrite = 2,
  ImageLockModeUserInputBuf = 4,
};

struct BitmapData {
  UINT Width;
  UINT Height;
  INT Stride;  // bytes from one row to the next; rows run from the top
  ::PixelFormat PixelFormat;
  void* Scan0;
  std::uintptr_t Reserved;
};

struct GpRect {
  INT X;
  INT Y;
  INT Width;
  INT Height;
};

struct GpPointF {
  float X;
  float Y;
};

struct ImageCodecInfo {
  CLSID Clsid;
  GUID FormatID;
  const WCHAR* CodecName;
  const WCHAR* DllName;
  const WCHAR* FormatDescription;
  const WCHAR* FilenameExtension;
  const WCHAR* MimeType;
  DWORD Flags;
  DWORD Version;
  DWORD SigCount;
  DWORD SigSize;
  const BYTE* SigPattern;
  const BYTE* SigMask;
};

struct EncoderParameters;  // never passed by this program: always null

struct GdiplusStartupInput {
  UINT GdiplusVersion = 1;
  void* DebugEventCallback = nullptr;
  BOOL SuppressBackgroundThread = FALSE;
  BOOL SuppressExternalCodecs = FALSE;
};

// Opaque library objects. A GpBitmap is a GpImage.
struct GpImage;
struct GpBitmap;
struct GpGraphics;

// Starts / stops the library; every other call happens between them. Pairs
// may repeat. *token identifies the start for the matching shutdown.
[[nodiscard]] GpStatus GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput* input, void* output);
void GdiplusShutdown(std::uintptr_t token);

// Decodes the file (UTF-16 path; the file's signature picks the codec, never
// its name) into a bitmap in the file's own pixel format. FileNotFound,
// UnknownImageFormat, OutOfMemory (pixels over 1 GiB are refused before
// allocating), InvalidParameter (corrupt data).
[[nodiscard]] GpStatus GdipCreateBitmapFromFile(const WCHAR* filename, GpBitmap** bitmap);
// The same, for a picture that will only be drawn at fitWidth x fitHeight
// (of the upright picture): each side larger than that is reduced to it as
// the rows are decoded, every picture pixel weighed by the area it covers,
// so the whole picture is never held (interlaced PNG and GIF are, then
// reduced). A JPEG at least twice the fit is first halved by its decoder.
// fitWidth or fitHeight below 1: the whole picture. The pixel limit holds
// for the picture's own size.
[[nodiscard]] GpStatus GdipCreateBitmapFromFileToFit(const WCHAR* filename, INT fitWidth, INT fitHeight,
                                                     GpBitmap** bitmap);
// The same, except that a JPEG drawn clipped into a clipCols x clipRows frame
// (both at least 1) comes as only the middle the frame shows, of at most
// that size; other pictures come as GdipCreateBitmapFromFileToFit gives them.
[[nodiscard]] GpStatus GdipCreateBitmapFromFileClipped(const WCHAR* filename, INT fitWidth, INT fitHeight,
                                                       INT clipCols, INT clipRows, GpBitmap** bitmap);
[[nodiscard]] GpStatus GdipGetImagePixelFormat(GpImage* image, PixelFormat* format);
[[nodiscard]] GpStatus GdipGetImageWidth(GpImage* image, UINT* width);
[[nodiscard]] GpStatus GdipGetImageHeight(GpImage* image, UINT* height);
// stride 0 and scan0 null: the library allocates zeroed pixels. Otherwise the
// bitmap uses the caller's memory, which must outlive it.
[[nodiscard]] GpStatus GdipCreateBitmapFromScan0(INT width, INT height, INT stride, PixelFormat format,
                                                 BYTE* scan0, GpBitmap** bitmap);
// A new bitmap as from stride 0 and scan0 null, for a caller that writes its
// first rowsToWrite rows at once: only the rows after them are sure to be
// zero, so memory the caller fills anyway is not cleared first.
[[nodiscard]] GpStatus GdipCreateBitmapForRows(INT width, INT height, PixelFormat format, INT rowsToWrite,
                                               GpBitmap** bitmap);
// A new bitmap holding the area converted to format.
[[nodiscard]] GpStatus GdipCloneBitmapAreaI(INT x, INT y, INT width, INT height, PixelFormat format,
                                            GpBitmap* srcBitmap, GpBitmap** dstBitmap);
// rect null: the whole image. format PixelFormat24bppRGB or 32bppRGB (or the
// bitmap's own). Rows in lockedBitmapData run from the top.
[[nodiscard]] GpStatus GdipBitmapLockBits(GpBitmap* bitmap, const GpRect* rect, UINT flags, PixelFormat format,
                                          BitmapData* lockedBitmapData);
// A write lock's pixels become the bitmap's.
[[nodiscard]] GpStatus GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* lockedBitmapData);
[[nodiscard]] GpStatus GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics);
// points: upper-left, upper-right, lower-left of the destination. Draws the
// whole image resampled onto it (averaging when shrinking, bilinear when
// enlarging). A rotated or sheared parallelogram gives NotImplemented.
[[nodiscard]] GpStatus GdipDrawImagePoints(GpGraphics* graphics, GpImage* image, const GpPointF* points, INT count);
[[nodiscard]] GpStatus GdipDrawImageRectI(GpGraphics* graphics, GpImage* image, INT x, INT y, INT width, INT height);
[[nodiscard]] GpStatus GdipDeleteGraphics(GpGraphics* graphics);
// A bitmap copied from a device-independent bitmap (header, colour table,
// pixels at gdiBitmapData).
[[nodiscard]] GpStatus GdipCreateBitmapFromGdiDib(const BITMAPINFO* gdiBitmapInfo, void* gdiBitmapData,
                                                  GpBitmap** bitmap);
[[nodiscard]] GpStatus GdipGetImageEncodersSize(UINT* numEncoders, UINT* size);
// Fills one block of `size` bytes: numEncoders records, then the strings they
// point to.
[[nodiscard]] GpStatus GdipGetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders);
// Writes the image with the encoder clsidEncoder (JPEG: quality 75, 4:2:0).
[[nodiscard]] GpStatus GdipSaveImageToFile(GpImage* image, const WCHAR* filename, const CLSID* clsidEncoder,
                                           const EncoderParameters* encoderParams);
[[nodiscard]] GpStatus GdipDisposeImage(GpImage* image);
// Turns the image in place (90 and 270 swap its width and height), in its
// own pixel format. WrongState while it is locked.
[[nodiscard]] GpStatus GdipImageRotateFlip(GpImage* image, RotateFlipType type);

// A device context: a surface the front end paints on (the preview window).
// The library hands it finished pixels; it never sees the front end's types.
class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;
  // Puts a width × height block of 32-bit pixels (blue, green, red, ignored;
  // rows from the top, `stride` bytes apart) at (x, y) of the surface.
  virtual void PutPixels(INT x, INT y, INT width, INT height, const BYTE* pixels, INT stride) = 0;
};
using HDC = DrawingSurface*;

// A drawing surface over a device context; GdipDrawImageRectI on it
// resamples the image to the rectangle and puts the result on the surface.
[[nodiscard]] GpStatus GdipCreateFromHDC(HDC hdc, GpGraphics** graphics);

inline GpImage* AsImage(GpBitmap* bitmap) { return reinterpret_cast<GpImage*>(bitmap); }

// The heap picture the program hands around: the library's image (null when
// the library failed to make one) and the status of the last failing call
// made through it. Destroying it disposes the image.
class Bitmap {
 public:
  explicit Bitmap(GpBitmap* image = nullptr, GpStatus status = Ok) : m_image(image), m_lastStatus(status) {}
  // Decodes a file, recording the failing status when there is no image.
  explicit Bitmap(const WCHAR* filename);
  ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  GpBitmap* image() const { return m_image; }
  GpImage* asImage() const { return AsImage(m_image); }
  GpStatus lastStatus() const { return m_lastStatus; }
  // Records status when it is a failure; returns it.
  GpStatus record(GpStatus status) {
    if (status != Ok) m_lastStatus = status;
    return status;
  }

 private:
  GpBitmap* m_image;
  GpStatus m_lastStatus;
};
