// The encoder list and saving: one encoder, JPEG (quality 75, 4:2:0)
// through TurboJPEG.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <turbojpeg.h>

#include "platform/gdip/bitmap.h"
#include "platform/kernel.h"
#include "platform/text.h"

using namespace gdip;

namespace {

// Our JPEG encoder's identifier; callers find it by MIME type.
constexpr CLSID kJpegEncoder = {0x6A8C3F21, 0x4B2D, 0x4E57, {0x9C, 0x31, 0x7D, 0x52, 0xE0, 0x4A, 0x18, 0xB6}};
// The JPEG file format's identifier as the library family has always named it.
constexpr GUID kJpegFormat = {0xB96B3CAE, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr DWORD kEncoderFlags = 0x00000001 /* encoder */ | 0x00000004 /* supports bitmaps */;

constexpr char16_t kCodecName[] = u"JPEG encoder";
constexpr char16_t kDescription[] = u"JPEG";
constexpr char16_t kExtensions[] = u"*.JPG;*.JPEG;*.JPE;*.JFIF";
constexpr char16_t kMime[] = u"image/jpeg";
constexpr BYTE kSignature[] = {0xFF, 0xD8, 0xFF};
constexpr BYTE kSignatureMask[] = {0xFF, 0xFF, 0xFF};

constexpr UINT kEncoderCount = 1;
constexpr UINT kBlockSize = sizeof(ImageCodecInfo) + sizeof kCodecName + sizeof kDescription + sizeof kExtensions +
                            sizeof kMime + sizeof kSignature + sizeof kSignatureMask;

struct TjDestroyer {
  void operator()(void* handle) const { tjDestroy(handle); }
};
struct TjFree {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

GpStatus GdipGetImageEncodersSize(UINT* numEncoders, UINT* size) {
  if (!numEncoders || !size) return InvalidParameter;
  *numEncoders = kEncoderCount;
  *size = kBlockSize;
  return Ok;
}

GpStatus GdipGetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders) {
  if (!encoders) return InvalidParameter;
  if (numEncoders != kEncoderCount || size != kBlockSize) return GenericError;
  BYTE* strings = reinterpret_cast<BYTE*>(encoders + kEncoderCount);
  const auto place = [&strings](const void* bytes, std::size_t length) {
    std::memcpy(strings, bytes, length);
    BYTE* at = strings;
    strings += length;
    return at;
  };
  ImageCodecInfo& jpeg = encoders[0];
  jpeg = ImageCodecInfo{};
  jpeg.Clsid = kJpegEncoder;
  jpeg.FormatID = kJpegFormat;
  jpeg.CodecName = reinterpret_cast<const WCHAR*>(place(kCodecName, sizeof kCodecName));
  jpeg.DllName = nullptr;
  jpeg.FormatDescription = reinterpret_cast<const WCHAR*>(place(kDescription, sizeof kDescription));
  jpeg.FilenameExtension = reinterpret_cast<const WCHAR*>(place(kExtensions, sizeof kExtensions));
  jpeg.MimeType = reinterpret_cast<const WCHAR*>(place(kMime, sizeof kMime));
  jpeg.Flags = kEncoderFlags;
  jpeg.Version = 1;
  jpeg.SigCount = 1;
  jpeg.SigSize = sizeof kSignature;
  jpeg.SigPattern = place(kSignature, sizeof kSignature);
  jpeg.SigMask = place(kSignatureMask, sizeof kSignatureMask);
  return Ok;
}

GpStatus GdipSaveImageToFile(GpImage* image, const WCHAR* filename, const CLSID* clsidEncoder,
                             const EncoderParameters* encoderParams) {
  (void)encoderParams;  // the defaults always apply
  if (!image || !filename || !clsidEncoder) return InvalidParameter;
  if (!(*clsidEncoder == kJpegEncoder)) return InvalidParameter;
  GpBitmap& bitmap = *FromImage(image);
  if (bitmap.lock.active) return WrongState;

  // The encoder takes rows of blue, green, red.
  const INT width = bitmap.width;
  const INT height = bitmap.height;
  const BYTE* rows = bitmap.pixels;
  std::ptrdiff_t stride = bitmap.stride;
  PixelBuffer converted;
  if (bitmap.format != PixelFormat24bppRGB) {
    stride = static_cast<std::ptrdiff_t>(dib::Stride(width, 24));
    if (stride * height > kMaxPixelBytes) return OutOfMemory;
    converted = AllocatePixels(static_cast<std::size_t>(stride) * height, false);
    if (!converted) return OutOfMemory;
    ConvertArea(bitmap, GpRect{0, 0, width, height}, PixelFormat24bppRGB, converted.get(), stride);
    rows = converted.get();
  }
  if (stride < 0) {  // TurboJPEG wants rows from the top at a positive pitch
    rows += stride * (height - 1);
    stride = -stride;
  }
  std::unique_ptr<void, TjDestroyer> compressor(tjInitCompress());
  if (!compressor) return OutOfMemory;
  unsigned char* jpegBytes = nullptr;
  unsigned long jpegSize = 0;
  const int failed = tjCompress2(compressor.get(), rows, width, static_cast<int>(stride), height, TJPF_BGR,
                                 &jpegBytes, &jpegSize, TJSAMP_420, 75, 0);
  std::unique_ptr<unsigned char, TjFree> jpeg(jpegBytes);
  if (failed) return GenericError;

  const std::string path = NarrowToUtf8(filename);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    SetLastError(DWORD(errno));
    return Win32Error;
  }
  const bool written = std::fwrite(jpeg.get(), 1, jpegSize, file.get()) == jpegSize;
  int error = written ? 0 : errno;
  const bool closed = std::fclose(file.release()) == 0;
  if (written && closed) return Ok;
  if (error == 0) error = errno != 0 ? errno : EIO;
  // A truncated JPEG must not pass for a saved one.
  std::remove(path.c_str());
  SetLastError(DWORD(error));
  return Win32Error;
}
