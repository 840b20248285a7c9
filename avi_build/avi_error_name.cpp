#include "avi_build/avi_error_name.h"

#include <cstdint>
#include <cstdio>

#include "platform/vfw.h"

namespace {

struct NamedCode {
  HRESULT code;
  const char* name;
};

constexpr NamedCode kNames[] = {
    {AVIERR_UNSUPPORTED, "AVIERR_UNSUPPORTED"},
    {AVIERR_BADFORMAT, "AVIERR_BADFORMAT"},
    {AVIERR_MEMORY, "AVIERR_MEMORY"},
    {AVIERR_INTERNAL, "AVIERR_INTERNAL"},
    {AVIERR_BADFLAGS, "AVIERR_BADFLAGS"},
    {AVIERR_BADPARAM, "AVIERR_BADPARAM"},
    {AVIERR_BADSIZE, "AVIERR_BADSIZE"},
    {AVIERR_BADHANDLE, "AVIERR_BADHANDLE"},
    {AVIERR_FILEREAD, "AVIERR_FILEREAD"},
    {AVIERR_FILEWRITE, "AVIERR_FILEWRITE"},
    {AVIERR_FILEOPEN, "AVIERR_FILEOPEN"},
    {AVIERR_COMPRESSOR, "AVIERR_COMPRESSOR"},
    {AVIERR_NOCOMPRESSOR, "AVIERR_NOCOMPRESSOR"},
    {AVIERR_READONLY, "AVIERR_READONLY"},
    {AVIERR_NODATA, "AVIERR_NODATA"},
    {AVIERR_BUFFERTOOSMALL, "AVIERR_BUFFERTOOSMALL"},
    {AVIERR_CANTCOMPRESS, "AVIERR_CANTCOMPRESS"},
    {AVIERR_USERABORT, "AVIERR_USERABORT"},
    {AVIERR_ERROR, "AVIERR_ERROR"},
    {AVIERR_OK, "AVIERR_OK"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
};

}  // namespace

const char* AviErrorName(HRESULT code) {
  for (const NamedCode& entry : kNames) {
    if (entry.code == code) return entry.name;
  }
  // One text per thread: the Make-AVI and playback workers may both be
  // formatting an unknown code at the same moment.
  thread_local char unknown[sizeof "AVI Error Unknown (0x00000000)"];
  std::snprintf(unknown, sizeof unknown, "AVI Error Unknown (0x%08x)", static_cast<std::uint32_t>(code));
  return unknown;
}
