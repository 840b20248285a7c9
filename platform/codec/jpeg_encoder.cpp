// Motion JPEG through libjpeg-turbo: each frame a baseline JFIF picture,
// 4:2:0, standard Huffman tables, coded straight from the caller's BGR rows.
// The quantiser tables are the ones libavcodec's Motion JPEG encoder writes
// for the same quantiser scale, so a quality gives the picture it gave there.
// libjpeg reports errors by longjmp; the function that sets the jump point
// holds no objects with destructors, so nothing is skipped.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "platform/codec/video_encoder.h"
#include "platform/dib/jpeg_errors.h"
#include "platform/dib/layout.h"

namespace codec {
namespace {

// MPEG-1's default intra matrix in natural order: libavcodec's Motion JPEG
// tables are this scaled by qscale / 8, with a DC step of 8.
constexpr unsigned kIntraMatrix[64] = {
    8,  16, 19, 22, 26, 27, 29, 34,  //
    16, 16, 22, 24, 27, 29, 34, 37,  //
    19, 22, 26, 27, 29, 34, 34, 38,  //
    22, 22, 26, 27, 29, 34, 37, 40,  //
    22, 26, 27, 29, 32, 35, 40, 48,  //
    26, 27, 29, 32, 35, 40, 48, 58,  //
    26, 27, 29, 34, 38, 46, 56, 69,  //
    27, 29, 35, 38, 46, 56, 69, 83,
};

// Compressed bytes go into a vector that grows when a frame outgrows it and
// is kept from frame to frame.
struct Destination {
  jpeg_destination_mgr pub;
  std::vector<std::uint8_t>* bytes;
  std::size_t written;

  static Destination* Of(j_compress_ptr cinfo) { return reinterpret_cast<Destination*>(cinfo->dest); }
  static void Init(j_compress_ptr cinfo) {
    Destination* d = Of(cinfo);
    d->pub.next_output_byte = d->bytes->data();
    d->pub.free_in_buffer = d->bytes->size();
  }
  // Called with the whole buffer full.
  static boolean Grow(j_compress_ptr cinfo) {
    Destination* d = Of(cinfo);
    const std::size_t full = d->bytes->size();
    d->bytes->resize(full * 2);
    d->pub.next_output_byte = d->bytes->data() + full;
    d->pub.free_in_buffer = full;
    return TRUE;
  }
  static void Term(j_compress_ptr cinfo) {
    Destination* d = Of(cinfo);
    d->written = d->bytes->size() - d->pub.free_in_buffer;
  }
};

class JpegEncoder final : public VideoEncoder {
 public:
  JpegEncoder(int width, int height) : VideoEncoder(width, height) {
    m_cinfo.err = dib::UseJpegErrors(&m_errors);
    m_dest.pub.init_destination = &Destination::Init;
    m_dest.pub.empty_output_buffer = &Destination::Grow;
    m_dest.pub.term_destination = &Destination::Term;
    m_dest.bytes = &m_bytes;
    m_dest.written = 0;
  }
  ~JpegEncoder() override {
    if (m_created) jpeg_destroy_compress(&m_cinfo);
  }
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  bool Start() {
    if (setjmp(m_errors.jump)) return false;
    jpeg_create_compress(&m_cinfo);
    m_created = true;
    m_cinfo.dest = &m_dest.pub;
    m_cinfo.image_width = static_cast<JDIMENSION>(m_width);
    m_cinfo.image_height = static_cast<JDIMENSION>(m_height);
    m_cinfo.input_components = 3;
    m_cinfo.in_color_space = JCS_EXT_BGR;
    // YCbCr, luma sampled 2 x 2 (4:2:0), standard Huffman tables, JFIF.
    jpeg_set_defaults(&m_cinfo);
    m_cinfo.dct_method = JDCT_ISLOW;
    // One table for all components, as libavcodec writes it.
    for (int c = 0; c < m_cinfo.num_components; ++c) m_cinfo.comp_info[c].quant_tbl_no = 0;
    m_rows.resize(static_cast<std::size_t>(m_height));
    // A frame rarely needs more than a bit per pixel; the buffer grows if so.
    m_bytes.resize(static_cast<std::size_t>(m_width) * m_height / 8 + 4096);
    return true;
  }

  LRESULT Encode(const std::uint8_t* bits, bool bottomUp, DWORD quality, Packet* out) override {
    if (!bits || !out) return ICERR_BADPARAM;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(dib::Stride(m_width, 24));
    for (int y = 0; y < m_height; ++y) {
      const std::uint8_t* row = bits + (bottomUp ? m_height - 1 - y : y) * stride;
      // libjpeg only reads the rows it is given, whatever the pointer type says.
      m_rows[static_cast<std::size_t>(y)] = const_cast<JSAMPROW>(row);
    }
    if (!Compress(QualityToQScale(quality))) {
      jpeg_abort_compress(&m_cinfo);  // ready for the next frame
      return ICERR_ERROR;
    }
    out->data = m_bytes.data();
    out->size = m_dest.written;
    out->key = true;
    return ICERR_OK;
  }

 private:
  bool Compress(int qscale) {
    if (setjmp(m_errors.jump)) return false;
    if (qscale != m_qscale) {
      unsigned table[64];
      table[0] = kIntraMatrix[0];
      for (int i = 1; i < 64; ++i) table[i] = kIntraMatrix[i] * static_cast<unsigned>(qscale) >> 3;
      // Scale 100 keeps the entries as given; baseline caps them at 255.
      jpeg_add_quant_table(&m_cinfo, 0, table, 100, TRUE);
      m_qscale = qscale;
    }
    jpeg_start_compress(&m_cinfo, TRUE);
    while (m_cinfo.next_scanline < m_cinfo.image_height)
      jpeg_write_scanlines(&m_cinfo, m_rows.data() + m_cinfo.next_scanline, m_cinfo.image_height - m_cinfo.next_scanline);
    jpeg_finish_compress(&m_cinfo);
    return true;
  }

  jpeg_compress_struct m_cinfo{};
  dib::JpegErrors m_errors{};
  Destination m_dest{};
  bool m_created = false;
  std::vector<std::uint8_t> m_bytes;
  std::vector<JSAMPROW> m_rows;
  int m_qscale = -1;
};

}  // namespace

std::unique_ptr<VideoEncoder> OpenJpegEncoder(int width, int height) {
  if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) return nullptr;
  auto encoder = std::make_unique<JpegEncoder>(width, height);
  if (!encoder->Start()) return nullptr;
  return encoder;
}

}  // namespace codec
