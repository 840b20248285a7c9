#include "platform/codec/video_decoder.h"

#include <algorithm>
#include <climits>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "platform/dib/layout.h"

namespace codec {

namespace {

SwsPtr NewScalerWithThreads(int srcWidth, int srcHeight, AVPixelFormat srcFormat, int width, int height,
                            AVPixelFormat format, int threads) {
  SwsPtr sws(sws_alloc_context());
  if (!sws) return nullptr;
  SwsContext* c = sws.get();
  av_opt_set_int(c, "srcw", srcWidth, 0);
  av_opt_set_int(c, "srch", srcHeight, 0);
  av_opt_set_int(c, "src_format", srcFormat, 0);
  av_opt_set_int(c, "dstw", width, 0);
  av_opt_set_int(c, "dsth", height, 0);
  av_opt_set_int(c, "dst_format", format, 0);
  av_opt_set_int(c, "sws_flags", SWS_BICUBIC, 0);
  av_opt_set_int(c, "threads", threads, 0);
  if (sws_init_context(c, nullptr, nullptr) < 0) return nullptr;
  return sws;
}

// A scaler from pictures of srcWidth x srcHeight in srcFormat to width x
// height in format, its slice threads sharing the work; null when libswscale
// refuses the sizes (a stretch too steep). libswscale loses a slice context
// when a set-up with threads fails, so one without threads tries first: it
// frees everything it made when it fails.
SwsPtr NewScaler(int srcWidth, int srcHeight, AVPixelFormat srcFormat, int width, int height, AVPixelFormat format) {
  SwsPtr single = NewScalerWithThreads(srcWidth, srcHeight, srcFormat, width, height, format, 1);
  if (!single) return nullptr;
  SwsPtr threaded = NewScalerWithThreads(srcWidth, srcHeight, srcFormat, width, height, format, 0);
  return threaded ? std::move(threaded) : std::move(single);
}

void KeepBuffer(void*, std::uint8_t*) {}

// libswscale carries a source's alpha, or the padding byte of 32-bit RGB,
// into BGR0's fourth byte instead of setting it to 255.
bool KeepsFourthByte(const AVPixFmtDescriptor* desc) {
  if (!desc) return true;
  return (desc->flags & AV_PIX_FMT_FLAG_ALPHA) ||
         ((desc->flags & AV_PIX_FMT_FLAG_RGB) && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR) &&
          desc->comp[0].step == 4);
}

// Every pixel of a 32-bit DIB opaque: its fourth byte 255.
void MakeOpaque(DibImage& out) {
  for (int y = 0; y < out.height(); ++y) {
    std::uint8_t* row = out.rowFromTop(y);
    for (int x = 0; x < out.width(); ++x) row[4 * x + 3] = 255;
  }
}

}  // namespace

std::unique_ptr<VideoDecoder> VideoDecoder::Open(const std::uint8_t* format, std::size_t size, bool threads) {
  InitLibav();
  if (!format || size < sizeof(BITMAPINFOHEADER) || size > INT_MAX / 2) return nullptr;
  BITMAPINFOHEADER bih;
  std::memcpy(&bih, format, sizeof bih);
  if (bih.biCompression == BI_RGB || bih.biCompression == BI_BITFIELDS) return nullptr;
  if (bih.biWidth <= 0 || bih.biHeight == 0 || bih.biHeight == INT_MIN) return nullptr;
  const int width = bih.biWidth;
  const int height = bih.biHeight < 0 ? -bih.biHeight : bih.biHeight;
  if (!dib::Fits(width, height, 24)) return nullptr;

  // After the AVI table, the QuickTime one: FFmpeg's AVI reader knows those
  // codes too (DNxHR as AVdh, ProRes as ap4h).
  const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), avformat_get_mov_video_tags(), nullptr};
  const AVCodecID id = av_codec_get_id(tables, bih.biCompression);
  const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
  if (!codec) return nullptr;

  std::unique_ptr<VideoDecoder> dec(new VideoDecoder);
  dec->m_width = width;
  dec->m_height = height;
  dec->m_ctx.reset(avcodec_alloc_context3(codec));
  dec->m_picture.reset(av_frame_alloc());
  dec->m_rgb.reset(av_frame_alloc());
  dec->m_stripView.reset(av_frame_alloc());
  dec->m_packet.reset(av_packet_alloc());
  if (!dec->m_ctx || !dec->m_picture || !dec->m_rgb || !dec->m_stripView || !dec->m_packet) return nullptr;
  AVCodecContext* ctx = dec->m_ctx.get();
  ctx->width = width;
  ctx->height = height;
  // libavcodec allocates (and clears) a picture as soon as a sample's header
  // names its size, before any data proves it.
  ctx->max_pixels = std::clamp<std::int64_t>(SamplePixelLimit(width, height), 1, INT_MAX);
  ctx->codec_tag = bih.biCompression;
  ctx->bits_per_coded_sample = bih.biBitCount;
  const std::size_t extra = size - sizeof bih;
  if (extra > 0) {
    ctx->extradata = static_cast<std::uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!ctx->extradata) return nullptr;
    std::memcpy(ctx->extradata, format + sizeof bih, extra);
    ctx->extradata_size = static_cast<int>(extra);
  }
  if (bih.biBitCount > 0 && bih.biBitCount <= 8 && extra >= 4) {
    // Like FFmpeg's AVI reader: the colour table ends the codec data.
    std::size_t bytes = std::min<std::size_t>(std::size_t{4} << bih.biBitCount, extra & ~std::size_t{3});
    const std::uint8_t* table = format + size - bytes;
    for (std::size_t i = 0; i < bytes / 4; ++i) {
      const std::uint8_t* q = table + 4 * i;
      dec->m_palette[i] = 0xFF000000u | (std::uint32_t{q[2]} << 16) | (std::uint32_t{q[1]} << 8) | q[0];
    }
    dec->m_hasPalette = true;
  }
  // Frame threads keep output order and timestamps, so frames stay exact.
  // Each holds a picture of its own: larger pictures decode one at a time.
  ctx->thread_count = threads ? 0 : 1;
  ctx->thread_type = std::int64_t{width} * height > kAnyStreamPixels ? FF_THREAD_SLICE : FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (avcodec_open2(ctx, codec, nullptr) < 0) return nullptr;
  return dec;
}

AVPacket* VideoDecoder::NewPacket(std::size_t size) {
  if (size > INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE) return nullptr;
  const std::size_t needed = size + AV_INPUT_BUFFER_PADDING_SIZE;
  AVPacket* packet = m_packet.get();
  av_packet_unref(packet);
  if (!m_packetBuffer || !av_buffer_is_writable(m_packetBuffer.get()) ||
      static_cast<std::size_t>(m_packetBuffer->size) < needed) {
    m_packetBuffer.reset(av_buffer_alloc(needed));
    if (!m_packetBuffer) return nullptr;
  }
  packet->buf = av_buffer_ref(m_packetBuffer.get());
  if (!packet->buf) return nullptr;
  packet->data = m_packetBuffer->data;
  packet->size = static_cast<int>(size);
  std::memset(packet->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  return packet;
}

bool VideoDecoder::everySampleKey() const {
  if (m_ctx->codec_id != AV_CODEC_ID_PNG) return false;
  DWORD upper = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const DWORD c = (m_ctx->codec_tag >> shift) & 0xFF;
    upper |= (c >= 'a' && c <= 'z' ? c - 32 : c) << shift;
  }
  return upper != mmioFOURCC('P', 'N', 'G', '1');
}

bool VideoDecoder::intraOnly() const {
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(m_ctx->codec_id);
  return descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
}

int VideoDecoder::Send(AVPacket* packet, bool key) {
  // Decoders may read the flag as FFmpeg's demuxer sets it from the index:
  // the PNG decoder adds a picture without it to the one before.
  if (key) packet->flags |= AV_PKT_FLAG_KEY;
  if (m_hasPalette && !m_paletteSent) {
    std::uint8_t* side = av_packet_new_side_data(packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (side) std::memcpy(side, m_palette.data(), AVPALETTE_SIZE);
  }
  const int r = avcodec_send_packet(m_ctx.get(), packet);
  if (r != AVERROR(EAGAIN)) m_paletteSent = true;
  if (packet == m_packet.get()) av_packet_unref(packet);  // the decoder keeps its own reference
  return r;
}

int VideoDecoder::SendEnd() { return avcodec_send_packet(m_ctx.get(), nullptr); }

int VideoDecoder::Receive() { return avcodec_receive_frame(m_ctx.get(), m_picture.get()); }

void VideoDecoder::Flush() {
  avcodec_flush_buffers(m_ctx.get());
  av_frame_unref(m_picture.get());
  m_paletteSent = false;
}

bool VideoDecoder::ConvertTo(const AVFrame& picture, DibImage& out) {
  const AVFrame* f = &picture;
  if (f->width <= 0 || f->height <= 0 || f->format < 0 || !out.Allocate(m_width, m_height))
    return false;
  const auto format = static_cast<AVPixelFormat>(f->format);
  // BGR0: libswscale's 32-bit output without alpha, whose fourth byte it
  // sets to 255 unless the picture brings one of its own (KeepsFourthByte).
  const AVPixelFormat outFormat = out.bgrx() ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGR24;
  if (f->width != m_swsWidth || f->height != m_swsHeight || format != m_swsFormat || outFormat != m_swsOutFormat) {
    // A picture the scaler refuses is refused again without a new try.
    m_swsWidth = f->width;
    m_swsHeight = f->height;
    m_swsFormat = format;
    m_swsOutFormat = outFormat;
    m_sws = NewScaler(f->width, f->height, format, m_width, m_height, outFormat);
  }
  if (!m_sws) return false;
  SwsContext* sws = m_sws.get();
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc && !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) && desc->nb_components >= 3) {
    // Honour the picture's matrix and range, as FFmpeg's scaler does.
    const int matrix = f->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : f->colorspace;
    const bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
    int* inv;
    int* table;
    int srcRange, dstRange, brightness, contrast, saturation;
    if (sws_getColorspaceDetails(sws, &inv, &srcRange, &table, &dstRange, &brightness, &contrast, &saturation) >= 0 &&
        (std::memcmp(inv, sws_getCoefficients(matrix), 4 * sizeof(int)) != 0 || (fullRange && !srcRange)))
      sws_setColorspaceDetails(sws, sws_getCoefficients(matrix), srcRange || fullRange, table, dstRange, brightness,
                               contrast, saturation);
  }
  AVFrame* view = m_stripView.get();
  if (out.bgrx() && m_width % kWholeBlocks == 0) {
    // Top-down rows that whole SIMD blocks fill exactly: the scaler writes
    // straight into the DIB, its slice threads each into rows of their own.
    av_frame_unref(view);
    view->buf[0] = av_buffer_create(out.pixels(), out.pixelBytes(), KeepBuffer, nullptr, 0);
    if (!view->buf[0]) return false;
    view->data[0] = out.pixels();
    view->linesize[0] = static_cast<int>(out.stride());
    view->width = m_width;
    view->height = m_height;
    view->format = outFormat;
    const bool made = sws_scale_frame(sws, view, f) >= 0;
    av_frame_unref(view);
    if (made && KeepsFourthByte(desc)) MakeOpaque(out);
    return made;
  }
  // libswscale writes whole SIMD blocks past the end of rows, so it fills
  // a top-down picture of our own whose rows have room to spare (no slice
  // thread reaches into another's rows), then the rows go into the DIB.
  // Beyond kAnyStreamPixels that picture is a strip of rows the scaler fills
  // in turn, so a huge frame is not held twice.
  const bool strips = std::int64_t{m_width} * m_height > kAnyStreamPixels;
  const int align = std::max(static_cast<int>(sws_receive_slice_alignment(sws)), 1);
  const int rows = strips ? std::min(m_height, (kStripRows + align - 1) / align * align) : m_height;
  AVFrame* rgb = m_rgb.get();
  if (rgb->buf[0] && (rgb->height < rows || rgb->format != outFormat)) av_frame_unref(rgb);
  if (!rgb->buf[0]) {
    rgb->format = outFormat;
    rgb->width = m_width + 32;
    rgb->height = rows;
    if (av_frame_get_buffer(rgb, 0) < 0) return false;
    rgb->width = m_width;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(m_width) * out.bytesPerPixel();
  const auto copyRows = [&](int top, int count) {
    for (int y = 0; y < count; ++y)
      std::memcpy(out.rowFromTop(top + y), rgb->data[0] + static_cast<std::ptrdiff_t>(y) * rgb->linesize[0], rowBytes);
  };
  if (!strips) {
    if (sws_scale_frame(sws, rgb, f) < 0) return false;
    copyRows(0, m_height);
    if (out.bgrx() && KeepsFourthByte(desc)) MakeOpaque(out);
    return true;
  }
  for (int top = 0; top < m_height; top += rows) {
    const int count = std::min(rows, m_height - top);
    // The scaler writes output row y at data + y * linesize: the view's data
    // lies so that the strip's first row is where row `top` goes.
    av_frame_unref(view);
    if (av_frame_ref(view, rgb) < 0) return false;
    view->height = m_height;
    view->data[0] = rgb->data[0] - static_cast<std::ptrdiff_t>(top) * rgb->linesize[0];
    const bool made = sws_frame_start(sws, view, f) >= 0 && sws_send_slice(sws, 0, f->height) >= 0 &&
                      sws_receive_slice(sws, top, count) >= 0;
    sws_frame_end(sws);
    av_frame_unref(view);
    if (!made) return false;
    copyRows(top, count);
  }
  if (out.bgrx() && KeepsFourthByte(desc)) MakeOpaque(out);
  return true;
}

}  // namespace codec
