// Owning handles for the libav* objects the codec services use, and the
// one-time library set-up. Internal to platform/codec.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace codec {

struct CodecContextDeleter {
  void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameDeleter {
  void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct BufferDeleter {
  void operator()(AVBufferRef* p) const { av_buffer_unref(&p); }
};
struct SwsDeleter {
  void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct AvFreeDeleter {
  void operator()(void* p) const { av_free(p); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using BufferPtr = std::unique_ptr<AVBufferRef, BufferDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using AvBytesPtr = std::unique_ptr<std::uint8_t, AvFreeDeleter>;

// Quietens libav*'s logging once per process: failures reach callers as
// result codes, and a corrupt file must not flood stderr with decoder noise.
void InitLibav();

}  // namespace codec
