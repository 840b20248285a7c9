// The installed compressors: each a libavcodec encoder with its FourCC, names,
// pixel format, size rules and quality mapping. Internal to platform/codec.
#pragma once

#include <cstdint>
#include <span>
#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "platform/vfw.h"

namespace codec {

// How the 0..10000 quality reaches the encoder.
enum class QualityControl {
  kNone,    // lossless, or the encoder has no quality setting
  kQScale,  // per-frame quantiser scale (2..31 scale, lower is better)
  kLambda,  // per-frame rate-distortion lambda
  kCrf,     // constant rate factor
};

// Which library writes the frames.
enum class EncoderEngine {
  kLibavcodec,
  // libjpeg-turbo straight from the BGR rows: its SIMD colour conversion and
  // coding are several times quicker than libswscale plus libavcodec's
  // Motion JPEG encoder, and the stream is the same baseline JPEG.
  kLibjpeg,
};

// How a compressor places its key frames.
enum class KeyFrames {
  kAll,        // every frame is one (intra-only codecs)
  kGopSize,    // AVCodecContext::gop_size is the interval
  kKeyintMin,  // keyint_min + 1 is the interval (libavcodec's Video 1 encoder)
};

struct CompressorEntry {
  FOURCC fcc;
  const char* name;         // ICINFO szName
  const char* description;  // ICINFO szDescription, the chooser's text
  const char* encoder;      // libavcodec encoder name (null for kLibjpeg)
  AVPixelFormat pixFmt;
  int padTo;       // encoded sides are rounded up to this; the format keeps the true size
  int multipleOf;  // sides must be a multiple of this, or the input is declined
  int maxSide;
  WORD bitCount;   // biBitCount of the output format
  // The format may carry codec data after the 40-byte header, so
  // ICM_COMPRESS_GET_FORMAT opens the encoder to learn it.
  bool extradata;
  bool sliceThreads;
  QualityControl quality;
  KeyFrames keyFrames;
  // Says in the stream that its YUV is BT.601 at limited range, which
  // players otherwise guess from the frame size (BT.709 for HD).
  bool signalsColour;
  EncoderEngine engine = EncoderEngine::kLibavcodec;
};

// What an encoder is opened with besides its size.
struct EncoderOptions {
  int keyInterval = 10;  // frames from key frame to key frame, where the codec has inter frames
  int rateNum = 10;      // frames per second, rateNum / rateDen
  int rateDen = 1;
};

// The compressors whose encoder this libavcodec provides, in listing order.
std::span<const CompressorEntry* const> InstalledCompressors();
// Case-insensitive FourCC lookup among the installed compressors, or null.
[[nodiscard]] const CompressorEntry* FindCompressor(FOURCC fcc);

// Quality 0..10000 (anything above 10000 means the default, 7500) mapped to
// a quantiser scale (31..1; 8500 gives 3) and a constant rate factor
// (51..12; 8500 gives 20).
int QualityToQScale(DWORD quality);
double QualityToCrf(DWORD quality);

// Why the compressor cannot write frames of width x height, in a sentence
// for the user; empty when it can.
std::string SizeProblem(const CompressorEntry& entry, int width, int height);

// The encoded picture size for an input of width x height.
struct EncodedSize {
  int width;
  int height;
  AVPixelFormat pixFmt;
};
EncodedSize EncodedSizeFor(const CompressorEntry& entry, int width, int height);

// Largest compressed frame for an input of width x height, in bytes.
std::int64_t MaxFrameBytes(const CompressorEntry& entry, int width, int height);

// ICERR_OK when the compressor takes this input: 24-bit BI_RGB, either row
// order, a size within the codec's limits, frames that fit a LONG. Answers
// from the table alone, without opening an encoder. `why`, when given,
// receives the reason for a refusal.
[[nodiscard]] LRESULT QueryInput(const CompressorEntry& entry, const BITMAPINFOHEADER* in, std::string* why = nullptr);

}  // namespace codec
