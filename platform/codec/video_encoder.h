// One open encoder for a compressor and an input size: takes 24-bit BGR
// frames, returns one packet per frame. Most compressors are libavcodec
// encoders; Motion JPEG is written by libjpeg-turbo (jpeg_encoder.cpp).
// Internal to platform/codec.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/codec/compressor_table.h"

namespace codec {

class VideoEncoder {
 public:
  virtual ~VideoEncoder() = default;
  // Opens the encoder for frames of width x height; null when the library
  // refuses.
  [[nodiscard]] static std::unique_ptr<VideoEncoder> Open(const CompressorEntry& entry, int width, int height,
                                                          const EncoderOptions& options = {});

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
  [[nodiscard]] virtual LRESULT Encode(const std::uint8_t* bits, bool bottomUp, DWORD quality, Packet* out) = 0;

 protected:
  VideoEncoder(int width, int height) : m_width(width), m_height(height) {}

  int m_width = 0;
  int m_height = 0;
  std::vector<std::uint8_t> m_extradata;
};

// The Motion JPEG encoder (jpeg_encoder.cpp); null when the size is beyond
// what a JPEG holds.
[[nodiscard]] std::unique_ptr<VideoEncoder> OpenJpegEncoder(int width, int height);

}  // namespace codec
