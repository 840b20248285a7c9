#include "tests/platform/codec/codec_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include <turbojpeg.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/vfw.h"
#include "tests/support/test_support.h"

namespace codectest {

namespace {

std::size_t StrideOf(int width) { return static_cast<std::size_t>(testsupport::DibStride(width)); }

}  // namespace

BITMAPINFOHEADER InputHeader(int width, int height, bool topDown) {
  BITMAPINFOHEADER bih{};
  bih.biSize = sizeof bih;
  bih.biWidth = width;
  bih.biHeight = topDown ? -height : height;
  bih.biPlanes = 1;
  bih.biBitCount = 24;
  bih.biCompression = BI_RGB;
  bih.biSizeImage = static_cast<DWORD>(StrideOf(width) * height);
  return bih;
}

std::vector<std::uint8_t> MakeFrame(int width, int height, int index, bool topDown) {
  const std::size_t stride = StrideOf(width);
  std::vector<std::uint8_t> bits(stride * height, 0);
  const int side = std::max(1, std::min(width, height) / 3);  // the moving square
  const int sx = (index * 3) % std::max(1, width - side + 1);
  const int sy = (index * 2) % std::max(1, height - side + 1);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = bits.data() + stride * (topDown ? y : height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const bool inSquare = x >= sx && x < sx + side && y >= sy && y < sy + side;
      row[3 * x] = static_cast<std::uint8_t>(inSquare ? 60 : 40 + 160 * x / std::max(1, width - 1));
      row[3 * x + 1] = static_cast<std::uint8_t>(inSquare ? 90 : 40 + 160 * y / std::max(1, height - 1));
      row[3 * x + 2] = static_cast<std::uint8_t>(inSquare ? 80 : 200 - 120 * (x + y) / std::max(1, width + height - 2));
    }
  }
  return bits;
}

std::vector<std::uint8_t> MakeNoiseFrame(int width, int height, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> bits(StrideOf(width) * height);
  for (auto& b : bits) b = static_cast<std::uint8_t>(rng());
  return bits;
}

std::vector<std::uint8_t> TopDownRows(const std::uint8_t* pixels, int width, int height, bool topDown) {
  const std::size_t stride = StrideOf(width);
  std::vector<std::uint8_t> rows;
  rows.reserve(static_cast<std::size_t>(width) * 3 * height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = pixels + stride * (topDown ? y : height - 1 - y);
    rows.insert(rows.end(), row, row + 3 * width);
  }
  return rows;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  if (sum == 0) return 1000;
  return 10 * std::log10(255.0 * 255.0 * a.size() / sum);
}

double LumaPsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (std::size_t i = 0; i + 2 < a.size(); i += 3) {
    const double ya = 0.114 * a[i] + 0.587 * a[i + 1] + 0.299 * a[i + 2];
    const double yb = 0.114 * b[i] + 0.587 * b[i + 1] + 0.299 * b[i + 2];
    sum += (ya - yb) * (ya - yb);
  }
  if (sum == 0) return 1000;
  return 10 * std::log10(255.0 * 255.0 * (a.size() / 3) / sum);
}

Compressed CompressFrames(const char* fcc, int width, int height, int count) {
  Compressed out;
  HIC hic = ICOpen(ICTYPE_VIDEO, mmioFOURCC(fcc[0], fcc[1], fcc[2], fcc[3]), ICMODE_COMPRESS);
  EXPECT_TRUE(hic) << fcc;
  if (!hic) return out;
  BITMAPINFOHEADER in = InputHeader(width, height);
  const auto inArg = reinterpret_cast<DWORD_PTR>(&in);
  const LRESULT formatSize = ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, inArg, 0);
  EXPECT_GE(formatSize, 40);
  out.format.resize(static_cast<std::size_t>(std::max<LRESULT>(formatSize, 40)));
  EXPECT_EQ(ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, inArg, reinterpret_cast<DWORD_PTR>(out.format.data())),
            formatSize);
  const auto outArg = reinterpret_cast<DWORD_PTR>(out.format.data());
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(ICSendMessage(hic, ICM_COMPRESS_GET_SIZE, inArg, outArg)));
  EXPECT_EQ(ICSendMessage(hic, ICM_COMPRESS_BEGIN, inArg, outArg), ICERR_OK);
  BITMAPINFOHEADER header;
  std::memcpy(&header, out.format.data(), sizeof header);
  for (int i = 0; i < count; ++i) {
    std::vector<std::uint8_t> bits = MakeFrame(width, height, i);
    DWORD flags = 0;
    EXPECT_EQ(ICCompress(hic, 0, &header, buffer.data(), &in, bits.data(), nullptr, &flags, i, 0, 8500, nullptr,
                         nullptr),
              static_cast<DWORD>(ICERR_OK));
    out.samples.emplace_back(buffer.begin(), buffer.begin() + header.biSizeImage);
    out.flags.push_back(flags);
  }
  EXPECT_EQ(ICSendMessage(hic, ICM_COMPRESS_END, 0, 0), ICERR_OK);
  EXPECT_EQ(ICClose(hic), ICERR_OK);
  return out;
}

std::vector<std::uint8_t> MakeJpeg(int width, int height, int index, int subsampling) {
  const std::vector<std::uint8_t> bits = MakeFrame(width, height, index);
  tjhandle tj = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int r = tjCompress2(tj, bits.data(), width, static_cast<int>(StrideOf(width)), height, TJPF_BGR, &jpeg, &size,
                            subsampling, 90, TJFLAG_BOTTOMUP);
  EXPECT_EQ(r, 0) << tjGetErrorStr2(tj);
  std::vector<std::uint8_t> out(jpeg, jpeg + (r == 0 ? size : 0));
  tjFree(jpeg);
  tjDestroy(tj);
  return out;
}

std::vector<std::uint8_t> ProgressiveJpeg(const std::vector<std::uint8_t>& jpeg) {
  tjhandle tj = tjInitTransform();
  tjtransform transform{};
  transform.op = TJXOP_NONE;
  transform.options = TJXOPT_PROGRESSIVE;
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int r = tjTransform(tj, jpeg.data(), jpeg.size(), 1, &out, &size, &transform, 0);
  EXPECT_EQ(r, 0) << tjGetErrorStr2(tj);
  std::vector<std::uint8_t> progressive(out, out + (r == 0 ? size : 0));
  tjFree(out);
  tjDestroy(tj);
  return progressive;
}

std::vector<std::uint8_t> WithoutHuffmanTables(const std::vector<std::uint8_t>& jpeg) {
  std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  const std::uint8_t avi1[] = {0xFF, 0xE0, 0, 16, 'A', 'V', 'I', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  out.insert(out.end(), std::begin(avi1), std::end(avi1));
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) {
    const std::size_t end = std::min(jpeg.size(), at + 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]));
    if (jpeg[at + 1] != 0xC4)  // DHT
      out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.begin() + static_cast<std::ptrdiff_t>(end));
    at = end;
  }
  out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
  return out;
}

std::vector<std::uint8_t> EncodePng(const std::vector<std::uint8_t>& rows, int width, int height) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  std::vector<std::uint8_t> png;
  if (ctx && frame && packet) {
    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_RGB24;
    ctx->time_base = {1, 10};
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = width;
    frame->height = height;
    if (avcodec_open2(ctx, codec, nullptr) == 0 && av_frame_get_buffer(frame, 0) == 0) {
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = rows.data() + static_cast<std::size_t>(y) * width * 3;
        std::uint8_t* to = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
        for (int i = 0; i < 3 * width; i += 3) to[i] = from[i + 2], to[i + 1] = from[i + 1], to[i + 2] = from[i];
      }
      if (avcodec_send_frame(ctx, frame) == 0 && avcodec_receive_packet(ctx, packet) == 0)
        png.assign(packet->data, packet->data + packet->size);
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  EXPECT_FALSE(png.empty()) << "libavcodec's PNG encoder";
  return png;
}

}  // namespace codectest
