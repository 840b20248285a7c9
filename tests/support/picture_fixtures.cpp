#include "tests/support/picture_fixtures.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include "tests/support/test_support.h"

namespace testsupport {

Pattern Solid(Rgb colour) {
  return [colour](int, int) { return colour; };
}

Pattern Gradient(int width, int height) {
  return [width, height](int x, int y) {
    const int w = width > 1 ? width - 1 : 1;
    const int h = height > 1 ? height - 1 : 1;
    return Rgb{static_cast<std::uint8_t>(x * 255 / w), static_cast<std::uint8_t>(y * 255 / h),
               static_cast<std::uint8_t>((x + y) * 255 / (w + h))};
  };
}

Pattern Checker(int cell, Rgb a, Rgb b) {
  return [=](int x, int y) { return ((x / cell + y / cell) % 2) ? b : a; };
}

std::vector<std::uint8_t> PatternBgr(int width, int height, const Pattern& pattern) {
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgb c = pattern(x, y);
      out.insert(out.end(), {c.b, c.g, c.r});
    }
  return out;
}

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

bool WriteJpeg(const std::string& path, int width, int height, const Pattern& pattern, int quality,
               JpegSampling sampling, bool progressive) {
  std::vector<std::uint8_t> pixels;
  int format = TJPF_BGR;
  int subsampling = sampling == JpegSampling::k444 ? TJSAMP_444 : TJSAMP_420;
  if (sampling == JpegSampling::kGrey) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) pixels.push_back(pattern(x, y).g);
    format = TJPF_GRAY;
    subsampling = TJSAMP_GRAY;
  } else {
    pixels = PatternBgr(width, height, pattern);
  }
  tjhandle handle = tjInitCompress();
  if (!handle) return false;
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int failed = tjCompress2(handle, pixels.data(), width, 0, height, format, &jpeg, &size, subsampling, quality,
                                 progressive ? TJFLAG_PROGRESSIVE : 0);
  tjDestroy(handle);
  if (failed) return false;
  WriteFileBytes(path, std::vector<std::uint8_t>(jpeg, jpeg + size));
  tjFree(jpeg);
  return true;
}

namespace {

// No objects with destructors between setjmp and libpng's longjmp.
bool WritePngRows(png_structp png, png_infop info, std::FILE* file, const PngImage& image,
                  std::vector<png_color>& colors, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
               image.bitDepth, image.colorType,
               image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!colors.empty()) png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
  if (!image.paletteAlpha.empty())
    png_set_tRNS(png, info, image.paletteAlpha.data(), static_cast<int>(image.paletteAlpha.size()), nullptr);
  if (image.transparentGrey >= 0) {
    png_color_16 grey{};
    grey.gray = static_cast<png_uint_16>(image.transparentGrey);
    png_set_tRNS(png, info, nullptr, 0, &grey);
  }
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

bool WritePng(const std::string& path, const PngImage& image) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::vector<png_color> colors;
  for (const Rgb& c : image.palette) colors.push_back({c.r, c.g, c.b});
  const int channels = image.colorType == 0 || image.colorType == 3 ? 1
                       : image.colorType == 4                       ? 2
                       : image.colorType == 2                       ? 3
                                                                    : 4;
  const std::size_t rowBytes = (static_cast<std::size_t>(image.width) * channels * image.bitDepth + 7) / 8;
  std::vector<png_bytep> rows;
  std::vector<std::uint8_t> data = image.rows;
  data.resize(rowBytes * image.height);
  for (int y = 0; y < image.height; ++y) rows.push_back(data.data() + rowBytes * y);
  const bool ok = WritePngRows(png, info, file.get(), image, colors, rows.data());
  png_destroy_write_struct(&png, &info);
  return ok;
}

bool WritePngRgb(const std::string& path, int width, int height, const Pattern& pattern) {
  PngImage image;
  image.width = width;
  image.height = height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgb c = pattern(x, y);
      image.rows.insert(image.rows.end(), {c.r, c.g, c.b});
    }
  return WritePng(path, image);
}

bool WriteGif(const std::string& path, const GifImage& image) {
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  if (!gif) return false;
  bool ok = true;
  std::vector<GifColorType> colors;
  for (const Rgb& c : image.palette) colors.push_back({c.r, c.g, c.b});
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
  EGifSetGifVersion(gif, true);
  ok = ok && map && EGifPutScreenDesc(gif, image.screenWidth, image.screenHeight, 8, 0, map) == GIF_OK;
  if (ok && image.transparent >= 0) {
    GraphicsControlBlock control{};
    control.TransparentColor = image.transparent;
    GifByteType block[4];
    const std::size_t length = EGifGCBToExtension(&control, block);
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), block) == GIF_OK;
  }
  ok = ok && EGifPutImageDesc(gif, image.left, image.top, image.width, image.height, image.interlaced, nullptr) == GIF_OK;
  // Interlaced frames are stored in pass order.
  std::vector<int> order;
  if (image.interlaced) {
    for (int pass = 0; pass < 4; ++pass) {
      static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
      for (int y = kStart[pass]; y < image.height; y += kStep[pass]) order.push_back(y);
    }
  } else {
    for (int y = 0; y < image.height; ++y) order.push_back(y);
  }
  std::vector<GifPixelType> line(static_cast<std::size_t>(image.width));
  for (int y : order) {
    if (!ok) break;
    for (int x = 0; x < image.width; ++x) line[x] = image.indices[static_cast<std::size_t>(y) * image.width + x];
    ok = EGifPutLine(gif, line.data(), image.width) == GIF_OK;
  }
  for (int f = 0; ok && f < image.extraFrames; ++f) {
    ok = EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) == GIF_OK;
    std::fill(line.begin(), line.end(), 0);
    for (int y = 0; ok && y < image.height; ++y) ok = EGifPutLine(gif, line.data(), image.width) == GIF_OK;
  }
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
  return ok;
}

bool WriteTiff(const std::string& path, const TiffImage& image) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(image.samples));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(image.bits));
  if (!image.omitPhotometric) TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, static_cast<std::uint16_t>(image.photometric));
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, static_cast<std::uint16_t>(image.planar));
  TIFFSetField(tif, TIFFTAG_COMPRESSION, static_cast<std::uint16_t>(image.compression));
  if (!image.extraSamples.empty())
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<std::uint16_t>(image.extraSamples.size()),
                 image.extraSamples.data());
  if (!image.red.empty())
    TIFFSetField(tif, TIFFTAG_COLORMAP, image.red.data(), image.green.data(), image.blue.data());
  bool ok = true;
  const int planes = image.planar == PLANARCONFIG_SEPARATE ? image.samples : 1;
  const int samplesInRow = image.planar == PLANARCONFIG_SEPARATE ? 1 : image.samples;
  const std::size_t rowBytes = (static_cast<std::size_t>(image.width) * samplesInRow * image.bits + 7) / 8;
  std::vector<std::uint8_t> rows = image.rows;
  rows.resize(rowBytes * image.height * planes);
  if (image.tile > 0) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, static_cast<std::uint32_t>(image.tile));
    TIFFSetField(tif, TIFFTAG_TILELENGTH, static_cast<std::uint32_t>(image.tile));
    const std::size_t pixelBytes = static_cast<std::size_t>(samplesInRow) * image.bits / 8;
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(image.tile) * image.tile * pixelBytes);
    for (int ty = 0; ok && ty < image.height; ty += image.tile)
      for (int tx = 0; ok && tx < image.width; tx += image.tile) {
        std::fill(tile.begin(), tile.end(), 0);
        for (int y = 0; y < image.tile && ty + y < image.height; ++y)
          for (int x = 0; x < image.tile && tx + x < image.width; ++x)
            for (std::size_t b = 0; b < pixelBytes; ++b)
              tile[(static_cast<std::size_t>(y) * image.tile + x) * pixelBytes + b] =
                  rows[(ty + y) * rowBytes + (tx + x) * pixelBytes + b];
        ok = TIFFWriteTile(tif, tile.data(), static_cast<std::uint32_t>(tx), static_cast<std::uint32_t>(ty), 0, 0) >= 0;
      }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    for (int plane = 0; ok && plane < planes; ++plane)
      for (int y = 0; ok && y < image.height; ++y)
        ok = TIFFWriteScanline(tif, rows.data() + rowBytes * (static_cast<std::size_t>(plane) * image.height + y),
                               static_cast<std::uint32_t>(y), static_cast<std::uint16_t>(plane)) >= 0;
  }
  TIFFClose(tif);
  return ok;
}

bool WriteTiffGrey16(const std::string& path, int width, int height, const std::vector<std::uint16_t>& samples) {
  TiffImage image;
  image.width = width;
  image.height = height;
  image.bits = 16;
  image.rows.resize(samples.size() * 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    image.rows[2 * i] = static_cast<std::uint8_t>(samples[i]);
    image.rows[2 * i + 1] = static_cast<std::uint8_t>(samples[i] >> 8);
  }
  return WriteTiff(path, image);
}

bool WriteTiffGrey8(const std::string& path, int width, int height, const std::vector<std::uint8_t>& samples) {
  TiffImage image;
  image.width = width;
  image.height = height;
  image.rows = samples;
  return WriteTiff(path, image);
}

bool WriteTiffRgb(const std::string& path, int width, int height, const Pattern& pattern) {
  TiffImage image;
  image.width = width;
  image.height = height;
  image.samples = 3;
  image.photometric = PHOTOMETRIC_RGB;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgb c = pattern(x, y);
      image.rows.insert(image.rows.end(), {c.r, c.g, c.b});
    }
  return WriteTiff(path, image);
}

bool PatchTiffTag(std::vector<std::uint8_t>& bytes, int tag, std::uint32_t value) {
  const auto le16 = [&](std::size_t at) { return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8); };
  const auto le32 = [&](std::size_t at) { return le16(at) | le16(at + 2) << 16; };
  if (bytes.size() < 8 || bytes[0] != 'I') return false;
  const std::size_t ifd = le32(4);
  if (ifd + 2 > bytes.size()) return false;
  for (std::uint32_t i = 0, n = le16(ifd); i < n && ifd + 14 + 12 * i <= bytes.size(); ++i) {
    const std::size_t entry = ifd + 2 + 12 * i;
    if (le16(entry) != static_cast<std::uint32_t>(tag)) continue;
    const int bytesOfValue = le16(entry + 2) == 3 ? 2 : 4;  // SHORT or LONG
    for (int b = 0; b < bytesOfValue; ++b) bytes[entry + 8 + b] = static_cast<std::uint8_t>(value >> (8 * b));
    return true;
  }
  return false;
}

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::vector<std::uint8_t> MakeBmp(const BmpImage& image) {
  const bool core = image.headerSize == 12;
  const bool masksInHeader = image.headerSize >= 52;
  const std::size_t colorBytes = core ? 3 : 4;
  const std::size_t masksAfter = (!masksInHeader && !core) ? image.masks.size() * 4 : 0;
  const std::size_t offBits = 14 + image.headerSize + masksAfter + image.palette.size() * colorBytes;
  std::vector<std::uint8_t> out = {'B', 'M'};
  Put32(out, static_cast<std::uint32_t>(offBits + image.bits.size()));
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(offBits));
  Put32(out, static_cast<std::uint32_t>(image.headerSize));
  if (core) {
    Put16(out, static_cast<std::uint32_t>(image.width));
    Put16(out, static_cast<std::uint32_t>(image.height));
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(image.bitCount));
  } else {
    Put32(out, static_cast<std::uint32_t>(image.width));
    Put32(out, static_cast<std::uint32_t>(image.height));
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(image.bitCount));
    Put32(out, image.compression);
    Put32(out, static_cast<std::uint32_t>(image.bits.size()));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, static_cast<std::uint32_t>(image.palette.size()));
    Put32(out, 0);
    if (masksInHeader) {
      for (std::size_t i = 0; i < 4; ++i) Put32(out, i < image.masks.size() ? image.masks[i] : 0);
      out.resize(14 + image.headerSize, 0);  // colour space and the rest, zero
    } else {
      for (std::uint32_t m : image.masks) Put32(out, m);
    }
  }
  for (std::uint32_t c : image.palette) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
    out.push_back(static_cast<std::uint8_t>(c >> 16));
    if (!core) out.push_back(0);
  }
  out.insert(out.end(), image.bits.begin(), image.bits.end());
  return out;
}

bool WriteBmp(const std::string& path, const BmpImage& image) {
  WriteFileBytes(path, MakeBmp(image));
  return true;
}

std::vector<std::uint8_t> BmpRows(int width, int height, int bitCount, bool topDown,
                                  const std::function<std::uint32_t(int x, int y)>& value) {
  const std::size_t stride = (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4;
  std::vector<std::uint8_t> out(stride * height, 0);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = out.data() + stride * (topDown ? y : height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const std::uint32_t v = value(x, y);
      if (bitCount < 8) {
        const int bit = x * bitCount;
        row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - bitCount - bit % 8));
      } else {
        for (int b = 0; b < bitCount / 8; ++b) row[x * (bitCount / 8) + b] = static_cast<std::uint8_t>(v >> (8 * b));
      }
    }
  }
  return out;
}

bool WriteBmpRgb(const std::string& path, int width, int height, const Pattern& pattern) {
  BmpImage image;
  image.width = width;
  image.height = height;
  image.bits = BmpRows(width, height, 24, false, [&](int x, int y) {
    const Rgb c = pattern(x, y);
    return static_cast<std::uint32_t>(c.b | (c.g << 8) | (c.r << 16));
  });
  return WriteBmp(path, image);
}

std::vector<std::uint8_t> LockedPixels(GpBitmap* bitmap, PixelFormat format) {
  BitmapData data{};
  if (GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, format, &data) != Ok) return {};
  const std::size_t rowBytes = static_cast<std::size_t>(data.Width) * (format == PixelFormat24bppRGB ? 3 : 4);
  std::vector<std::uint8_t> out(rowBytes * data.Height);
  for (UINT y = 0; y < data.Height; ++y)
    std::memcpy(out.data() + rowBytes * y, static_cast<const std::uint8_t*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride,
                rowBytes);
  if (GdipBitmapUnlockBits(bitmap, &data) != Ok) return {};
  return out;
}

}  // namespace testsupport
