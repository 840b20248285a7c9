#include "platform/avifile/key_frames.h"

#include <climits>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/avifile/riff_layout.h"

namespace avifile {

struct KeyFrameProbe::Impl {
  ~Impl() {
    if (parser) av_parser_close(parser);
    avcodec_free_context(&ctx);
  }
  AVCodecParserContext* parser = nullptr;
  AVCodecContext* ctx = nullptr;
  std::vector<std::uint8_t> padded;  // parsers read a little past the data
  bool reorders = false;
};

std::unique_ptr<KeyFrameProbe> KeyFrameProbe::Open(const std::vector<std::uint8_t>& format) {
  if (format.size() < sizeof(BITMAPINFOHEADER) || format.size() > INT_MAX / 2) return nullptr;
  const DWORD compression = GetLE32(format.data() + 16);
  if (IsUncompressed(compression)) return nullptr;
  const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), avformat_get_mov_video_tags(), nullptr};
  const AVCodecID id = av_codec_get_id(tables, compression);
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
  if (!descriptor || (descriptor->props & AV_CODEC_PROP_INTRA_ONLY)) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->parser = av_parser_init(id);
  impl->ctx = avcodec_alloc_context3(nullptr);
  if (!impl->parser || !impl->ctx) return nullptr;
  impl->parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
  impl->reorders = (descriptor->props & AV_CODEC_PROP_REORDER) != 0;
  impl->ctx->codec_type = AVMEDIA_TYPE_VIDEO;
  impl->ctx->codec_id = id;
  impl->ctx->codec_tag = compression;
  // Parameter sets stored with the format come before the first sample.
  const std::size_t extra = format.size() - sizeof(BITMAPINFOHEADER);
  if (extra > 0) {
    impl->ctx->extradata = static_cast<std::uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!impl->ctx->extradata) return nullptr;
    std::memcpy(impl->ctx->extradata, format.data() + sizeof(BITMAPINFOHEADER), extra);
    impl->ctx->extradata_size = static_cast<int>(extra);
  }
  return std::unique_ptr<KeyFrameProbe>(new KeyFrameProbe(std::move(impl)));
}

KeyFrameProbe::KeyFrameProbe(std::unique_ptr<Impl> impl) : m(std::move(impl)) {}
KeyFrameProbe::~KeyFrameProbe() = default;

bool KeyFrameProbe::Reorders() const { return m->reorders; }

KeyFrameProbe::Kind KeyFrameProbe::Probe(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return Kind::kUnknown;
  size = std::min(size, kPrefixBytes);
  m->padded.assign(data, data + size);
  m->padded.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  AVCodecParserContext* p = m->parser;
  p->key_frame = -1;
  p->pict_type = AV_PICTURE_TYPE_NONE;
  std::uint8_t* out = nullptr;
  int outSize = 0;
  (void)av_parser_parse2(p, m->ctx, &out, &outSize, m->padded.data(), static_cast<int>(size), AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
  // The rule FFmpeg's demuxers follow: a parser that knows says so (IDR,
  // recovery point); otherwise an intra-coded picture is a key frame.
  if (p->key_frame == 1 || (p->key_frame == -1 && p->pict_type == AV_PICTURE_TYPE_I)) return Kind::kKey;
  const bool predicted = p->pict_type == AV_PICTURE_TYPE_P || p->pict_type == AV_PICTURE_TYPE_B ||
                         p->pict_type == AV_PICTURE_TYPE_S || p->pict_type == AV_PICTURE_TYPE_SP ||
                         p->pict_type == AV_PICTURE_TYPE_BI;
  return predicted ? Kind::kPredicted : Kind::kUnknown;
}

}  // namespace avifile
