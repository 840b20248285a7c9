// The libjpeg error manager of the platform's JPEG readers and writers:
// nothing is printed, and an error leaves by longjmp to `jump`, which the
// caller sets with setjmp in a function holding no objects with destructors.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace dib {

struct JpegErrors {
  jpeg_error_mgr pub;  // first, so libjpeg's pointer to it finds the rest
  std::jmp_buf jump;
  // A warning (damaged data) leaves by longjmp too.
  bool failOnWarning = false;
  // The data ended before the picture did.
  bool truncated = false;
};

// Sets errors up and returns what goes into cinfo->err.
jpeg_error_mgr* UseJpegErrors(JpegErrors* errors, bool failOnWarning = false);

// Leaves by longjmp to the jump point of cinfo's JpegErrors.
[[noreturn]] void FailJpeg(j_common_ptr cinfo);

}  // namespace dib
