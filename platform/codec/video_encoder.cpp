#include "platform/codec/video_encoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "platform/codec/av_handles.h"
#include "platform/codec/visual_object_header.h"
#include "platform/dib/layout.h"

namespace codec {

namespace {

// Quality the encoder is opened with; ICCompress sets each frame's own.
constexpr DWORD kOpenQuality = 8500;

// A libavcodec encoder behind a libswscale conversion from BGR.
class LibavEncoder final : public VideoEncoder {
 public:
  static std::unique_ptr<VideoEncoder> Open(const CompressorEntry& entry, int width, int height,
                                            const EncoderOptions& options);
  LRESULT Encode(const std::uint8_t* bits, bool bottomUp, DWORD quality, Packet* out) override;

 private:
  LibavEncoder(int width, int height) : VideoEncoder(width, height) {}
  bool PrepareFrame();
  bool ConvertInput(const std::uint8_t* bits, bool bottomUp);

  const CompressorEntry* m_entry = nullptr;
  EncodedSize m_coded{};
  int m_convertWidth = 0;  // the coded size, or more where the conversion needs it
  int m_convertHeight = 0;
  CodecContextPtr m_ctx;
  FramePtr m_frame;
  PacketPtr m_packet;
  SwsPtr m_sws;
  FramePtr m_input;  // the caller's picture, top-down, grown to the conversion size
  std::int64_t m_pts = 0;
  double m_crf = -1;
  std::vector<std::uint8_t> m_rewritten;  // a packet whose headers were amended
};

std::unique_ptr<VideoEncoder> LibavEncoder::Open(const CompressorEntry& entry, int width, int height,
                                                 const EncoderOptions& options) {
  InitLibav();
  const AVCodec* codec = avcodec_find_encoder_by_name(entry.encoder);
  if (!codec || width <= 0 || height <= 0) return nullptr;
  std::unique_ptr<LibavEncoder> enc(new LibavEncoder(width, height));
  enc->m_entry = &entry;
  enc->m_coded = EncodedSizeFor(entry, width, height);

  enc->m_ctx.reset(avcodec_alloc_context3(codec));
  enc->m_frame.reset(av_frame_alloc());
  enc->m_packet.reset(av_packet_alloc());
  if (!enc->m_ctx || !enc->m_frame || !enc->m_packet) return nullptr;
  AVCodecContext* ctx = enc->m_ctx.get();
  ctx->width = enc->m_coded.width;
  ctx->height = enc->m_coded.height;
  ctx->pix_fmt = enc->m_coded.pixFmt;
  ctx->time_base = AVRational{std::max(options.rateDen, 1), std::max(options.rateNum, 1)};
  ctx->framerate = AVRational{ctx->time_base.den, ctx->time_base.num};
  // Every frame comes back from its own call, and stepping back never
  // needs frames from the future.
  ctx->max_b_frames = 0;
  // Slice threads add no delay; frame threads would hold frames back.
  ctx->thread_type = FF_THREAD_SLICE;
  ctx->thread_count = entry.sliceThreads ? 0 : 1;
  const int keyInterval = std::max(options.keyInterval, 1);
  switch (entry.keyFrames) {
    case KeyFrames::kAll:
      ctx->gop_size = 1;
      break;
    case KeyFrames::kGopSize:
      ctx->gop_size = keyInterval;
      ctx->keyint_min = std::min(ctx->keyint_min, keyInterval);
      break;
    case KeyFrames::kKeyintMin:
      ctx->keyint_min = keyInterval - 1;
      break;
  }
  if (entry.signalsColour) {
    // What libswscale's conversion from RGB makes: BT.601 at limited range,
    // from sRGB pictures (BT.709 primaries and transfer).
    ctx->color_range = AVCOL_RANGE_MPEG;
    ctx->colorspace = AVCOL_SPC_SMPTE170M;
    ctx->color_primaries = AVCOL_PRI_BT709;
    ctx->color_trc = AVCOL_TRC_BT709;
  }

  AVDictionary* opts = nullptr;
  switch (entry.quality) {
    case QualityControl::kQScale:
      ctx->flags |= AV_CODEC_FLAG_QSCALE;
      ctx->qmin = 1;
      ctx->qmax = 31;
      ctx->global_quality = QualityToQScale(kOpenQuality) * FF_QP2LAMBDA;
      break;
    case QualityControl::kCrf:
      enc->m_crf = QualityToCrf(kOpenQuality);
      av_dict_set(&opts, "preset", "fast", 0);
      av_dict_set(&opts, "profile", "high", 0);
      av_dict_set(&opts, "tune", "zerolatency", 0);
      av_dict_set(&opts, "crf", std::to_string(enc->m_crf).c_str(), 0);
      break;
    case QualityControl::kLambda:
    case QualityControl::kNone:
      break;
  }
  if (entry.fcc == mmioFOURCC('F', 'F', 'V', '1')) {
    // Version 3 (threaded slices with CRCs, codec data in the format) needs
    // sides of 3 or more; smaller pictures take version 1.
    ctx->level = width >= 3 && height >= 3 ? 3 : 1;
  }
  const int opened = avcodec_open2(ctx, codec, &opts);
  av_dict_free(&opts);
  if (opened < 0) return nullptr;
  if (ctx->extradata && ctx->extradata_size > 0)
    enc->m_extradata.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);

  // The conversion works on even sides when the chroma is subsampled:
  // libswscale gets the colour of a one-pixel-wide picture wrong.
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(ctx->pix_fmt);
  const bool subsampled = desc && (desc->log2_chroma_w > 0 || desc->log2_chroma_h > 0);
  enc->m_convertWidth = subsampled ? (ctx->width + 1) & ~1 : ctx->width;
  enc->m_convertHeight = subsampled ? (ctx->height + 1) & ~1 : ctx->height;
  if (!enc->PrepareFrame()) return nullptr;
  enc->m_input.reset(av_frame_alloc());
  if (!enc->m_input) return nullptr;
  enc->m_input->format = AV_PIX_FMT_BGR24;
  enc->m_input->width = enc->m_convertWidth;
  enc->m_input->height = enc->m_convertHeight;
  if (av_frame_get_buffer(enc->m_input.get(), 0) < 0) return nullptr;
  // Slice threads share the conversion.
  enc->m_sws.reset(sws_alloc_context());
  SwsContext* sws = enc->m_sws.get();
  if (!sws) return nullptr;
  av_opt_set_int(sws, "srcw", enc->m_convertWidth, 0);
  av_opt_set_int(sws, "srch", enc->m_convertHeight, 0);
  av_opt_set_int(sws, "src_format", AV_PIX_FMT_BGR24, 0);
  av_opt_set_int(sws, "dstw", enc->m_convertWidth, 0);
  av_opt_set_int(sws, "dsth", enc->m_convertHeight, 0);
  av_opt_set_int(sws, "dst_format", ctx->pix_fmt, 0);
  av_opt_set_int(sws, "sws_flags", SWS_BICUBIC, 0);
  av_opt_set_int(sws, "threads", 0, 0);
  if (sws_init_context(sws, nullptr, nullptr) < 0) return nullptr;
  return enc;
}

bool LibavEncoder::PrepareFrame() {
  AVFrame* frame = m_frame.get();
  if (frame->buf[0] && av_frame_is_writable(frame)) return true;
  // The encoder still holds the last picture: take a fresh buffer.
  av_frame_unref(frame);
  frame->format = m_ctx->pix_fmt;
  frame->width = m_convertWidth;
  frame->height = m_convertHeight;
  if (av_frame_get_buffer(frame, 0) < 0) return false;
  frame->width = m_ctx->width;
  frame->height = m_ctx->height;
  return true;
}

bool LibavEncoder::ConvertInput(const std::uint8_t* bits, bool bottomUp) {
  // The caller's rows go through a buffer of our own first: libswscale's
  // SIMD code reads past the end of rows, which the caller's buffer may not
  // allow, and the copy turns the rows top-down and pads the picture by
  // repeating its last column and row (cheaper to code than a hard edge).
  const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(dib::Stride(m_width, 24));
  const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 3;
  AVFrame* input = m_input.get();
  for (int y = 0; y < m_convertHeight; ++y) {
    const int srcRow = std::min(y, m_height - 1);
    const std::uint8_t* src = bits + (bottomUp ? m_height - 1 - srcRow : srcRow) * stride;
    std::uint8_t* dst = input->data[0] + static_cast<std::ptrdiff_t>(y) * input->linesize[0];
    std::memcpy(dst, src, rowBytes);
    for (int x = m_width; x < m_convertWidth; ++x) std::memcpy(dst + 3 * x, src + rowBytes - 3, 3);
  }
  if (!PrepareFrame()) return false;
  // The conversion fills the whole buffer (the conversion size), then the
  // frame states the coded size again.
  m_frame->width = m_convertWidth;
  m_frame->height = m_convertHeight;
  const bool converted = sws_scale_frame(m_sws.get(), m_frame.get(), input) >= 0;
  m_frame->width = m_ctx->width;
  m_frame->height = m_ctx->height;
  return converted;
}

LRESULT LibavEncoder::Encode(const std::uint8_t* bits, bool bottomUp, DWORD quality, Packet* out) {
  if (!bits || !out) return ICERR_BADPARAM;
  if (!ConvertInput(bits, bottomUp)) return ICERR_MEMORY;
  AVFrame* frame = m_frame.get();
  frame->pts = m_pts++;
  frame->quality = 0;
  switch (m_entry->quality) {
    case QualityControl::kQScale:
      frame->quality = QualityToQScale(quality) * FF_QP2LAMBDA;
      break;
    case QualityControl::kLambda:
      frame->quality = QualityToQScale(quality) * FF_QP2LAMBDA + 1;
      break;
    case QualityControl::kCrf: {
      // The x264 wrapper reconfigures the encoder when the option changes.
      const double crf = QualityToCrf(quality);
      if (crf != m_crf && av_opt_set_double(m_ctx->priv_data, "crf", crf, 0) >= 0) m_crf = crf;
      break;
    }
    case QualityControl::kNone:
      break;
  }
  av_packet_unref(m_packet.get());
  if (avcodec_send_frame(m_ctx.get(), frame) < 0) return ICERR_ERROR;
  if (avcodec_receive_packet(m_ctx.get(), m_packet.get()) < 0) return ICERR_ERROR;
  out->data = m_packet->data;
  out->size = static_cast<std::size_t>(m_packet->size);
  out->key = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
  // libavcodec's MPEG-4 encoder leaves the colour out of the visual object
  // header it puts before each key frame.
  if (m_entry->signalsColour && m_entry->fcc == mmioFOURCC('F', 'M', 'P', '4') &&
      SignalColour(out->data, out->size, kBt601Limited, &m_rewritten)) {
    out->data = m_rewritten.data();
    out->size = m_rewritten.size();
  }
  return ICERR_OK;
}

}  // namespace

std::unique_ptr<VideoEncoder> VideoEncoder::Open(const CompressorEntry& entry, int width, int height,
                                                 const EncoderOptions& options) {
  if (entry.engine == EncoderEngine::kLibjpeg) return OpenJpegEncoder(width, height);
  return LibavEncoder::Open(entry, width, height, options);
}

}  // namespace codec
