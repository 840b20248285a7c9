// Writes the seed corpora of the picture fuzz targets into a folder, one
// subfolder per decoder (bmp, gif, jpeg, png, tiff): small pictures of every
// shape each decoder handles, and a few damaged ones. Usage: make_seeds DIR
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "tests/support/picture_fixtures.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BmpImage;
using testsupport::GifImage;
using testsupport::PngImage;
using testsupport::Rgb;
using testsupport::TiffImage;

int g_failures = 0;

void Note(bool ok, const fs::path& path) {
  if (ok) return;
  std::fprintf(stderr, "could not write %s\n", path.c_str());
  ++g_failures;
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  Note(static_cast<bool>(out), path);
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A copy of the file cut to `keep` of its bytes.
void WriteCut(const fs::path& from, const fs::path& to, double keep) {
  std::vector<std::uint8_t> bytes = ReadBytes(from);
  bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * keep));
  WriteBytes(to, bytes);
}

// Bytes that vary over the picture, so every decoded value is exercised.
std::uint8_t Sample(std::size_t i) { return static_cast<std::uint8_t>(i * 37 + (i >> 3) * 11); }

std::vector<std::uint8_t> Samples(std::size_t count) {
  std::vector<std::uint8_t> out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = Sample(i);
  return out;
}

std::vector<std::uint32_t> Palette(std::size_t entries) {
  std::vector<std::uint32_t> out(entries);
  for (std::size_t i = 0; i < entries; ++i)
    out[i] = static_cast<std::uint32_t>(Sample(i) << 16 | Sample(i + 1) << 8 | Sample(i + 2));
  return out;
}

// Pictures of the fixtures' kinds with the fields that matter here set.
BmpImage Bmp(int width, int height, int bitCount, std::uint32_t compression = BI_RGB) {
  BmpImage image;
  image.width = width, image.height = height, image.bitCount = bitCount, image.compression = compression;
  return image;
}

PngImage Png(int width, int height, int colorType, int bitDepth, bool interlaced = false) {
  PngImage image;
  image.width = width, image.height = height, image.colorType = colorType, image.bitDepth = bitDepth;
  image.interlaced = interlaced;
  return image;
}

TiffImage Tiff(int width, int height, int samples, int bits, int photometric) {
  TiffImage image;
  image.width = width, image.height = height, image.samples = samples, image.bits = bits;
  image.photometric = photometric;
  return image;
}

// ---- BMP

void WriteBmpSeeds(const fs::path& dir) {
  const auto bmp = [&](const char* name, BmpImage image) { WriteBytes(dir / name, testsupport::MakeBmp(image)); };
  const auto rows = [](int width, int height, int bits, bool topDown) {
    return testsupport::BmpRows(width, height, bits, topDown, [&](int x, int y) {
      const std::uint32_t v = static_cast<std::uint32_t>(Sample(static_cast<std::size_t>(y * 31 + x)));
      return bits >= 8 ? v * 0x01010101u : v & ((1u << bits) - 1);
    });
  };
  for (int bits : {1, 4, 8}) {
    BmpImage image = Bmp(13, 7, bits);
    image.palette = Palette(bits == 8 ? 200 : std::size_t{1} << bits);
    image.bits = rows(13, 7, bits, false);
    bmp(("pal" + std::to_string(bits) + ".bmp").c_str(), image);
    image.height = -7;
    image.bits = rows(13, 7, bits, true);
    bmp(("pal" + std::to_string(bits) + "_topdown.bmp").c_str(), image);
  }
  {
    BmpImage image = Bmp(9, 5, 8);
    image.headerSize = 12;
    image.palette = Palette(256);
    image.bits = rows(9, 5, 8, false);
    bmp("pal8_core.bmp", image);
    image.bitCount = 24;
    image.palette.clear();
    image.bits = rows(9, 5, 24, false);
    bmp("rgb24_core.bmp", image);
  }
  // RLE: runs, a literal run of odd length, a delta, ends of lines, the end.
  {
    BmpImage image = Bmp(12, 6, 8, BI_RLE8);
    image.palette = Palette(16);
    image.bits = {4, 1, 3, 2, 0, 3, 5, 6, 7, 0, 0, 0, 0, 2, 3, 1, 2, 9, 0, 0, 12, 3, 0, 0, 0, 1};
    bmp("rle8.bmp", image);
    image.bitCount = 4;
    image.compression = BI_RLE4;
    image.bits = {5, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 2, 2, 1, 3, 0xAB, 0, 0, 12, 0x9C, 0, 1};
    bmp("rle4.bmp", image);
  }
  // 16 bits: plain 555, then bit fields of every layout the decoder names
  // and one it converts.
  const struct {
    const char* name;
    int bits;
    std::vector<std::uint32_t> masks;
    int header;
  } fields[] = {
      {"rgb16.bmp", 16, {}, 40},
      {"rgb565.bmp", 16, {0xF800, 0x7E0, 0x1F}, 40},
      {"rgb555_fields.bmp", 16, {0x7C00, 0x3E0, 0x1F}, 40},
      {"argb1555_v4.bmp", 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, 108},
      {"rgb444_fields.bmp", 16, {0xF00, 0xF0, 0xF}, 40},
      {"argb4444_v5.bmp", 16, {0xF00, 0xF0, 0xF, 0xF000}, 124},
      {"rgb24.bmp", 24, {}, 40},
      {"rgb32.bmp", 32, {}, 40},
      {"rgb32_fields.bmp", 32, {0xFF0000, 0xFF00, 0xFF}, 40},
      {"bgr32_fields.bmp", 32, {0xFF, 0xFF00, 0xFF0000}, 40},
      {"argb32_v5.bmp", 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, 124},
      {"rgb101010_fields.bmp", 32, {0x3FF00000, 0xFFC00, 0x3FF}, 40},
      {"argb32_alphafields.bmp", 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, 56},
  };
  for (const auto& f : fields) {
    BmpImage image = Bmp(11, 4, f.bits);
    image.headerSize = f.header;
    image.masks = f.masks;
    if (!f.masks.empty()) image.compression = f.header == 56 ? 6 : BI_BITFIELDS;
    image.bits = rows(11, 4, f.bits, false);
    bmp(f.name, image);
  }
  BmpImage topDown = Bmp(5, -3, 24);
  topDown.bits = rows(5, 3, 24, true);
  bmp("rgb24_topdown.bmp", topDown);
  BmpImage cut = Bmp(40, 30, 24);
  cut.bits = rows(40, 30, 24, false);
  std::vector<std::uint8_t> bytes = testsupport::MakeBmp(cut);
  bytes.resize(bytes.size() / 2);
  WriteBytes(dir / "bad_rgb24_cut.bmp", bytes);
}

// ---- GIF

void WriteGifSeeds(const fs::path& dir) {
  const auto gif = [&](const char* name, GifImage image) {
    if (image.width == 0) image.width = image.screenWidth, image.height = image.screenHeight;
    image.indices.resize(static_cast<std::size_t>(image.width) * image.height);
    for (std::size_t i = 0; i < image.indices.size(); ++i)
      image.indices[i] = static_cast<std::uint8_t>(Sample(i) % image.palette.size());
    Note(testsupport::WriteGif((dir / name).string(), image), dir / name);
  };
  std::vector<Rgb> four = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  std::vector<Rgb> all(256);
  for (int i = 0; i < 256; ++i) all[i] = {Sample(i), Sample(i + 1), Sample(i + 2)};
  GifImage image;
  image.screenWidth = 13, image.screenHeight = 9, image.palette = four;
  gif("plain.gif", image);
  image.palette = all;
  gif("palette256.gif", image);
  GifImage interlaced = image;
  interlaced.screenHeight = 19, interlaced.interlaced = true;
  gif("interlaced.gif", interlaced);
  GifImage transparent = image;
  transparent.transparent = 3;
  gif("transparent.gif", transparent);
  GifImage framed = image;
  framed.left = 3, framed.top = 2, framed.width = 6, framed.height = 4, framed.extraFrames = 2;
  gif("frame_on_screen.gif", framed);
  GifImage past = image;
  past.left = 9, past.top = 7, past.width = 8, past.height = 5;
  gif("frame_past_screen.gif", past);
  GifImage noScreen = image;
  noScreen.screenWidth = 0, noScreen.screenHeight = 0, noScreen.width = 7, noScreen.height = 5;
  gif("no_screen.gif", noScreen);
  WriteCut(dir / "palette256.gif", dir / "bad_cut.gif", 0.9);
}

// ---- JPEG

struct JpegPlan {
  int width = 17, height = 13;
  J_COLOR_SPACE input = JCS_RGB;
  J_COLOR_SPACE stored = JCS_UNKNOWN;  // JCS_UNKNOWN: libjpeg's choice
  int hSample = 2, vSample = 2;        // the first component's factors
  bool progressive = false;
  bool arithmetic = false;
  int restartRows = 0;
};

struct JpegFailure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// No objects with destructors between setjmp and libjpeg's longjmp.
bool CompressJpeg(const JpegPlan& plan, const std::vector<std::uint8_t>& pixels, unsigned char** out,
                  unsigned long* size) {
  jpeg_compress_struct cinfo{};
  JpegFailure failure{};
  cinfo.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegFailure*>(c->err)->jump, 1); };
  if (setjmp(failure.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, out, size);
  cinfo.image_width = static_cast<JDIMENSION>(plan.width);
  cinfo.image_height = static_cast<JDIMENSION>(plan.height);
  cinfo.in_color_space = plan.input;
  cinfo.input_components = plan.input == JCS_GRAYSCALE ? 1 : plan.input == JCS_CMYK ? 4 : 3;
  jpeg_set_defaults(&cinfo);
  if (plan.stored != JCS_UNKNOWN) jpeg_set_colorspace(&cinfo, plan.stored);
  jpeg_set_quality(&cinfo, 80, TRUE);
  cinfo.comp_info[0].h_samp_factor = plan.hSample;
  cinfo.comp_info[0].v_samp_factor = plan.vSample;
  if (plan.progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = plan.arithmetic ? TRUE : FALSE;
  cinfo.restart_in_rows = plan.restartRows;
  jpeg_start_compress(&cinfo, TRUE);
  const std::size_t stride = static_cast<std::size_t>(plan.width) * static_cast<std::size_t>(cinfo.input_components);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + stride * cinfo.next_scanline);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

void WriteJpegSeed(const fs::path& path, const JpegPlan& plan) {
  const int components = plan.input == JCS_GRAYSCALE ? 1 : plan.input == JCS_CMYK ? 4 : 3;
  const std::vector<std::uint8_t> pixels = Samples(static_cast<std::size_t>(plan.width) * plan.height * components);
  unsigned char* data = nullptr;
  unsigned long size = 0;
  const bool ok = CompressJpeg(plan, pixels, &data, &size);
  if (ok) WriteBytes(path, std::vector<std::uint8_t>(data, data + size));
  std::free(data);
  Note(ok, path);
}

void WriteJpegSeeds(const fs::path& dir) {
  const auto jpeg = [&](const char* name, JpegPlan plan) { WriteJpegSeed(dir / name, plan); };
  jpeg("baseline_420.jpg", {});
  jpeg("baseline_444.jpg", {.hSample = 1, .vSample = 1});
  jpeg("baseline_422.jpg", {.width = 24, .height = 8, .hSample = 2, .vSample = 1});
  jpeg("grey.jpg", {.input = JCS_GRAYSCALE, .hSample = 1, .vSample = 1});
  jpeg("restarts.jpg", {.width = 20, .height = 40, .restartRows = 1});
  jpeg("progressive.jpg", {.progressive = true});
  jpeg("progressive_grey.jpg", {.input = JCS_GRAYSCALE, .hSample = 1, .vSample = 1, .progressive = true});
  jpeg("cmyk.jpg", {.input = JCS_CMYK, .hSample = 1, .vSample = 1});
  jpeg("ycck.jpg", {.input = JCS_CMYK, .stored = JCS_YCCK});
  jpeg("cmyk_progressive.jpg", {.input = JCS_CMYK, .hSample = 1, .vSample = 1, .progressive = true});
  jpeg("arithmetic.jpg", {.arithmetic = true});
  jpeg("arithmetic_progressive.jpg", {.progressive = true, .arithmetic = true});
  jpeg("rgb_stored.jpg", {.stored = JCS_RGB, .hSample = 1, .vSample = 1});
  WriteCut(dir / "baseline_420.jpg", dir / "bad_cut.jpg", 0.6);
  WriteCut(dir / "progressive.jpg", dir / "bad_progressive_cut.jpg", 0.5);
}

// ---- PNG

void WritePngSeeds(const fs::path& dir) {
  const auto png = [&](const std::string& name, PngImage image) {
    const int channels = image.colorType == 0 || image.colorType == 3 ? 1
                         : image.colorType == 4                       ? 2
                         : image.colorType == 2                       ? 3
                                                                      : 4;
    const std::size_t rowBytes = (static_cast<std::size_t>(image.width) * channels * image.bitDepth + 7) / 8;
    image.rows = Samples(rowBytes * image.height);
    if (image.colorType == 3) {
      // Indices inside the palette.
      const std::size_t entries = image.palette.size();
      for (std::size_t i = 0; i < image.rows.size(); ++i)
        if (image.bitDepth == 8) image.rows[i] = static_cast<std::uint8_t>(image.rows[i] % entries);
    }
    Note(testsupport::WritePng((dir / name).string(), image), dir / name);
  };
  std::vector<Rgb> palette(256);
  for (int i = 0; i < 256; ++i) palette[i] = {Sample(i), Sample(i + 7), Sample(i + 3)};
  for (int depth : {1, 2, 4, 8, 16}) png("grey" + std::to_string(depth) + ".png", Png(11, 7, 0, depth));
  for (int depth : {1, 2, 4, 8}) {
    PngImage image = Png(11, 7, 3, depth);
    image.palette.assign(palette.begin(), palette.begin() + (1 << depth));
    png("palette" + std::to_string(depth) + ".png", image);
  }
  PngImage alphaPalette = Png(11, 7, 3, 8);
  alphaPalette.palette = palette;
  alphaPalette.paletteAlpha = {0, 64, 128, 255, 10};
  png("palette8_trns.png", alphaPalette);
  PngImage greyKey = Png(11, 7, 0, 8);
  greyKey.transparentGrey = 37;
  png("grey8_trns.png", greyKey);
  for (int depth : {8, 16}) {
    png("rgb" + std::to_string(depth) + ".png", Png(11, 7, 2, depth));
    png("grey_alpha" + std::to_string(depth) + ".png", Png(11, 7, 4, depth));
    png("rgba" + std::to_string(depth) + ".png", Png(11, 7, 6, depth));
  }
  png("rgb8_interlaced.png", Png(19, 17, 2, 8, true));
  PngImage interlacedPalette = Png(19, 17, 3, 4, true);
  interlacedPalette.palette.assign(palette.begin(), palette.begin() + 16);
  png("palette4_interlaced.png", interlacedPalette);
  WriteCut(dir / "rgb8_interlaced.png", dir / "bad_cut.png", 0.7);
}

// ---- TIFF

std::vector<std::uint16_t> Ramp(std::size_t entries, int step) {
  std::vector<std::uint16_t> out(entries);
  for (std::size_t i = 0; i < entries; ++i) out[i] = static_cast<std::uint16_t>(i * step * 257 % 65536);
  return out;
}

void WriteTiffSeeds(const fs::path& dir) {
  const auto tiff = [&](const char* name, TiffImage image) {
    const int samplesInRow = image.planar == PLANARCONFIG_SEPARATE ? 1 : image.samples;
    const int planes = image.planar == PLANARCONFIG_SEPARATE ? image.samples : 1;
    const std::size_t rowBytes = (static_cast<std::size_t>(image.width) * samplesInRow * image.bits + 7) / 8;
    image.rows = Samples(rowBytes * image.height * planes);
    if (image.photometric == PHOTOMETRIC_PALETTE) {
      const std::size_t entries = std::size_t{1} << image.bits;
      image.red = Ramp(entries, 3), image.green = Ramp(entries, 5), image.blue = Ramp(entries, 7);
    }
    Note(testsupport::WriteTiff((dir / name).string(), image), dir / name);
  };
  const TiffImage rgb = Tiff(13, 9, 3, 8, PHOTOMETRIC_RGB);
  tiff("rgb8.tif", rgb);
  for (const auto& [name, compression] : {std::pair{"rgb8_lzw.tif", COMPRESSION_LZW},
                                           std::pair{"rgb8_deflate.tif", COMPRESSION_ADOBE_DEFLATE},
                                           std::pair{"rgb8_packbits.tif", COMPRESSION_PACKBITS}}) {
    TiffImage image = rgb;
    image.compression = compression;
    tiff(name, image);
  }
  TiffImage planar = rgb;
  planar.planar = PLANARCONFIG_SEPARATE;
  tiff("rgb8_planar.tif", planar);
  TiffImage tiled = rgb;
  tiled.width = 20, tiled.height = 18, tiled.tile = 16;
  tiff("rgb8_tiled.tif", tiled);
  TiffImage rgb16 = rgb;
  rgb16.bits = 16;
  tiff("rgb16.tif", rgb16);
  TiffImage noPhotometric = rgb;
  noPhotometric.omitPhotometric = true;
  tiff("rgb8_no_photometric.tif", noPhotometric);
  for (std::uint16_t extra : {EXTRASAMPLE_ASSOCALPHA, EXTRASAMPLE_UNASSALPHA}) {
    TiffImage rgba = rgb;
    rgba.samples = 4, rgba.extraSamples = {extra};
    tiff(extra == EXTRASAMPLE_ASSOCALPHA ? "rgba8_assoc.tif" : "rgba8_unassoc.tif", rgba);
  }
  TiffImage greyAlpha = Tiff(13, 9, 2, 8, PHOTOMETRIC_MINISBLACK);
  greyAlpha.extraSamples = {EXTRASAMPLE_UNASSALPHA};
  tiff("grey_alpha8.tif", greyAlpha);
  TiffImage cmyk = Tiff(13, 9, 4, 8, PHOTOMETRIC_SEPARATED);
  tiff("cmyk8.tif", cmyk);
  for (int bits : {1, 4, 8}) {
    tiff(("palette" + std::to_string(bits) + ".tif").c_str(), Tiff(13, 9, 1, bits, PHOTOMETRIC_PALETTE));
  }
  for (int bits : {1, 4, 8, 16}) {
    for (int photometric : {PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_MINISWHITE}) {
      const std::string name = "grey" + std::to_string(bits) + (photometric == PHOTOMETRIC_MINISWHITE ? "_white" : "") + ".tif";
      tiff(name.c_str(), Tiff(13, 9, 1, bits, photometric));
    }
  }
  TiffImage grey16 = Tiff(40, 21, 1, 16, PHOTOMETRIC_MINISBLACK);
  grey16.compression = COMPRESSION_LZW;
  tiff("grey16_lzw.tif", grey16);
  grey16.compression = COMPRESSION_NONE;
  grey16.tile = 16;
  tiff("grey16_tiled.tif", grey16);
  TiffImage grey16Planar = Tiff(13, 9, 2, 16, PHOTOMETRIC_MINISBLACK);
  grey16Planar.planar = PLANARCONFIG_SEPARATE;
  tiff("grey16_two_planes.tif", grey16Planar);
  WriteCut(dir / "grey16_lzw.tif", dir / "bad_grey16_cut.tif", 0.5);
  WriteCut(dir / "rgb8.tif", dir / "bad_rgb8_cut.tif", 0.6);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  // libtiff's messages about the damaged copies are not wanted here.
  TIFFSetWarningHandler(nullptr);
  const fs::path root(argv[1]);
  const struct {
    const char* name;
    void (*write)(const fs::path&);
  } kinds[] = {{"bmp", WriteBmpSeeds}, {"gif", WriteGifSeeds}, {"jpeg", WriteJpegSeeds},
               {"png", WritePngSeeds}, {"tiff", WriteTiffSeeds}};
  for (const auto& kind : kinds) {
    std::error_code error;
    fs::remove_all(root / kind.name, error);
    fs::create_directories(root / kind.name, error);
    if (error) {
      std::fprintf(stderr, "cannot make %s\n", (root / kind.name).c_str());
      return 1;
    }
    kind.write(root / kind.name);
  }
  return g_failures == 0 ? 0 : 1;
}
