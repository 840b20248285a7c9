// One open libavcodec encoder for a compressor and an input size: takes
// 24-bit BGR frames, returns one packet per frame. Internal to platform/codec.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/codec/av_handles.h"
#include "platform/codec/compressor_spec.h"

namespace codec {

class VideoEncoder {
 public:
  // Opens the encoder for frames of width x height; null when libavcodec
  // refuses.
  static std::unique_ptr<VideoEncoder> Open(const CompressorSpec& spec, int width, int height);

  int width() const { return m_width; }
  int height() const { return m_height; }
  // Codec data for the stream format (empty when the codec keeps it in-band).
  const std::vector<std::uint8_t>& extradata() const { return m_extradata; }

  struct Packet {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool key = false;
  };
  // Encodes one frame whose rows are 3 * width bytes (padded to 4) apart,
  // bottom-up when bottomUp. The packet stays valid until the next call.
  // ICERR_OK, or an error when the encoder fails or holds the frame back.
  LRESULT Encode(const std::uint8_t* bits, bool bottomUp, DWORD quality, Packet* out);

 private:
  VideoEncoder() = default;
  bool PrepareFrame();
  bool ConvertInput(const std::uint8_t* bits, bool bottomUp);

  const CompressorSpec* m_spec = nullptr;
  int m_width = 0;
  int m_height = 0;
  EncodedSize m_coded{};
  int m_convertWidth = 0;  // the coded size, or more where the conversion needs it
  int m_convertHeight = 0;
  CodecContextPtr m_ctx;
  FramePtr m_frame;
  PacketPtr m_packet;
  SwsPtr m_sws;
  FramePtr m_input;  // the caller's picture, top-down, grown to the conversion size
  std::vector<std::uint8_t> m_extradata;
  std::int64_t m_pts = 0;
  double m_crf = -1;
};

}  // namespace codec
