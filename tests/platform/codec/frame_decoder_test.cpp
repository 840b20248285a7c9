// AVIStreamGetFrame on files FFmpeg writes and on hand-made streams:
// frame counts, pixels, frame-exact random access, empty and damaged frames.
#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/codec/compressor_choice.h"
#include "platform/codec/picture_cache.h"
#include "platform/vfw.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/platform/codec/codec_test_support.h"
#include "tests/support/test_support.h"

namespace {

using Frame = std::vector<std::uint8_t>;  // rows from the top, B G R, no padding
using testsupport::RunCommand;
using testsupport::ShellQuote;
using testsupport::TempDir;

// An open file, its first video stream and a frame decoder making the best
// display format, or 32-bit top-down frames when bgrx.
class Reader {
 public:
  explicit Reader(const std::string& path, bool bgrx = false) {
    AVIFileInit();
    if (AVIFileOpenA(&m_file, path.c_str(), OF_READ, nullptr) != AVIERR_OK) return;
    if (AVIFileGetStream(m_file, &m_stream, streamtypeVIDEO, 0) != AVIERR_OK) return;
    BITMAPINFOHEADER wanted{};
    wanted.biSize = sizeof wanted;
    wanted.biBitCount = 32;
    wanted.biCompression = BI_RGB;
    m_decoder = AVIStreamGetFrameOpen(m_stream, bgrx ? &wanted : AVIGETFRAMEF_BESTDISPLAYFMT);
  }
  ~Reader() {
    if (m_decoder) {
      EXPECT_EQ(AVIStreamGetFrameClose(m_decoder), AVIERR_OK);
    }
    if (m_stream) (void)AVIStreamRelease(m_stream);  // a file being read releases without anything to report
    if (m_file) (void)AVIFileRelease(m_file);
    AVIFileExit();
  }
  bool streamOpen() const { return m_stream != nullptr; }
  PGETFRAME decoder() const { return m_decoder; }
  LONG length() const { return AVIStreamLength(m_stream); }

  // The frame at i as rows from the top, or empty when AVIStreamGetFrame gives null.
  Frame Get(LONG i) {
    const void* dib = AVIStreamGetFrame(m_decoder, i);
    if (!dib) return {};
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, dib, sizeof bih);
    // The packed DIB the callers assume: pixels right after a 40-byte header.
    EXPECT_EQ(bih.biSize, 40u);
    EXPECT_EQ(bih.biCompression, BI_RGB);
    if (bih.biBitCount == 32) return Bgrx(static_cast<const std::uint8_t*>(dib) + sizeof bih, bih);
    EXPECT_EQ(bih.biBitCount, 24);
    EXPECT_GT(bih.biHeight, 0);
    EXPECT_EQ(bih.biSizeImage, static_cast<DWORD>(testsupport::DibStride(bih.biWidth) * bih.biHeight));
    return codectest::TopDownRows(static_cast<const std::uint8_t*>(dib) + sizeof bih, bih.biWidth, bih.biHeight);
  }

 private:
  // A 32-bit top-down frame's pixels as BGR rows; every fourth byte is 255.
  static Frame Bgrx(const std::uint8_t* pixels, const BITMAPINFOHEADER& bih) {
    EXPECT_LT(bih.biHeight, 0);
    const std::size_t count = static_cast<std::size_t>(bih.biWidth) * static_cast<std::size_t>(-bih.biHeight);
    EXPECT_EQ(bih.biSizeImage, 4 * count);
    Frame frame;
    for (std::size_t i = 0; i < count; ++i) {
      frame.insert(frame.end(), pixels + 4 * i, pixels + 4 * i + 3);
      if (pixels[4 * i + 3] != 255) {
        ADD_FAILURE() << "pixel " << i << " has fourth byte " << int(pixels[4 * i + 3]);
        return {};
      }
    }
    return frame;
  }

  PAVIFILE m_file = nullptr;
  PAVISTREAM m_stream = nullptr;
  PGETFRAME m_decoder = nullptr;
};

// FFmpeg's own decode of every frame, as bgr24 rows from the top.
std::vector<Frame> FfmpegFrames(const std::string& path, int width, int height) {
  const auto result = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f rawvideo -pix_fmt bgr24 -");
  const std::size_t frameBytes = static_cast<std::size_t>(width) * height * 3;
  std::vector<Frame> frames;
  for (std::size_t at = 0; at + frameBytes <= result.out.size(); at += frameBytes)
    frames.emplace_back(result.out.begin() + static_cast<std::ptrdiff_t>(at),
                        result.out.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
  return frames;
}

struct FfmpegCase {
  const char* name;
  const char* args;  // ffmpeg output options
  int width;
  int height;
  bool lossless;
};

const FfmpegCase kFfmpegCases[] = {
    {"RawBgr24", "-c:v rawvideo -pix_fmt bgr24", 33, 17, true},
    {"RawPal8", "-c:v rawvideo -pix_fmt pal8", 33, 17, true},
    {"RawRgb555", "-c:v rawvideo -pix_fmt rgb555le", 33, 17, true},
    {"RawBgra", "-c:v rawvideo -pix_fmt bgra", 33, 17, true},
    {"Mjpeg", "-c:v mjpeg -q:v 3", 33, 17, false},
    {"Mjpeg420", "-c:v mjpeg -pix_fmt yuvj420p -q:v 3", 64, 48, false},
    {"MjpegLimitedRange", "-c:v mjpeg -pix_fmt yuv420p -strict -1 -q:v 3", 64, 48, false},
    {"Mpeg4", "-c:v mpeg4 -g 10", 64, 48, false},
    {"Mpeg4BFrames", "-c:v mpeg4 -g 10 -bf 2", 64, 48, false},
    {"H264", "-c:v libx264 -pix_fmt yuv420p -g 10", 64, 48, false},
    {"H264NarrowRows", "-c:v libx264 -pix_fmt yuv420p -g 10", 34, 18, false},
    {"H264OpenGop", "-c:v libx264 -pix_fmt yuv420p -g 10 -x264-params open-gop=1", 64, 48, false},
    {"Huffyuv", "-c:v huffyuv", 33, 17, true},
    {"Ffv1", "-c:v ffv1 -g 5", 33, 17, true},
    {"Utvideo", "-c:v utvideo", 32, 16, true},
    {"Cinepak", "-c:v cinepak", 64, 48, false},
    {"Msvideo1", "-c:v msvideo1", 64, 48, false},
    {"Png", "-c:v png", 33, 17, true},
};

constexpr int kClipFrames = 30;

class FfmpegWritesWeRead : public ::testing::TestWithParam<FfmpegCase> {
 protected:
  void SetUp() override {
    if (!testsupport::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
    const FfmpegCase& c = GetParam();
    m_path = m_dir.file("clip.avi");
    const std::string source = "testsrc=size=" + std::to_string(c.width) + "x" + std::to_string(c.height) + ":rate=10";
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -f lavfi -i " + source + " -frames:v " +
                         std::to_string(kClipFrames) + " " + c.args + " -y " + ShellQuote(m_path))
                  .exitCode,
              0);
  }
  TempDir m_dir;
  std::string m_path;
};

TEST_P(FfmpegWritesWeRead, EveryFrameAsFfmpegDecodesIt) {
  const FfmpegCase& c = GetParam();
  Reader reader(m_path);
  ASSERT_TRUE(reader.decoder());
  const std::vector<Frame> expected = FfmpegFrames(m_path, c.width, c.height);
  ASSERT_EQ(expected.size(), static_cast<std::size_t>(kClipFrames));
  ASSERT_EQ(reader.length(), kClipFrames);
  std::vector<std::string> ffmpegMd5s;
  if (c.lossless) ffmpegMd5s = testsupport::FfmpegFrameMd5s(m_path, "", "-pix_fmt bgr24");
  for (LONG i = 0; i < kClipFrames; ++i) {
    const Frame frame = reader.Get(i);
    ASSERT_FALSE(frame.empty()) << "frame " << i;
    if (c.lossless)
      EXPECT_EQ(avitest::Md5Hex(frame), ffmpegMd5s.at(static_cast<std::size_t>(i))) << "frame " << i;
    else
      EXPECT_GE(codectest::Psnr(frame, expected[static_cast<std::size_t>(i)]), 40) << "frame " << i;
  }
  EXPECT_TRUE(reader.Get(kClipFrames).empty());
}

// Any order gives the frames sequential decoding gives.
TEST_P(FfmpegWritesWeRead, RandomAccessMatchesSequentialDecoding) {
  std::vector<Frame> sequential;
  {
    Reader reader(m_path);
    ASSERT_TRUE(reader.decoder());
    for (LONG i = 0; i < kClipFrames; ++i) sequential.push_back(reader.Get(i));
  }
  std::vector<LONG> order = {kClipFrames - 1, 0, kClipFrames / 2, kClipFrames / 2 + 1, 3, kClipFrames - 2};
  for (LONG i = kClipFrames - 1; i >= 0; --i) order.push_back(i);
  Reader reader(m_path);
  ASSERT_TRUE(reader.decoder());
  for (LONG i : order) EXPECT_EQ(reader.Get(i), sequential[static_cast<std::size_t>(i)]) << "frame " << i;
}

// What a video surface paints: 32-bit top-down frames hold the pixels of
// the 24-bit ones, in order and backward.
TEST_P(FfmpegWritesWeRead, ThirtyTwoBitFramesHoldTheSamePixels) {
  Reader bgr(m_path);
  Reader bgrx(m_path, true);
  ASSERT_TRUE(bgr.decoder());
  ASSERT_TRUE(bgrx.decoder());
  std::vector<LONG> order;
  for (LONG i = 0; i < kClipFrames; ++i) order.push_back(i);
  for (LONG i = kClipFrames - 1; i >= 0; --i) order.push_back(i);
  for (LONG i : order) {
    const Frame expected = bgr.Get(i);
    ASSERT_FALSE(expected.empty()) << "frame " << i;
    ASSERT_EQ(bgrx.Get(i), expected) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, FfmpegWritesWeRead, ::testing::ValuesIn(kFfmpegCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Writes a stream of the given format and samples through the AVI writer.
std::string WriteStream(const TempDir& dir, const std::vector<std::uint8_t>& format,
                        const std::vector<std::vector<std::uint8_t>>& samples, std::vector<DWORD> flags = {}) {
  BITMAPINFOHEADER bih;
  std::memcpy(&bih, format.data(), sizeof bih);
  avitest::Clip clip;
  clip.header = avitest::StreamHeader(bih.biWidth, bih.biHeight < 0 ? -bih.biHeight : bih.biHeight, 10, 0);
  clip.format = format;
  clip.frames = samples;
  clip.flags = flags.empty() ? std::vector<DWORD>(samples.size(), AVIIF_KEYFRAME) : flags;
  const std::string path = dir.file("made.avi");
  const auto outcome = avitest::WriteClip(path, clip);
  EXPECT_EQ(outcome.fileRelease, 0);
  return path;
}

using avitest::RawFormat;

TEST(FrameDecoder, UnknownFourccHasNoDecoder) {
  TempDir dir;
  const std::string path = WriteStream(dir, avitest::FakeCompressedFormat(8, 8, 4), {{1, 2, 3}});
  Reader reader(path);
  EXPECT_TRUE(reader.streamOpen());
  EXPECT_EQ(reader.decoder(), nullptr);
}

TEST(FrameDecoder, OutsideTheStreamIsNullAndTheNextCallStillWorks) {
  TempDir dir;
  const std::string path = WriteStream(dir, RawFormat(5, 3), {codectest::MakeFrame(5, 3, 0), codectest::MakeFrame(5, 3, 1)});
  Reader reader(path);
  ASSERT_TRUE(reader.decoder());
  EXPECT_TRUE(reader.Get(-1).empty());
  EXPECT_TRUE(reader.Get(2).empty());
  EXPECT_EQ(reader.Get(1), codectest::TopDownRows(codectest::MakeFrame(5, 3, 1).data(), 5, 3));
  EXPECT_EQ(AVIStreamGetFrame(nullptr, 0), nullptr);
  EXPECT_EQ(AVIStreamGetFrameClose(nullptr), AVIERR_BADHANDLE);
}

// A wanted format is made only as asked: BI_RGB, 24 bits bottom-up or 32
// bits top-down, at the stream's size or size 0.
TEST(FrameDecoder, WantedFormatIsMadeOrRefused) {
  struct Wanted {
    WORD bits;
    LONG width, height;
    DWORD compression;
    bool made;
  };
  const Wanted cases[] = {
      {24, 0, 0, BI_RGB, true},   {24, 5, 3, BI_RGB, true},   {32, 0, 0, BI_RGB, true},
      {32, 5, -3, BI_RGB, true},  {32, 5, 3, BI_RGB, false},  {24, 5, -3, BI_RGB, false},
      {16, 0, 0, BI_RGB, false},  {32, 6, -3, BI_RGB, false}, {32, 5, -4, BI_RGB, false},
      {32, 0, 0, BI_BITFIELDS, false},
  };
  TempDir dir;
  const std::string path = WriteStream(dir, RawFormat(5, 3), {codectest::MakeFrame(5, 3, 0)});
  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_READ, nullptr), AVIERR_OK);
  ASSERT_EQ(AVIFileGetStream(file, &stream, streamtypeVIDEO, 0), AVIERR_OK);
  for (const Wanted& c : cases) {
    BITMAPINFOHEADER wanted{};
    wanted.biSize = sizeof wanted;
    wanted.biWidth = c.width;
    wanted.biHeight = c.height;
    wanted.biBitCount = c.bits;
    wanted.biCompression = c.compression;
    PGETFRAME decoder = AVIStreamGetFrameOpen(stream, &wanted);
    EXPECT_EQ(decoder != nullptr, c.made) << c.bits << " bits, " << c.width << " x " << c.height;
    if (!decoder) continue;
    const auto* frame = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(decoder, 0));
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->biBitCount, c.bits);
    EXPECT_EQ(frame->biHeight, c.bits == 32 ? -3 : 3);
    EXPECT_EQ(AVIStreamGetFrameClose(decoder), AVIERR_OK);
  }
  (void)AVIStreamRelease(stream);
  (void)AVIFileRelease(file);
  AVIFileExit();
}

// Frames a caller holds are never written again, up to the most it may
// hold, and outlive the decoder; the plain call still works meanwhile.
TEST(FrameDecoder, HeldFramesStayAsTheyWereMade) {
  constexpr int kCount = AVISTREAMGETFRAME_MAXHELD + 2;
  std::vector<std::vector<std::uint8_t>> samples;
  for (int k = 0; k < kCount; ++k) samples.push_back(codectest::MakeFrame(5, 3, k));
  const auto rows = [&](int k) { return codectest::TopDownRows(samples[static_cast<std::size_t>(k)].data(), 5, 3); };
  const auto held = [](const std::shared_ptr<const BITMAPINFOHEADER>& frame) {
    return codectest::TopDownRows(reinterpret_cast<const std::uint8_t*>(frame.get()) + sizeof(BITMAPINFOHEADER), 5, 3);
  };
  TempDir dir;
  std::vector<std::shared_ptr<const BITMAPINFOHEADER>> kept;
  {
    Reader reader(WriteStream(dir, RawFormat(5, 3), samples));
    ASSERT_TRUE(reader.decoder());
    for (int k = 0; k < AVISTREAMGETFRAME_MAXHELD; ++k) {
      kept.push_back(AVIStreamGetFrameShared(reader.decoder(), k));
      ASSERT_TRUE(kept.back()) << k;
    }
    EXPECT_FALSE(AVIStreamGetFrameShared(reader.decoder(), kCount - 1)) << "one more than a caller may hold";
    EXPECT_EQ(reader.Get(kCount - 1), rows(kCount - 1));
    kept.erase(kept.begin());
    const auto again = AVIStreamGetFrameShared(reader.decoder(), kCount - 2);
    ASSERT_TRUE(again);
    EXPECT_EQ(held(again), rows(kCount - 2));
  }
  for (int k = 1; k < AVISTREAMGETFRAME_MAXHELD; ++k) EXPECT_EQ(held(kept[std::size_t(k - 1)]), rows(k)) << k;
}

// A stream format as large as the AVI writer and reader take also decodes.
TEST(FrameDecoder, TwoMebibyteFormatDecodes) {
  TempDir dir;
  std::vector<std::uint8_t> format = RawFormat(5, 3);
  format.resize(std::size_t{2} << 20, 0x5A);
  const std::string path = WriteStream(dir, format, {codectest::MakeFrame(5, 3, 0)});
  Reader reader(path);
  ASSERT_TRUE(reader.decoder());
  EXPECT_EQ(reader.Get(0), codectest::TopDownRows(codectest::MakeFrame(5, 3, 0).data(), 5, 3));
}

// Empty samples repeat the picture before them, in both decoding paths and
// whichever frame is asked first.
TEST(FrameDecoder, EmptySamplesRepeatThePreviousPicture) {
  TempDir dir;
  const codectest::Compressed mjpg = codectest::CompressFrames("MJPG", 16, 16, 2);
  const std::vector<std::pair<std::vector<std::uint8_t>, std::vector<std::vector<std::uint8_t>>>> streams = {
      {RawFormat(16, 16), {{}, codectest::MakeFrame(16, 16, 0), {}, {}, codectest::MakeFrame(16, 16, 1)}},
      {mjpg.format, {{}, mjpg.samples[0], {}, {}, mjpg.samples[1]}},
  };
  for (const auto& [format, samples] : streams) {
    const std::string path = WriteStream(dir, format, samples, {0, AVIIF_KEYFRAME, 0, 0, AVIIF_KEYFRAME});
    std::vector<Frame> sequential;
    {
      Reader reader(path);
      ASSERT_TRUE(reader.decoder());
      for (LONG i = 0; i < 5; ++i) sequential.push_back(reader.Get(i));
    }
    EXPECT_TRUE(sequential[0].empty()) << "nothing to repeat yet";
    EXPECT_FALSE(sequential[1].empty());
    EXPECT_EQ(sequential[2], sequential[1]);
    EXPECT_EQ(sequential[3], sequential[1]);
    EXPECT_NE(sequential[4], sequential[1]);
    Reader reader(path);
    ASSERT_TRUE(reader.decoder());
    for (LONG i : {3, 4, 2, 0, 1}) EXPECT_EQ(reader.Get(i), sequential[static_cast<std::size_t>(i)]) << "frame " << i;
    std::remove(path.c_str());
  }
}

// A frame the decoder rejects is null; the frames after it still decode,
// also when they depend on it (MPEG-4 P-frames after a damaged one).
TEST(FrameDecoder, DamagedFrameIsNullAndTheNextStillDecode) {
  for (const char* fcc : {"MJPG", "FMP4"}) {
    TempDir dir;
    codectest::Compressed clip = codectest::CompressFrames(fcc, 16, 16, 5);
    clip.samples[2].assign(clip.samples[2].size(), 0x5A);
    const std::string path = WriteStream(dir, clip.format, clip.samples, clip.flags);
    Reader reader(path);
    ASSERT_TRUE(reader.decoder());
    std::vector<Frame> got;
    for (LONG i = 0; i < 5; ++i) got.push_back(reader.Get(i));
    EXPECT_TRUE(got[2].empty()) << fcc;
    for (std::size_t i : {0u, 1u, 3u, 4u}) EXPECT_FALSE(got[i].empty()) << fcc << " frame " << i;
    EXPECT_NE(got[3], got[1]) << fcc;
    for (LONG i : {4, 2, 0, 3}) EXPECT_EQ(reader.Get(i), got[static_cast<std::size_t>(i)]) << fcc << " frame " << i;
  }
}

// A picture the scaler cannot stretch to the stream's size (2 x 2 samples
// under a 16 x 16000 header) is null however often it is asked for, and
// leaks nothing on the way (LeakSanitizer in the sanitizer build).
TEST(FrameDecoder, PictureTheScalerRefusesIsNullAndLeaksNothing) {
  std::vector<std::uint8_t> format = RawFormat(16, 16000);
  std::memcpy(format.data() + 16, "MPNG", 4);
  const Frame picture = codectest::TopDownRows(codectest::MakeFrame(2, 2, 0).data(), 2, 2);
  TempDir dir;
  Reader reader(WriteStream(dir, format, {codectest::EncodePng(picture, 2, 2)}));
  ASSERT_TRUE(reader.decoder());
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(reader.Get(0).empty());
}

// Streams whose headers, or whose samples' own headers, claim pictures far
// larger than their data: decoding every frame grows the process's peak
// memory by at most the picture its format states, once, and the frame
// (each of these once allocated and touched 0.7 to 3.6 GB, or was refused).
// A sample claiming more than its format makes no picture. Measured in a
// process of its own.
struct ClaimCase {
  const char* name;
  int side;  // of the format's square pictures
  std::string (*write)(const TempDir& dir);
};

// The samples under a format of width x height.
std::string Claiming(const TempDir& dir, const char* fourcc, int width, int height,
                     std::vector<std::vector<std::uint8_t>> samples) {
  std::vector<std::uint8_t> format = RawFormat(width, height);
  std::memcpy(format.data() + 16, fourcc, 4);
  return WriteStream(dir, format, samples);
}

std::vector<std::uint8_t> SmallPng() {
  return codectest::EncodePng(codectest::TopDownRows(codectest::MakeFrame(4, 4, 0).data(), 4, 4), 4, 4);
}

constexpr int kClaimedSide = 6000;

const ClaimCase kClaims[] = {
    {"RawHeader", 18000,
     [](const TempDir& dir) { return WriteStream(dir, RawFormat(18000, 18000), {std::vector<std::uint8_t>(16000, 7)}); }},
    {"MjpegHeader", kClaimedSide,
     [](const TempDir& dir) {
       return Claiming(dir, "MJPG", kClaimedSide, kClaimedSide, {codectest::MakeJpeg(16, 16, 0, TJSAMP_420)});
     }},
    {"PngHeader", kClaimedSide,
     [](const TempDir& dir) { return Claiming(dir, "MPNG", kClaimedSide, kClaimedSide, {SmallPng()}); }},
    {"PngSample", 64,
     [](const TempDir& dir) {
       std::vector<std::uint8_t> png = SmallPng();
       for (std::size_t at : {16, 20}) png[at] = png[at + 1] = 0, png[at + 2] = 0x3E, png[at + 3] = 0x80;  // IHDR: 16000 x 16000
       return Claiming(dir, "MPNG", 64, 64, {png});
     }},
    // Whole flat pictures, a few KB each: frame threads would hold several.
    {"PngWhole", kClaimedSide,
     [](const TempDir& dir) {
       const std::vector<std::uint8_t> png = codectest::EncodePng(
           std::vector<std::uint8_t>(std::size_t{3} * kClaimedSide * kClaimedSide, 0x40), kClaimedSide, kClaimedSide);
       return Claiming(dir, "MPNG", kClaimedSide, kClaimedSide, {png, png, png, png});
     }},
};

void PrintTo(const ClaimCase& c, std::ostream* os) { *os << c.name; }

// The resident memory of this process in KiB: now, or at its peak.
long ResidentKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  return -1;
}

class HugeClaims : public ::testing::TestWithParam<ClaimCase> {};

// AddressSanitizer keeps freed memory out of use for a while (its quarantine,
// 256 MiB by default), so the peak grows by that much beyond what we hold.
#ifdef __SANITIZE_ADDRESS__
constexpr long kQuarantineKiB = 256L << 10;
#else
constexpr long kQuarantineKiB = 0;
#endif

TEST_P(HugeClaims, DecodingCostsAtMostThePictureAndTheFrame) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempDir dir;
  const std::string path = GetParam().write(dir);
  const long frameKiB = 3L * GetParam().side * GetParam().side / 1024;
  EXPECT_EXIT(
      {
        const long before = ResidentKiB("VmRSS:");
        {
          Reader reader(path);
          for (LONG i = 0; reader.decoder() && i < reader.length(); ++i) (void)AVIStreamGetFrame(reader.decoder(), i);
        }
        const long grown = ResidentKiB("VmHWM:") - before;
        std::fprintf(stderr, "peak grew by %ld KiB\n", grown);
        std::exit(grown < std::min(2 * frameKiB, 512L << 10) + (128 << 10) + kQuarantineKiB ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Streams, HugeClaims, ::testing::ValuesIn(kClaims),
                         [](const auto& info) { return std::string(info.param.name); });

// A picture beyond 4096 x 4096 whose samples hold the data for it decodes.
TEST(FrameDecoder, LargePictureWithItsDataDecodes) {
  constexpr int kSide = 4352;
  const std::vector<std::uint8_t> jpeg = codectest::MakeJpeg(kSide, kSide, 0, TJSAMP_420);
  TempDir dir;
  Reader reader(Claiming(dir, "MJPG", kSide, kSide, {jpeg}));
  ASSERT_TRUE(reader.decoder()) << jpeg.size() << " bytes";
  EXPECT_GE(codectest::LumaPsnr(reader.Get(0), codectest::TopDownRows(codectest::MakeFrame(kSide, kSide, 0).data(),
                                                                      kSide, kSide)),
            35);
}

// Raw pixels under a FourCC as MEncoder writes them: the depth's byte, then
// "RGB" (red in the high bits, stored blue first) or "BGR"; rows from the
// top although the height is positive, without padding. Each case is a
// 3 x 2 picture: red, green, blue over black, white, black.
struct RawFourccCase {
  const char* name;
  const char fourcc[5];
  WORD bitCount;
  std::vector<std::uint8_t> red, green, blue, black, white;  // one pixel each, as stored
};

const RawFourccCase kRawFourccs[] = {
    {"Bgr24", "\x18" "RGB", 24, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 0, 0}, {255, 255, 255}},
    {"Rgb24", "\x18" "BGR", 24, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 0, 0}, {255, 255, 255}},
    // The fourth byte means nothing.
    {"Bgr32", " RGB", 32, {0, 0, 255, 9}, {0, 255, 0, 9}, {255, 0, 0, 9}, {0, 0, 0, 9}, {255, 255, 255, 9}},
    {"Rgb32", " BGR", 32, {255, 0, 0, 9}, {0, 255, 0, 9}, {0, 0, 255, 9}, {0, 0, 0, 9}, {255, 255, 255, 9}},
    // Little-endian words: 565, 555 and 444 with red high, or blue high.
    {"Bgr16", "\x10" "RGB", 16, {0x00, 0xF8}, {0xE0, 0x07}, {0x1F, 0x00}, {0, 0}, {0xFF, 0xFF}},
    {"Rgb16", "\x10" "BGR", 16, {0x1F, 0x00}, {0xE0, 0x07}, {0x00, 0xF8}, {0, 0}, {0xFF, 0xFF}},
    {"Bgr15", "\x0F" "RGB", 16, {0x00, 0x7C}, {0xE0, 0x03}, {0x1F, 0x00}, {0, 0}, {0xFF, 0x7F}},
    {"Rgb15", "\x0F" "BGR", 16, {0x1F, 0x00}, {0xE0, 0x03}, {0x00, 0x7C}, {0, 0}, {0xFF, 0x7F}},
    {"Bgr12", "\x0C" "RGB", 16, {0x00, 0x0F}, {0xF0, 0x00}, {0x0F, 0x00}, {0, 0}, {0xFF, 0x0F}},
    // Bytes: 332 with red high, or blue (two bits) high.
    {"Bgr8", "\x08" "RGB", 8, {0xE0}, {0x1C}, {0x03}, {0}, {0xFF}},
    {"Rgb8", "\x08" "BGR", 8, {0x07}, {0x38}, {0xC0}, {0}, {0xFF}},
};

void PrintTo(const RawFourccCase& c, std::ostream* os) { *os << c.name; }

class RawFourccFrames : public ::testing::TestWithParam<RawFourccCase> {};

TEST_P(RawFourccFrames, ReadAsTheRawPicturesTheyAre) {
  const RawFourccCase& c = GetParam();
  std::vector<std::uint8_t> format = RawFormat(3, 2);
  std::memcpy(format.data() + 14, &c.bitCount, 2);
  std::memcpy(format.data() + 16, c.fourcc, 4);
  std::vector<std::uint8_t> sample;
  for (const auto* pixel : {&c.red, &c.green, &c.blue, &c.black, &c.white, &c.black})
    sample.insert(sample.end(), pixel->begin(), pixel->end());
  TempDir dir;
  Reader reader(WriteStream(dir, format, {sample}));
  ASSERT_TRUE(reader.decoder());
  EXPECT_EQ(reader.Get(0), (Frame{0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Depths, RawFourccFrames, ::testing::ValuesIn(kRawFourccs),
                         [](const auto& info) { return std::string(info.param.name); });

// PNG frames as ImageJ ('png ') and FFmpeg ('MPNG') write them decode alone,
// whatever the index marks (GStreamer marks only the first): each is its own
// picture in any order, and a step back decodes no run from a key frame
// before it. CorePNG's ('PNG1') frames between key frames add, byte by byte,
// to the picture before, so there the index counts.
struct PngCase {
  const char* name;
  const char* fourcc;
  bool addsToThePrevious;
};

class PngFrames : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngFrames, EachFrameAsItsWriterMeantInAnyOrder) {
  constexpr int kWidth = 12, kHeight = 8, kCount = 6;
  const std::vector<DWORD> flags = {AVIIF_KEYFRAME, 0, 0, AVIIF_KEYFRAME, 0, 0};
  std::vector<std::uint8_t> format = RawFormat(kWidth, kHeight);
  std::memcpy(format.data() + 16, GetParam().fourcc, 4);
  std::vector<std::vector<std::uint8_t>> samples;
  std::vector<Frame> expected;
  for (int k = 0; k < kCount; ++k) {
    const Frame picture = codectest::TopDownRows(codectest::MakeFrame(kWidth, kHeight, k).data(), kWidth, kHeight);
    samples.push_back(codectest::EncodePng(picture, kWidth, kHeight));
    Frame shown = picture;
    if (GetParam().addsToThePrevious && !flags[static_cast<std::size_t>(k)]) {
      for (std::size_t i = 0; i < shown.size(); ++i) shown[i] = static_cast<std::uint8_t>(shown[i] + expected.back()[i]);
    }
    expected.push_back(shown);
  }
  TempDir dir;
  Reader reader(WriteStream(dir, format, samples, flags));
  ASSERT_TRUE(reader.decoder());
  std::vector<LONG> order = {0, 1, 2, 3, 4, 5, 4, 3, 2, 1, 0, 4, 1, 5};
  for (LONG i : order) EXPECT_EQ(reader.Get(i), expected[static_cast<std::size_t>(i)]) << "frame " << i;
  if (!GetParam().addsToThePrevious) {
    EXPECT_EQ(codec::FrameDecoderCache(reader.decoder())->peakBytes(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Fourccs, PngFrames,
                         ::testing::Values(PngCase{"ImageJ", "png ", false}, PngCase{"Ffmpeg", "MPNG", false},
                                           PngCase{"CorePng", "PNG1", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Motion JPEG as other writers make it, from FFmpeg's samples: the ones
// libjpeg-turbo takes and the ones left to libavcodec (fields, lossless
// samples among lossy ones) all show what FFmpeg shows, in any order.
using Sample = std::vector<std::uint8_t>;
struct JpegStream {
  std::vector<std::uint8_t> format;
  std::vector<Sample> samples;
};

constexpr int kJpegFrames = 8;

// FFmpeg's Motion JPEG samples of testsrc at size.
avitest::ReadBack FfmpegSamples(const TempDir& dir, const std::string& size, const std::string& args, int frames) {
  const std::string path = dir.file("ffmpeg.avi");
  EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=" + size + ":rate=10 -frames:v " +
                       std::to_string(frames) + " " + args + " -y " + ShellQuote(path))
                .exitCode,
            0);
  avitest::ReadBack back = avitest::ReadClip(path);
  EXPECT_EQ(back.frames.size(), static_cast<std::size_t>(frames));
  std::remove(path.c_str());
  return back;
}

JpegStream NoHuffmanTables(const TempDir& dir) {
  avitest::ReadBack ff = FfmpegSamples(dir, "64x48", "-c:v mjpeg -huffman default -pix_fmt yuvj420p", kJpegFrames);
  JpegStream stream{ff.format, {}};
  for (const Sample& sample : ff.frames) stream.samples.push_back(codectest::WithoutHuffmanTables(sample));
  return stream;
}

JpegStream Progressive(const TempDir& dir) {
  avitest::ReadBack ff = FfmpegSamples(dir, "64x48", "-c:v mjpeg -pix_fmt yuvj422p", kJpegFrames);
  JpegStream stream{ff.format, {}};
  for (const Sample& sample : ff.frames) stream.samples.push_back(codectest::ProgressiveJpeg(sample));
  return stream;
}

// Two fields of half the height in each sample, as interlaced capture
// writes them; libavcodec weaves them.
JpegStream Fields(const TempDir& dir) {
  avitest::ReadBack ff = FfmpegSamples(dir, "64x24", "-c:v mjpeg -pix_fmt yuvj422p", 2 * kJpegFrames);
  JpegStream stream{ff.format, {}};
  BITMAPINFOHEADER bih;
  std::memcpy(&bih, stream.format.data(), sizeof bih);
  bih.biHeight = 48;
  std::memcpy(stream.format.data(), &bih, sizeof bih);
  for (std::size_t i = 0; i + 1 < ff.frames.size(); i += 2) {
    Sample both = ff.frames[i];
    both.insert(both.end(), ff.frames[i + 1].begin(), ff.frames[i + 1].end());
    stream.samples.push_back(both);
  }
  return stream;
}

JpegStream LosslessEveryOther(const TempDir& dir) {
  avitest::ReadBack lossy = FfmpegSamples(dir, "64x48", "-c:v mjpeg -pix_fmt yuvj420p", kJpegFrames);
  avitest::ReadBack lossless = FfmpegSamples(dir, "64x48", "-c:v ljpeg -pix_fmt yuvj420p", kJpegFrames);
  JpegStream stream{lossy.format, {}};
  for (std::size_t i = 0; i < lossy.frames.size(); ++i) stream.samples.push_back((i % 2 ? lossless : lossy).frames[i]);
  return stream;
}

struct JpegCase {
  const char* name;
  JpegStream (*make)(const TempDir& dir);
};

class JpegSamples : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegSamples, EveryFrameAsFfmpegDecodesItInAnyOrder) {
  if (!testsupport::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  TempDir dir;
  const JpegStream stream = GetParam().make(dir);
  ASSERT_EQ(stream.samples.size(), static_cast<std::size_t>(kJpegFrames));
  const std::string path = WriteStream(dir, stream.format, stream.samples);
  const std::vector<Frame> expected = FfmpegFrames(path, 64, 48);
  ASSERT_EQ(expected.size(), static_cast<std::size_t>(kJpegFrames));
  std::vector<Frame> sequential;
  Reader reader(path);
  ASSERT_TRUE(reader.decoder());
  for (LONG i = 0; i < kJpegFrames; ++i) {
    sequential.push_back(reader.Get(i));
    EXPECT_GE(codectest::Psnr(sequential.back(), expected[static_cast<std::size_t>(i)]), 40) << "frame " << i;
  }
  for (LONG i : {5, 2, 7, 6, 4, 3, 1, 0}) EXPECT_EQ(reader.Get(i), sequential[static_cast<std::size_t>(i)]) << "frame " << i;
}

const JpegCase kJpegCases[] = {
    {"NoHuffmanTables", NoHuffmanTables},
    {"Progressive", Progressive},
    {"Fields", Fields},
    {"LosslessEveryOther", LosslessEveryOther},
};

INSTANTIATE_TEST_SUITE_P(Mjpeg, JpegSamples, ::testing::ValuesIn(kJpegCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Played backwards end to end, every frame is the one sequential decoding
// gives, whatever the cache may hold: all it wants, a few pictures (segments
// decoded one after another back through each GOP), less than one picture
// (nothing kept); the bytes it holds never pass its budget.
struct BackwardCase {
  const char* name;
  const char* args;  // ffmpeg output options; null: MPEG-4 of our own with a damaged sample
};

class BackwardPlayback : public ::testing::TestWithParam<BackwardCase> {};

TEST_P(BackwardPlayback, EveryFrameAsSequentialDecodingWithinTheBudget) {
  if (!testsupport::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  constexpr LONG kFrames = 40;
  TempDir dir;
  std::string path = dir.file("clip.avi");
  if (const char* args = GetParam().args) {
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=160x120:rate=10 -frames:v " +
                         std::to_string(kFrames) + " " + args + " -y " + ShellQuote(path))
                  .exitCode,
              0);
  } else {
    codectest::Compressed clip = codectest::CompressFrames("FMP4", 160, 120, kFrames);
    clip.samples[25].assign(clip.samples[25].size(), 0x5A);
    path = WriteStream(dir, clip.format, clip.samples, clip.flags);
  }
  std::vector<Frame> sequential;
  {
    Reader reader(path);
    ASSERT_TRUE(reader.decoder());
    for (LONG i = 0; i < kFrames; ++i) sequential.push_back(reader.Get(i));
  }
  std::size_t pictureBytes = 0;
  for (const double pictures : {-1.0, 4.5, 0.5}) {  // -1: the default budget
    Reader reader(path);
    ASSERT_TRUE(reader.decoder());
    codec::PictureCache* cache = codec::FrameDecoderCache(reader.decoder());
    ASSERT_TRUE(cache);
    if (pictures > 0) cache->SetBudget(static_cast<std::size_t>(pictures * static_cast<double>(pictureBytes)));
    for (LONG i = kFrames - 1; i >= 0; --i)
      ASSERT_EQ(reader.Get(i), sequential[static_cast<std::size_t>(i)]) << "frame " << i << ", " << pictures;
    EXPECT_LE(cache->peakBytes(), cache->budget());
    if (pictures < 0) {
      ASSERT_GT(cache->size(), 1u) << "the steps back came from the cache";
      pictureBytes = cache->bytes() / cache->size();
    } else if (pictures < 1) {
      EXPECT_EQ(cache->peakBytes(), 0u);
    } else {
      EXPECT_GT(cache->peakBytes(), 0u);
    }
  }
}

const BackwardCase kBackwardCases[] = {
    {"H264", "-c:v libx264 -pix_fmt yuv420p -g 20"},
    {"H264OpenGop", "-c:v libx264 -pix_fmt yuv420p -g 20 -x264-params open-gop=1"},
    {"Mpeg4BFrames", "-c:v mpeg4 -g 20 -bf 2"},
    {"Mpeg4Damaged", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Codecs, BackwardPlayback, ::testing::ValuesIn(kBackwardCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Files FFmpeg writes that are read right in order but were read wrong
// after a jump: streams without a usable index, intra refresh, B-frames
// between empty chunks, FourCCs of FFmpeg's QuickTime table, 15-bit RGB.
// Every frame, whatever the order it is asked in, is the one in-order
// decoding gives, and in-order decoding is FFmpeg's.
enum class Cut { kNone, kIndex, kFifteenBits };

struct AnyOrderCase {
  const char* name;
  const char* args;  // ffmpeg output options; a second pass after '|' copies the first file
  Cut cut;
  int width, height;
};

const AnyOrderCase kAnyOrderCases[] = {
    {"Mpeg4BFramesNoIndex", "-c:v mpeg4 -bf 2 -g 12", Cut::kIndex, 64, 48},
    {"H264NoIndex", "-c:v libx264 -pix_fmt yuv420p -g 12", Cut::kIndex, 64, 48},
    {"H264OpenGopNoIndex", "-c:v libx264 -pix_fmt yuv420p -g 12 -x264-params open-gop=1", Cut::kIndex, 64, 48},
    {"H264IntraRefresh", "-c:v libx264 -pix_fmt yuv420p -x264-params intra-refresh=1:keyint=12", Cut::kNone, 64, 48},
    {"H264IntraRefreshNoIndex", "-c:v libx264 -pix_fmt yuv420p -x264-params intra-refresh=1:keyint=12", Cut::kIndex,
     64, 48},
    {"XvidPacked", "-c:v libxvid -bf 2 -g 12", Cut::kNone, 64, 48},
    {"Mpeg4BFramesCopied", "-c:v mpeg4 -bf 2 -g 12 -f matroska | -c copy -bsf:v mpeg4_unpack_bframes", Cut::kNone,
     64, 48},
    {"DnxhrAVdh", "-c:v dnxhd -profile:v dnxhr_lb -pix_fmt yuv422p -vtag AVdh", Cut::kNone, 256, 128},
    {"ProresAp4h", "-c:v prores_ks -profile:v 4 -pix_fmt yuva444p10le -vtag ap4h", Cut::kNone, 64, 48},
    {"Rgb15", "-c:v rawvideo -pix_fmt rgb555le", Cut::kFifteenBits, 33, 17},
};

std::vector<std::vector<LONG>> AccessOrders(LONG frames) {
  std::vector<LONG> backward, random;
  for (LONG i = frames - 1; i >= 0; --i) backward.push_back(i);
  for (LONG i = 0; i < frames; ++i) random.push_back((i * 7 + 3) % frames);  // every frame once: 7 and frames share no factor
  std::vector<std::vector<LONG>> orders = {backward, random};
  for (LONG first : {LONG{4}, LONG{13}, frames / 2 + 1}) {  // what export --first does
    std::vector<LONG> range;
    for (LONG i = first; i < std::min(first + 6, frames); ++i) range.push_back(i);
    orders.push_back(range);
  }
  return orders;
}

// The file with everything from the legacy index on cut away, as a recording
// ends that was stopped before it was written.
void CutIndex(const std::string& path) {
  std::vector<std::uint8_t> bytes = testsupport::ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  const std::size_t at = text.rfind("idx1");
  ASSERT_NE(at, std::string::npos);
  bytes.resize(at);
  testsupport::WriteFileBytes(path, bytes);
}

// biBitCount 15 in place of 16, as some writers store RGB555.
void FifteenBits(const std::string& path) {
  std::vector<std::uint8_t> bytes = testsupport::ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  const std::size_t strf = text.find("strf");
  ASSERT_NE(strf, std::string::npos);
  ASSERT_EQ(bytes[strf + 8 + 14], 16);
  bytes[strf + 8 + 14] = 15;
  testsupport::WriteFileBytes(path, bytes);
}

class AnyOrder : public ::testing::TestWithParam<AnyOrderCase> {};

TEST_P(AnyOrder, EveryFrameAsInOrderDecoding) {
  if (!testsupport::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  const AnyOrderCase& c = GetParam();
  constexpr int kFrames = 30;
  TempDir dir;
  const std::string original = dir.file("original.avi"), path = dir.file("clip.avi");
  const std::string args = c.args;
  const std::size_t bar = args.find('|');
  const std::string first = dir.file(bar == std::string::npos ? "original.avi" : "first.avi");
  ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=" + std::to_string(c.width) + "x" +
                       std::to_string(c.height) + ":rate=10 -frames:v " + std::to_string(kFrames) + " " +
                       args.substr(0, bar) + " -y " + ShellQuote(first))
                .exitCode,
            0);
  if (bar != std::string::npos) {
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(first) + " " + args.substr(bar + 1) + " -y " +
                         ShellQuote(original))
                  .exitCode,
              0);
  }
  ASSERT_EQ(RunCommand("cp " + ShellQuote(original) + " " + ShellQuote(path)).exitCode, 0);
  if (c.cut == Cut::kIndex) CutIndex(path);
  if (c.cut == Cut::kFifteenBits) FifteenBits(path);

  std::vector<Frame> inOrder;
  {
    Reader reader(path);
    ASSERT_TRUE(reader.decoder());
    for (LONG i = 0; i < reader.length(); ++i) inOrder.push_back(reader.Get(i));
  }
  // The pictures in order, each once: players repeat them for empty samples
  // and to keep the rate, and so does FFmpeg, in places of its own.
  const auto distinct = [](const std::vector<Frame>& frames) {
    std::vector<Frame> pictures;
    for (const Frame& f : frames)
      if (!f.empty() && (pictures.empty() || f != pictures.back())) pictures.push_back(f);
    return pictures;
  };
  const std::vector<Frame> ours = distinct(inOrder), ffmpeg = distinct(FfmpegFrames(original, c.width, c.height));
  ASSERT_EQ(ours.size(), ffmpeg.size());
  for (std::size_t i = 0; i < ours.size(); ++i) EXPECT_GE(codectest::Psnr(ours[i], ffmpeg[i]), 40) << "picture " << i;

  const LONG length = static_cast<LONG>(inOrder.size());
  for (const std::vector<LONG>& order : AccessOrders(length)) {
    Reader reader(path);
    ASSERT_TRUE(reader.decoder());
    for (LONG i : order)
      ASSERT_EQ(reader.Get(i), inOrder[static_cast<std::size_t>(i)]) << "frame " << i << " after a jump to " << order[0];
  }
}

INSTANTIATE_TEST_SUITE_P(Files, AnyOrder, ::testing::ValuesIn(kAnyOrderCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// An H.264 key frame followed by samples no decoder takes: the key frame
// shows (the decoder gives it up only at the end), the rest are null, and
// asking for them again decodes nothing anew.
TEST(FrameDecoder, KeyFrameBeforeUndecodableSamplesShows) {
  if (!testsupport::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
  TempDir dir;
  const std::string one = dir.file("one.avi");
  ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=64x48:rate=10 -frames:v 1 -c:v libx264 "
                       "-pix_fmt yuv420p -y " + ShellQuote(one))
                .exitCode,
            0);
  const avitest::ReadBack h264 = avitest::ReadClip(one);
  ASSERT_EQ(h264.frames.size(), 1u);
  const Frame expected = FfmpegFrames(one, 64, 48).at(0);
  for (const std::size_t junk : {std::size_t{2}, std::size_t{300}}) {
    std::vector<std::vector<std::uint8_t>> samples = {h264.frames[0]};
    for (std::size_t i = 0; i < junk; ++i) samples.push_back(codectest::MakeNoiseFrame(16, 8, static_cast<unsigned>(i)));
    std::vector<DWORD> flags(samples.size(), 0);
    flags[0] = AVIIF_KEYFRAME;
    const std::string path = WriteStream(dir, h264.format, samples, flags);
    Reader reader(path);
    ASSERT_TRUE(reader.decoder());
    const Frame first = reader.Get(0);
    ASSERT_FALSE(first.empty()) << junk;
    EXPECT_GE(codectest::Psnr(first, expected), 40) << junk;
    for (LONG i : {LONG{1}, static_cast<LONG>(junk), LONG{1}}) EXPECT_TRUE(reader.Get(i).empty()) << junk << " frame " << i;
    EXPECT_EQ(reader.Get(0), first) << junk;
    std::remove(path.c_str());
  }
}

}  // namespace
