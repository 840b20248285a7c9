// One libavcodec decoder for a compressed stream format: the decoder is found
// from biCompression through libavformat's AVI FourCC table, its codec data
// is the format's bytes after the 40-byte header. Internal to platform/codec.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/codec/av_handles.h"
#include "platform/codec/dib_image.h"
#include "platform/codec/picture_limits.h"

namespace codec {

class VideoDecoder {
 public:
  // Null when the format is too short or too large, uncompressed (BI_RGB,
  // BI_BITFIELDS: RgbConverter's), or no decoder exists for its FourCC.
  // With threads, libavcodec may decode several frames at once when they
  // are no larger than kAnyStreamPixels. Null too when the format's pictures
  // exceed the frame buffer's cap; pictures in the samples larger than
  // SamplePixelLimit are not made.
  [[nodiscard]] static std::unique_ptr<VideoDecoder> Open(const std::uint8_t* format, std::size_t size,
                                                          bool threads = true);

  int width() const { return m_width; }
  int height() const { return m_height; }
  AVCodecID codecId() const { return m_ctx->codec_id; }
  // The format's biCompression.
  DWORD fourcc() const { return m_ctx->codec_tag; }
  // True when every sample is a picture of its own, whatever the index says:
  // PNG frames ('png ', 'MPNG'), but not CorePNG's ('PNG1'), whose samples
  // between key frames add to the picture before.
  bool everySampleKey() const;
  // True when no picture of the codec refers to another.
  bool intraOnly() const;

  // A packet of size bytes (zeroed padding after them) for Send. Its buffer
  // is reused once the decoder has let go of it; valid until the next call.
  [[nodiscard]] AVPacket* NewPacket(std::size_t size);
  // Feeds one sample; key: it starts a picture of its own. 0, AVERROR(EAGAIN) when a picture must be received
  // first, or an error for a sample the decoder rejects.
  [[nodiscard]] int Send(AVPacket* packet, bool key);
  // Tells the decoder no more samples follow, so it gives up what it holds.
  [[nodiscard]] int SendEnd();
  // Takes the next picture: 0, AVERROR(EAGAIN) when it needs more samples,
  // AVERROR_EOF after SendEnd, or an error.
  [[nodiscard]] int Receive();
  const AVFrame& picture() const { return *m_picture; }
  // Forgets everything sent, for a new start at a key frame.
  void Flush();
  // True when pictures come out in another order than their samples went in.
  bool reorders() const { return m_ctx->has_b_frames > 0; }
  // How many pictures it holds back to put them in order.
  int reorderDepth() const { return m_ctx->has_b_frames; }
  // True when libavcodec decodes several frames at once on its own threads.
  bool frameThreaded() const { return (m_ctx->active_thread_type & FF_THREAD_FRAME) != 0; }

  // Converts the last picture received into out, in its layout, allocating
  // it to width x height, scaling if the decoder's picture has another size.
  [[nodiscard]] bool ConvertTo(DibImage& out) { return ConvertTo(*m_picture, out); }
  // The same for a picture received earlier and kept.
  [[nodiscard]] bool ConvertTo(const AVFrame& picture, DibImage& out);

 private:
  // Rows a strip of a picture beyond kAnyStreamPixels holds, at least.
  static constexpr int kStripRows = 128;
  // Pixels of the widest block libswscale's SIMD output writes at once:
  // rows of a multiple of it take no writes past their end.
  static constexpr int kWholeBlocks = 16;

  VideoDecoder() = default;

  CodecContextPtr m_ctx;
  FramePtr m_picture;
  PacketPtr m_packet;
  BufferPtr m_packetBuffer;  // see NewPacket
  FramePtr m_rgb;            // the converted picture, top-down, or a strip of it
  FramePtr m_stripView;      // m_rgb placed where a strip's rows belong, or the DIB's own rows
  SwsPtr m_sws;              // made for the picture size and format below; null when refused
  int m_swsWidth = 0;
  int m_swsHeight = 0;
  AVPixelFormat m_swsFormat = AV_PIX_FMT_NONE;
  AVPixelFormat m_swsOutFormat = AV_PIX_FMT_NONE;
  int m_width = 0;
  int m_height = 0;
  // The format's colour table, handed to palette decoders with the first
  // packet after each start, as they expect it.
  bool m_hasPalette = false;
  bool m_paletteSent = false;
  std::array<std::uint32_t, 256> m_palette{};
};

}  // namespace codec
