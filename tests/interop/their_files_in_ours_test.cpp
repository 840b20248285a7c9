// Files the programs our users have write, read by ours frame after frame as
// playback reads them: every frame equals what the writer stored (the
// pictures it was given, for lossless frames) or what FFmpeg decodes (lossy
// ones), at the writer's rate. And an RGBA picture FFmpeg writes as TIFF is
// composed like the same picture as PNG.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "tests/interop/interop_support.h"
#include "tests/support/test_support.h"

namespace {

using interop::Bytes;
using interop::Q;
using interop::Video;

constexpr int kWidth = 62, kHeight = 46, kFrames = 4;

enum class Reference { kPictures, kFfmpeg };

struct TheirFile {
  const char* name;
  const interop::Program* program;
  // The command line that writes `out` from dir/p1.png... or dir/frames.bgr;
  // empty when it cannot be had.
  std::function<std::string(const std::string& dir, const std::string& out)> command;
  std::uint32_t rate, scale;
  Reference reference;
  double minPsnr;
};

std::string Size() { return std::to_string(kWidth) + " " + std::to_string(kHeight); }

// mf:// takes the pictures in the order given.
auto MencoderRaw(const std::string& format) {
  return [format](const std::string& dir, const std::string& out) {
    std::string pictures;
    for (int k = 1; k <= kFrames; ++k) pictures += (k > 1 ? "," : "") + dir + "/p" + std::to_string(k) + ".png";
    return "mencoder -really-quiet " + Q("mf://" + pictures) + " -mf fps=10:type=png -ovc raw -vf format=" + format +
           " -o " + Q(out);
  };
}

auto ImageJWriter(const std::string& compression) {
  return [compression](const std::string& dir, const std::string& out) {
    const std::string java = interop::ImageJCommand();
    if (java.empty()) return java;
    return java + " write " + Q(dir + "/frames.bgr") + " " + Size() + " 10 " + compression + " " + Q(out);
  };
}

auto OpenCvWriter(const std::string& backend) {
  return [backend](const std::string& dir, const std::string& out) {
    return interop::Python() + " " + Q(interop::HelperPath("opencv_avi.py")) + " write " + backend + " MJPG 10 " +
           Q(dir + "/frames.bgr") + " " + Size() + " " + Q(out);
  };
}

auto GStreamerWriter(const std::string& encoder, const std::string& framerate) {
  return [encoder, framerate](const std::string& dir, const std::string& out) {
    return "gst-launch-1.0 -q multifilesrc location=" + Q(dir + "/p%d.png") +
           " index=1 stop-index=" + std::to_string(kFrames) + " caps=image/png,framerate=" + framerate +
           " ! pngdec ! videoconvert ! " + encoder + " ! avimux ! filesink location=" + Q(out);
  };
}

// Our Motion JPEG decoding and FFmpeg's differ in rounding only.
constexpr double kNearFfmpeg = 40;

const TheirFile kTheirFiles[] = {
    {"ImageJUncompressed", &interop::kImageJ, ImageJWriter("none"), 10, 1, Reference::kPictures, interop::kExact},
    {"ImageJJpeg", &interop::kImageJ, ImageJWriter("jpeg"), 10, 1, Reference::kFfmpeg, kNearFfmpeg},
    {"OpenCvFfmpegMjpeg", &interop::kOpenCv, OpenCvWriter("ffmpeg"), 10, 1, Reference::kFfmpeg, kNearFfmpeg},
    {"OpenCvMjpegWriter", &interop::kOpenCv, OpenCvWriter("mjpeg"), 10, 1, Reference::kFfmpeg, kNearFfmpeg},
    // 29.97 frames per second: dwRate 30000, dwScale 1001.
    {"GStreamerJpegNtsc", &interop::kGStreamer, GStreamerWriter("jpegenc", "30000/1001"), 30000, 1001,
     Reference::kFfmpeg, kNearFfmpeg},
};

void PrintTo(const TheirFile& file, std::ostream* os) { *os << file.name; }

class TheirFiles : public testing::TestWithParam<TheirFile> {};

TEST_P(TheirFiles, EveryFrameAtTheWritersRate) {
  const TheirFile& file = GetParam();
  REQUIRE_PROGRAM(*file.program);
  const testsupport::TempDir dir;
  const std::vector<Bytes> pictures = interop::WriteSources(dir.path().string(), kWidth, kHeight, kFrames);
  const std::string path = dir.file("their.avi");
  const std::string command = file.command(dir.path().string(), path);
  ASSERT_NE(command, "") << "no command to write the file (see the log)";
  const interop::Run run = interop::Shell(command);
  ASSERT_EQ(run.exitCode, 0) << command << "\n" << run.out;

  std::vector<Bytes> expected = pictures;
  if (file.reference == Reference::kFfmpeg) {
    REQUIRE_PROGRAM(interop::kFfmpeg);
    const Video ffmpeg = interop::FfmpegDecode(path, kWidth, kHeight);
    ASSERT_EQ(interop::CompareFrames(pictures, kWidth, kHeight, ffmpeg, interop::kLossy), "")
        << "FFmpeg does not see the pictures the writer was given";
    expected = ffmpeg.frames;
  }
  std::uint32_t rate = 0, scale = 0;
  const Video ours = interop::ReadWithOurReader(path, &rate, &scale);
  EXPECT_EQ(interop::CompareFrames(expected, kWidth, kHeight, ours, file.minPsnr), "");
  EXPECT_EQ(std::to_string(rate) + "/" + std::to_string(scale),
            std::to_string(file.rate) + "/" + std::to_string(file.scale));
}

INSTANTIATE_TEST_SUITE_P(Writers, TheirFiles, testing::ValuesIn(kTheirFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// PNG frames, as ImageJ and GStreamer write them; GStreamer marks only the
// first one a key frame, yet every frame is a picture of its own.
const TheirFile kPngInAvi[] = {
    {"GStreamer", &interop::kGStreamer, GStreamerWriter("pngenc", "10/1"), 10, 1, Reference::kPictures,
     interop::kExact},
    {"ImageJ", &interop::kImageJ, ImageJWriter("png"), 10, 1, Reference::kPictures, interop::kExact},
};
INSTANTIATE_TEST_SUITE_P(PngInAvi, TheirFiles, testing::ValuesIn(kPngInAvi),
                         [](const auto& info) { return std::string(info.param.name); });

// Raw frames under a FourCC instead of BI_RGB: 'BGR' or 'RGB' and the bit
// count as its last byte, rows from the top without padding, as MEncoder
// writes them. 15 and 16 bits lose the low bits of each colour (30 dB keeps
// a swapped or upside-down picture out).
constexpr double kFewerBits = 30;
const TheirFile kBgrFourcc[] = {
    {"MencoderBgr24", &interop::kMencoder, MencoderRaw("bgr24"), 10, 1, Reference::kPictures, interop::kExact},
    {"MencoderRgb24", &interop::kMencoder, MencoderRaw("rgb24"), 10, 1, Reference::kPictures, interop::kExact},
    {"MencoderBgr32", &interop::kMencoder, MencoderRaw("bgr32"), 10, 1, Reference::kPictures, interop::kExact},
    {"MencoderRgb32", &interop::kMencoder, MencoderRaw("rgb32"), 10, 1, Reference::kPictures, interop::kExact},
    {"MencoderBgr16", &interop::kMencoder, MencoderRaw("bgr16"), 10, 1, Reference::kPictures, kFewerBits},
    {"MencoderRgb16", &interop::kMencoder, MencoderRaw("rgb16"), 10, 1, Reference::kPictures, kFewerBits},
    {"MencoderBgr15", &interop::kMencoder, MencoderRaw("bgr15"), 10, 1, Reference::kPictures, kFewerBits},
    {"MencoderRgb15", &interop::kMencoder, MencoderRaw("rgb15"), 10, 1, Reference::kPictures, kFewerBits},
};
INSTANTIATE_TEST_SUITE_P(BgrFourcc, TheirFiles, testing::ValuesIn(kBgrFourcc),
                         [](const auto& info) { return std::string(info.param.name); });

// Frames beyond 4096 x 4096 in files FFmpeg writes of flat pictures, far
// smaller than a byte for every 72 pixels: each opens and every frame is
// FFmpeg's, hash for hash.
struct LargeFrames {
  const char* name;
  int side;
  const char* codec;
  const char* pixelFormat;
};
const LargeFrames kLargeFrames[] = {{"Png", 5000, "png", "rgb24"}, {"Ffv1", 4200, "ffv1", "yuv420p"}};
void PrintTo(const LargeFrames& c, std::ostream* os) { *os << c.name; }

// The hashes, frame by frame, of `stillweaver-cli framemd5` ("INDEX MD5")
// or of ffmpeg's framemd5 muxer (comma-separated, the hash last).
std::vector<std::string> Md5s(const std::string& out) {
  std::vector<std::string> md5s;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') md5s.push_back(line.substr(line.find_last_of(", ") + 1));
  return md5s;
}

class TheirLargeFrames : public testing::TestWithParam<LargeFrames> {};

TEST_P(TheirLargeFrames, OpenAsFfmpegDecodesThem) {
  REQUIRE_PROGRAM(interop::kFfmpeg);
  const LargeFrames& c = GetParam();
  const testsupport::TempDir dir;
  const std::string path = dir.file("large.avi");
  const std::string side = std::to_string(c.side);
  const interop::Run write = interop::Shell(
      "ffmpeg -nostdin -v error -f lavfi -i " +
      Q("color=c=0x3060a0:s=" + side + "x" + side + ":r=10,drawgrid=w=1249:h=833:t=5:c=white,format=" + c.pixelFormat) +
      " -frames:v 2 -c:v " + c.codec + " " + Q(path));
  ASSERT_EQ(write.exitCode, 0) << write.out;
  ASSERT_LT(std::filesystem::file_size(path) * 72, std::uintmax_t(c.side) * c.side);

  const interop::Run ours = interop::Shell(Q(interop::Cli()) + " framemd5 " + Q(path));
  ASSERT_EQ(ours.exitCode, 0) << ours.out;
  const interop::Run theirs = interop::Shell("ffmpeg -nostdin -v error -i " + Q(path) + " -pix_fmt bgr24 -f framemd5 -");
  ASSERT_EQ(theirs.exitCode, 0) << theirs.out;
  const std::vector<std::string> expected = Md5s(theirs.out);
  EXPECT_EQ(expected.size(), 2u);
  EXPECT_EQ(Md5s(ours.out), expected);
}

INSTANTIATE_TEST_SUITE_P(Ffmpeg, TheirLargeFrames, testing::ValuesIn(kLargeFrames),
                         [](const auto& info) { return std::string(info.param.name); });

// 8 x 4 pixels whose alpha runs 0, 1, 2, 16, 64, 128, 254, 255 across each
// row, under colours that differ from pixel to pixel.
constexpr int kAlphaWidth = 8, kAlphaHeight = 4;

struct AlphaPictures {
  std::string tiff, png;
  Bytes stored;  // the colours as stored: rows from the top, blue, green, red
};

// FFmpeg writes the TIFF with an unassociated alpha sample, as image editors
// do, and the PNG of the same pixels.
AlphaPictures WriteAlphaPictures(const testsupport::TempDir& dir) {
  constexpr std::uint8_t kAlpha[kAlphaWidth] = {0, 1, 2, 16, 64, 128, 254, 255};
  Bytes rgba;
  AlphaPictures pictures{dir.file("alpha.tif"), dir.file("alpha.png"), {}};
  for (int y = 0; y < kAlphaHeight; ++y)
    for (int x = 0; x < kAlphaWidth; ++x) {
      const std::uint8_t r = std::uint8_t(40 + 20 * x), g = std::uint8_t(200 - 30 * y),
                         b = std::uint8_t(90 + 10 * x + 5 * y);
      rgba.insert(rgba.end(), {r, g, b, kAlpha[x]});
      pictures.stored.insert(pictures.stored.end(), {b, g, r});
    }
  testsupport::WriteFileBytes(dir.file("alpha.rgba"), rgba);
  for (const std::string& out : {pictures.tiff, pictures.png}) {
    const interop::Run run =
        interop::Shell("ffmpeg -nostdin -v error -f rawvideo -pix_fmt rgba -s " + std::to_string(kAlphaWidth) + "x" +
                       std::to_string(kAlphaHeight) + " -i " + Q(dir.file("alpha.rgba")) + " -y " + Q(out));
    EXPECT_EQ(run.exitCode, 0) << run.out;
  }
  return pictures;
}

// The one frame `stillweaver-cli make` composes from the picture.
Video MakeFrame(const testsupport::TempDir& dir, const std::string& picture, const std::string& options) {
  const std::string out = dir.file("made.avi");
  const interop::Run run = interop::Shell(Q(interop::Cli()) + " make " + options + " -o " + Q(out) + " " + Q(picture));
  if (run.exitCode != 0) return interop::Failure("stillweaver-cli make: " + run.out);
  return interop::ReadWithOurReader(out);
}

TEST(TheirPictures, RgbaTiffStretchedLikeThePng) {
  REQUIRE_PROGRAM(interop::kFfmpeg);
  const testsupport::TempDir dir;
  const AlphaPictures pictures = WriteAlphaPictures(dir);
  const Video png = MakeFrame(dir, pictures.png, "--cols 20 --rows 9");
  ASSERT_EQ(png.error, "");
  EXPECT_EQ(
      interop::CompareFrames(png.frames, 20, 9, MakeFrame(dir, pictures.tiff, "--cols 20 --rows 9"), interop::kExact),
      "");
}

// The PNG's RGBA and the TIFF's unassociated alpha alike: clipped, every
// pixel keeps the colour stored under its alpha.
struct AlphaFile {
  const char* name;
  std::string AlphaPictures::*path;
};
class TheirAlphaPictures : public testing::TestWithParam<AlphaFile> {};

TEST_P(TheirAlphaPictures, ClippedKeepsItsStoredColours) {
  REQUIRE_PROGRAM(interop::kFfmpeg);
  const testsupport::TempDir dir;
  const AlphaPictures pictures = WriteAlphaPictures(dir);
  const std::string options =
      "--clip --cols " + std::to_string(kAlphaWidth) + " --rows " + std::to_string(kAlphaHeight);
  EXPECT_EQ(interop::CompareFrames({pictures.stored}, kAlphaWidth, kAlphaHeight,
                                   MakeFrame(dir, pictures.*GetParam().path, options), interop::kExact),
            "");
}
INSTANTIATE_TEST_SUITE_P(, TheirAlphaPictures,
                         testing::Values(AlphaFile{"RgbaPng", &AlphaPictures::png},
                                         AlphaFile{"TiffAlpha", &AlphaPictures::tiff}),
                         [](const auto& info) { return std::string(info.param.name); });

// ImageMagick's 10000 x 10000 PNG, its file a few hundred kilobytes as
// flat scans and renders are, opens, and its stretched frame is
// ImageMagick's own area-averaged reduction.
TEST(TheirPictures, AHugeFlatImageMagickPngStretchesLikeImageMagicksReduction) {
  REQUIRE_PROGRAM(interop::kImageMagick);
  const testsupport::TempDir dir;
  const std::string big = dir.file("big.png"), reduced = dir.file("reduced.bgr");
  interop::Run run = interop::Shell("convert -size 10000x10000 gradient:white-navy -fill red -draw "
                                    "'rectangle 1000,1000 3333,8000' -depth 8 -type TrueColor " + Q(big));
  ASSERT_EQ(run.exitCode, 0) << run.out;
  run = interop::Shell("convert " + Q(big) + " -scale '160x128!' -depth 8 bgr:" + Q(reduced));
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(interop::CompareFrames({testsupport::ReadFileBytes(reduced)}, 160, 128,
                                   MakeFrame(dir, big, "--cols 160 --rows 128"), 40),
            "");
}

}  // namespace
