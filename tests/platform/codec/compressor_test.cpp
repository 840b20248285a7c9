// The compressors: what each accepts, the format it states, and that every
// frame it returns decodes (through libavcodec) to the picture it was given.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/codec/compressor_choice.h"
#include "platform/codec/compressor_table.h"
#include "platform/codec/dib_image.h"
#include "platform/codec/video_decoder.h"
#include "platform/vfw.h"
#include "tests/platform/codec/codec_test_support.h"

namespace {

using codectest::InputHeader;
using codectest::MakeFrame;

struct CodecCase {
  const char* fcc;
  bool lossless;
  double minPsnr;  // for lossy codecs, on MakeFrame's pictures
  int multipleOf;  // sides it takes
};

const CodecCase kCodecs[] = {
    {"MJPG", false, 30, 1}, {"H264", false, 30, 2}, {"FMP4", false, 28, 1}, {"FFV1", true, 0, 1},
    {"HFYU", true, 0, 1},   {"cvid", false, 20, 1}, {"MSVC", false, 20, 4},
};

struct Size {
  int width;
  int height;
};

const Size kSizes[] = {{1, 1}, {2, 2}, {5, 3}, {4, 8}, {17, 9}, {64, 48}, {162, 122}};

FOURCC Fourcc(const char* s) { return mmioFOURCC(s[0], s[1], s[2], s[3]); }

struct Encoded {
  std::vector<std::uint8_t> format;
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<bool> keys;
};

// Runs the calls the Make-AVI job makes: GET_FORMAT, GET_SIZE, BEGIN,
// ICCompress per frame, END.
::testing::AssertionResult Compress(HIC hic, const BITMAPINFOHEADER& in,
                                     const std::vector<std::vector<std::uint8_t>>& inputs, DWORD quality,
                                     Encoded* out) {
  auto inArg = reinterpret_cast<DWORD_PTR>(&in);
  const LRESULT formatSize = ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, inArg, 0);
  if (formatSize < 40) return ::testing::AssertionFailure() << "GET_FORMAT gave " << formatSize;
  out->format.assign(static_cast<std::size_t>(formatSize), 0xCD);
  auto* bihOut = reinterpret_cast<BITMAPINFOHEADER*>(out->format.data());
  if (ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, inArg, reinterpret_cast<DWORD_PTR>(bihOut)) != formatSize)
    return ::testing::AssertionFailure() << "GET_FORMAT with a buffer disagrees";
  const LRESULT maxSize = ICSendMessage(hic, ICM_COMPRESS_GET_SIZE, inArg, reinterpret_cast<DWORD_PTR>(bihOut));
  if (maxSize <= 0) return ::testing::AssertionFailure() << "GET_SIZE gave " << maxSize;
  if (ICSendMessage(hic, ICM_COMPRESS_BEGIN, inArg, reinterpret_cast<DWORD_PTR>(bihOut)) != ICERR_OK)
    return ::testing::AssertionFailure() << "BEGIN failed";
  BITMAPINFOHEADER header = *bihOut;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(maxSize));
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    DWORD flags = 0xFFFF;
    BITMAPINFOHEADER inCopy = in;
    const DWORD r = ICCompress(hic, 0, &header, buffer.data(), &inCopy, const_cast<std::uint8_t*>(inputs[i].data()),
                               nullptr, &flags, static_cast<LONG>(i), 0, quality, nullptr, nullptr);
    if (r != ICERR_OK) return ::testing::AssertionFailure() << "ICCompress frame " << i << " gave " << static_cast<LONG>(r);
    if (flags != 0 && flags != AVIIF_KEYFRAME) return ::testing::AssertionFailure() << "flags " << flags;
    out->frames.emplace_back(buffer.begin(), buffer.begin() + header.biSizeImage);
    out->keys.push_back(flags == AVIIF_KEYFRAME);
  }
  if (ICSendMessage(hic, ICM_COMPRESS_END, 0, 0) != ICERR_OK) return ::testing::AssertionFailure() << "END failed";
  return ::testing::AssertionSuccess();
}

// Decodes the frames with the decoder the format names; one picture per frame.
std::vector<std::vector<std::uint8_t>> Decode(const Encoded& encoded) {
  auto decoder = codec::VideoDecoder::Open(encoded.format.data(), encoded.format.size());
  EXPECT_TRUE(decoder);
  std::vector<std::vector<std::uint8_t>> pictures;
  if (!decoder) return pictures;
  codec::DibImage dib;
  EXPECT_TRUE(dib.Allocate(decoder->width(), decoder->height()));
  auto take = [&] {
    while (decoder->Receive() == 0) {
      EXPECT_EQ(decoder->picture().width, decoder->width());
      EXPECT_EQ(decoder->picture().height, decoder->height());
      EXPECT_TRUE(decoder->ConvertTo(dib));
      pictures.push_back(codectest::TopDownRows(dib.pixels(), dib.width(), dib.height()));
    }
  };
  for (const auto& frame : encoded.frames) {
    AVPacket* packet = decoder->NewPacket(frame.size());
    std::memcpy(packet->data, frame.data(), frame.size());
    EXPECT_EQ(decoder->Send(packet, false), 0);
    take();
  }
  EXPECT_EQ(decoder->SendEnd(), 0);
  take();
  return pictures;
}

class CompressorRoundTrip : public ::testing::TestWithParam<std::tuple<CodecCase, Size>> {};

TEST_P(CompressorRoundTrip, EveryFrameDecodesToItsPicture) {
  const auto [codecCase, size] = GetParam();
  HIC hic = ICOpen(ICTYPE_VIDEO, Fourcc(codecCase.fcc), ICMODE_COMPRESS);
  ASSERT_TRUE(hic);
  const BITMAPINFOHEADER in = InputHeader(size.width, size.height);
  if (size.width % codecCase.multipleOf || size.height % codecCase.multipleOf) {
    // Declined, so the chooser does not offer it for this size.
    EXPECT_NE(ICSendMessage(hic, ICM_COMPRESS_QUERY, reinterpret_cast<DWORD_PTR>(&in), 0), ICERR_OK);
    EXPECT_LT(ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, reinterpret_cast<DWORD_PTR>(&in), 0), 0);
    EXPECT_EQ(ICClose(hic), ICERR_OK);
    return;
  }
  ASSERT_EQ(ICSendMessage(hic, ICM_COMPRESS_QUERY, reinterpret_cast<DWORD_PTR>(&in), 0), ICERR_OK);

  std::vector<std::vector<std::uint8_t>> inputs;
  for (int i = 0; i < 6; ++i) inputs.push_back(MakeFrame(size.width, size.height, i));
  Encoded encoded;
  ASSERT_TRUE(Compress(hic, in, inputs, 8500, &encoded));
  EXPECT_EQ(ICClose(hic), ICERR_OK);

  BITMAPINFOHEADER format;
  std::memcpy(&format, encoded.format.data(), sizeof format);
  EXPECT_EQ(format.biCompression, Fourcc(codecCase.fcc));
  EXPECT_EQ(format.biWidth, size.width);
  EXPECT_EQ(format.biHeight, size.height);
  EXPECT_EQ(format.biSize, encoded.format.size());
  EXPECT_TRUE(encoded.keys.front());

  const auto pictures = Decode(encoded);
  ASSERT_EQ(pictures.size(), inputs.size());
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const auto expected = codectest::TopDownRows(inputs[i].data(), size.width, size.height);
    if (codecCase.lossless)
      EXPECT_EQ(pictures[i], expected) << "frame " << i;
    else
      EXPECT_GE(codectest::LumaPsnr(pictures[i], expected), codecCase.minPsnr) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, CompressorRoundTrip, ::testing::Combine(::testing::ValuesIn(kCodecs), ::testing::ValuesIn(kSizes)),
                         [](const auto& info) {
                           const Size size = std::get<1>(info.param);
                           return std::string(std::get<0>(info.param).fcc) + "_" + std::to_string(size.width) + "x" +
                                  std::to_string(size.height);
                         });

class CompressorLimits : public ::testing::TestWithParam<CodecCase> {};

// Noise is the largest thing any codec makes; it must fit GET_SIZE.
TEST_P(CompressorLimits, NoiseFitsTheLargestFrame) {
  HIC hic = ICOpen(ICTYPE_VIDEO, Fourcc(GetParam().fcc), ICMODE_COMPRESS);
  ASSERT_TRUE(hic);
  const BITMAPINFOHEADER in = InputHeader(64, 48);
  std::vector<std::vector<std::uint8_t>> inputs;
  for (unsigned i = 0; i < 3; ++i) inputs.push_back(codectest::MakeNoiseFrame(64, 48, i));
  Encoded encoded;
  EXPECT_TRUE(Compress(hic, in, inputs, 10000, &encoded));
  EXPECT_EQ(ICClose(hic), ICERR_OK);
}

// A top-down input codes the same picture as its bottom-up twin.
TEST_P(CompressorLimits, TopDownInputKeepsItsOrientation) {
  HIC hic = ICOpen(ICTYPE_VIDEO, Fourcc(GetParam().fcc), ICMODE_COMPRESS);
  ASSERT_TRUE(hic);
  Encoded up, down;
  ASSERT_TRUE(Compress(hic, InputHeader(32, 16), {MakeFrame(32, 16, 3)}, 8500, &up));
  ASSERT_TRUE(Compress(hic, InputHeader(32, 16, true), {MakeFrame(32, 16, 3, true)}, 8500, &down));
  EXPECT_EQ(ICClose(hic), ICERR_OK);
  const auto a = Decode(up), b = Decode(down);
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(a[0], b[0]);
}

TEST_P(CompressorLimits, DeclinesOtherInputs) {
  HIC hic = ICOpen(ICTYPE_VIDEO, Fourcc(GetParam().fcc), ICMODE_COMPRESS);
  ASSERT_TRUE(hic);
  BITMAPINFOHEADER rgb32 = InputHeader(16, 16);
  rgb32.biBitCount = 32;
  BITMAPINFOHEADER mjpg = InputHeader(16, 16);
  mjpg.biCompression = mmioFOURCC('M', 'J', 'P', 'G');
  BITMAPINFOHEADER empty = InputHeader(16, 16);
  empty.biWidth = 0;
  BITMAPINFOHEADER huge = InputHeader(70000, 16);
  for (const BITMAPINFOHEADER* bad : {&rgb32, &mjpg, &empty, &huge}) {
    EXPECT_NE(ICSendMessage(hic, ICM_COMPRESS_QUERY, reinterpret_cast<DWORD_PTR>(bad), 0), ICERR_OK);
    EXPECT_LT(ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, reinterpret_cast<DWORD_PTR>(bad), 0), 0);
    EXPECT_LT(ICSendMessage(hic, ICM_COMPRESS_GET_SIZE, reinterpret_cast<DWORD_PTR>(bad), 0), 0);
  }
  EXPECT_NE(ICSendMessage(hic, ICM_COMPRESS_QUERY, 0, 0), ICERR_OK);
  // Compressing before BEGIN fails cleanly.
  BITMAPINFOHEADER in = InputHeader(16, 16), out = in;
  std::vector<std::uint8_t> bits = MakeFrame(16, 16, 0), buffer(1 << 16);
  DWORD flags = 0;
  EXPECT_NE(ICCompress(hic, 0, &out, buffer.data(), &in, bits.data(), nullptr, &flags, 0, 0, 8500, nullptr, nullptr),
            static_cast<DWORD>(ICERR_OK));
  EXPECT_EQ(ICClose(hic), ICERR_OK);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CompressorLimits, ::testing::ValuesIn(kCodecs),
                         [](const auto& info) { return std::string(info.param.fcc); });

TEST(Compressor, LowerQualityMakesSmallerFrames) {
  for (const char* fcc : {"MJPG", "H264", "FMP4", "cvid"}) {
    HIC hic = ICOpen(ICTYPE_VIDEO, Fourcc(fcc), ICMODE_COMPRESS);
    ASSERT_TRUE(hic);
    const BITMAPINFOHEADER in = InputHeader(96, 64);
    Encoded low, high;
    ASSERT_TRUE(Compress(hic, in, {MakeFrame(96, 64, 7)}, 1000, &low));
    ASSERT_TRUE(Compress(hic, in, {MakeFrame(96, 64, 7)}, 9500, &high));
    EXPECT_LT(low.frames[0].size(), high.frames[0].size()) << fcc;
    EXPECT_EQ(ICClose(hic), ICERR_OK);
  }
}

// Key frames come at the interval FRAMES_INFO sets, once a second of video
// by default, and nowhere else (the frames do not change).
TEST(Compressor, KeyFramesFollowTheFramesInfo) {
  struct Case {
    const char* fcc;
    DWORD rate, scale;  // 0: no FRAMES_INFO sent
    LONG keyRate;
    int interval;
  };
  const Case cases[] = {
      {"H264", 0, 0, 0, 10},       {"H264", 30000, 1001, 0, 30}, {"H264", 10, 1, 4, 4}, {"FMP4", 7, 2, 0, 4},
      {"FMP4", 1, 1, 0, 1},        {"cvid", 25, 1, 5, 5},        {"MSVC", 10, 1, 3, 3}, {"MSVC", 6, 1, 0, 6},
      {"MJPG", 10, 1, 4, 1},
  };
  for (const Case& c : cases) {
    HIC hic = ICOpen(ICTYPE_VIDEO, Fourcc(c.fcc), ICMODE_COMPRESS);
    ASSERT_TRUE(hic);
    ICCOMPRESSFRAMES frames{};
    frames.dwRate = c.rate;
    frames.dwScale = c.scale;
    frames.lKeyRate = c.keyRate;
    if (c.rate) {
      ASSERT_EQ(ICSendMessage(hic, ICM_COMPRESS_FRAMES_INFO, reinterpret_cast<DWORD_PTR>(&frames), sizeof frames),
                ICERR_OK);
    }
    std::vector<std::vector<std::uint8_t>> inputs(33, MakeFrame(16, 16, 0));
    Encoded encoded;
    ASSERT_TRUE(Compress(hic, InputHeader(16, 16), inputs, 8500, &encoded));
    EXPECT_EQ(ICClose(hic), ICERR_OK);
    for (std::size_t i = 0; i < encoded.keys.size(); ++i)
      EXPECT_EQ(encoded.keys[i], i % std::size_t(c.interval) == 0) << c.fcc << " " << c.rate << " frame " << i;
  }
}

TEST(Compressor, SizeProblemsSayWhatWouldDo) {
  struct Case {
    const char* fcc;
    int width, height;
    const char* problem;
  };
  const Case cases[] = {
      {"H264", 641, 481,
       "H.264 (x264) writes only frames whose sides are even; 641x481 is not one, 640x480 or 642x482 would do."},
      {"H264", 640, 1, "H.264 (x264) writes only frames whose sides are even; 640x1 is not one, 640x2 would do."},
      {"MSVC", 62, 46,
       "Microsoft Video 1 writes only frames whose sides are multiples of 4; 62x46 is not one, 60x44 or 64x48 would do."},
      {"FMP4", 9000, 16, "MPEG-4 Part 2 writes frames of at most 8191 pixels a side; 9000x16 is larger."},
      {"MJPG", 20000, 20000,
       "Motion JPEG cannot write frames of 20000x20000: one compressed frame could exceed 2 GiB."},
      {"H264", 1920, 1080, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(codec::SizeProblem(*codec::FindCompressor(Fourcc(c.fcc)), c.width, c.height), c.problem);
}

TEST(Compressor, ListedAndOpenedByFourcc) {
  std::vector<std::string> names;
  ICINFO info;
  for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &info); ++i) {
    EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
    EXPECT_STRNE(info.szDescription, "");
    names.push_back(codec::CompressorName(info.fccHandler));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"MJPG", "H264", "FMP4", "FFV1", "HFYU", "cvid", "MSVC"}));
  EXPECT_FALSE(ICInfo(mmioFOURCC('a', 'u', 'd', 'c'), 0, &info));

  HIC lower = ICOpen(ICTYPE_VIDEO, mmioFOURCC('m', 'j', 'p', 'g'), ICMODE_COMPRESS);
  EXPECT_TRUE(lower);
  EXPECT_EQ(ICClose(lower), ICERR_OK);
  EXPECT_FALSE(ICOpen(ICTYPE_VIDEO, mmioFOURCC('X', 'Y', 'Z', 'W'), ICMODE_COMPRESS));
  EXPECT_FALSE(ICOpen(ICTYPE_VIDEO, Fourcc("MJPG"), 2));
  EXPECT_EQ(ICClose(nullptr), ICERR_BADPARAM);
}

TEST(Compressor, QualityMapping) {
  EXPECT_EQ(codec::QualityToQScale(10000), 1);
  EXPECT_EQ(codec::QualityToQScale(8500), 3);
  EXPECT_EQ(codec::QualityToQScale(0), 31);
  EXPECT_DOUBLE_EQ(codec::QualityToCrf(8500), 20);
  EXPECT_EQ(codec::QualityToQScale(0xFFFFFFFF), codec::QualityToQScale(7500));  // the default
}

}  // namespace
