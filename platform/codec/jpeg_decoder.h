// Motion JPEG samples decoded by libjpeg-turbo straight into the output DIB:
// one pass, SIMD colour conversion to its layout, rows written where they
// belong.
// Only plain 8-bit baseline or progressive pictures in YCbCr 4:4:4, 4:2:2,
// 4:2:0 (even height) or grey of the stream's own size are taken; anything
// else (fields, lossless, 12-bit, CMYK or RGB, markers that change how
// libavcodec decodes) and any sample libjpeg-turbo finds fault with is left
// to libavcodec, so every stream it plays still plays the same. Internal to
// platform/codec.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/codec/dib_image.h"
#include "platform/wintypes.h"

namespace codec {

// True when samples of this FourCC are JPEG pictures libavcodec decodes
// without quirks of its own. The caller has checked that libavformat maps
// the FourCC to Motion JPEG.
bool JpegDecodesFourcc(DWORD fourcc);

// Decodes one sample of a stream of width x height into out, allocating it
// once the sample's header has shown a plain picture of that size. False
// when the sample is not a picture described above or is damaged; out's
// pixels are then undefined. Keeps no state: any thread may call it, on its
// own out.
[[nodiscard]] bool DecodeJpegSample(const std::uint8_t* sample, std::size_t size, int width, int height,
                                    DibImage& out);

}  // namespace codec
