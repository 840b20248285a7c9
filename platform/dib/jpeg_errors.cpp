#include "platform/dib/jpeg_errors.h"

#include <jerror.h>

namespace dib {

namespace {

JpegErrors* Of(j_common_ptr cinfo) { return reinterpret_cast<JpegErrors*>(cinfo->err); }

// Level -1 is a warning about the data; higher levels are traces, dropped.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  JpegErrors* errors = Of(cinfo);
  if (cinfo->err->msg_code == JWRN_JPEG_EOF) errors->truncated = true;
  if (errors->failOnWarning) FailJpeg(cinfo);
}

}  // namespace

void FailJpeg(j_common_ptr cinfo) { std::longjmp(Of(cinfo)->jump, 1); }

jpeg_error_mgr* UseJpegErrors(JpegErrors* errors, bool failOnWarning) {
  jpeg_error_mgr* manager = jpeg_std_error(&errors->pub);
  manager->error_exit = FailJpeg;
  manager->emit_message = OnMessage;
  errors->failOnWarning = failOnWarning;
  errors->truncated = false;
  return manager;
}

}  // namespace dib
