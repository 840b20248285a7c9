// AVIStreamGetFrame on files FFmpeg writes and on hand-made streams:
// frame counts, pixels, frame-exact random access, empty and damaged frames.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/codec/compressor_choice.h"
#include "platform/vfw.h"
#include "tests/platform/avifile/avi_test_support.h"
#include "tests/platform/codec/codec_test_support.h"
#include "tests/support/test_support.h"

namespace {

using Frame = std::vector<std::uint8_t>;  // rows from the top, B G R, no padding
using testsupport::RunCommand;
using testsupport::ShellQuote;
using testsupport::TempDir;

// An open file, its first video stream and a frame decoder.
class Reader {
 public:
  explicit Reader(const std::string& path) {
    AVIFileInit();
    if (AVIFileOpenA(&m_file, path.c_str(), OF_READ, nullptr) != AVIERR_OK) return;
    if (AVIFileGetStream(m_file, &m_stream, streamtypeVIDEO, 0) != AVIERR_OK) return;
    m_decoder = AVIStreamGetFrameOpen(m_stream, AVIGETFRAMEF_BESTDISPLAYFMT);
  }
  ~Reader() {
    if (m_decoder) AVIStreamGetFrameClose(m_decoder);
    if (m_stream) AVIStreamRelease(m_stream);
    if (m_file) AVIFileRelease(m_file);
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
    EXPECT_EQ(bih.biBitCount, 24);
    EXPECT_EQ(bih.biCompression, BI_RGB);
    EXPECT_GT(bih.biHeight, 0);
    EXPECT_EQ(bih.biSizeImage, static_cast<DWORD>(((bih.biWidth * 3 + 3) & ~3) * bih.biHeight));
    return codectest::TopDownRows(static_cast<const std::uint8_t*>(dib) + sizeof bih, bih.biWidth, bih.biHeight);
  }

 private:
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
    {"Mpeg4", "-c:v mpeg4 -g 10", 64, 48, false},
    {"Mpeg4BFrames", "-c:v mpeg4 -g 10 -bf 2", 64, 48, false},
    {"H264", "-c:v libx264 -pix_fmt yuv420p -g 10", 64, 48, false},
    {"H264OpenGop", "-c:v libx264 -pix_fmt yuv420p -g 10 -x264-params open-gop=1", 64, 48, false},
    {"Huffyuv", "-c:v huffyuv", 33, 17, true},
    {"Ffv1", "-c:v ffv1 -g 5", 33, 17, true},
    {"Utvideo", "-c:v utvideo", 32, 16, true},
    {"Cinepak", "-c:v cinepak", 64, 48, false},
    {"Msvideo1", "-c:v msvideo1", 64, 48, false},
};

constexpr int kClipFrames = 30;

class FfmpegWritesWeRead : public ::testing::TestWithParam<FfmpegCase> {
 protected:
  void SetUp() override {
    if (!avitest::HaveFfmpeg()) GTEST_SKIP() << "ffmpeg not installed";
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
  if (c.lossless) ffmpegMd5s = avitest::FfmpegFrameMd5s(m_path, "", "-pix_fmt bgr24");
  for (LONG i = 0; i < kClipFrames; ++i) {
    const Frame frame = reader.Get(i);
    ASSERT_FALSE(frame.empty()) << "frame " << i;
    if (c.lossless)
      EXPECT_EQ(codectest::Md5Hex(frame), ffmpegMd5s.at(static_cast<std::size_t>(i))) << "frame " << i;
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

std::vector<std::uint8_t> RawFormat(int width, int height) { return avitest::RawFormat(width, height); }

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

}  // namespace
