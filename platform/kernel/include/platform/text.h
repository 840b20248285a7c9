// Conversions between the 8-bit strings the program holds (paths as the
// system gives them, UTF-8 here) and the UTF-16 strings the picture services
// take. The pair is lossless for every byte string: bytes that are not part
// of valid UTF-8 become the lone surrogates U+DC80..U+DCFF on the way in and
// the same bytes again on the way out, so any file name survives the trip.
#pragma once

#include <string>
#include <string_view>

#include "platform/wintypes.h"

// UTF-8 (or any bytes) to UTF-16.
std::u16string WidenUtf8(std::string_view text);
// UTF-16 to UTF-8; lone surrogates U+DC80..U+DCFF become their byte, other
// unpaired surrogates are written in the 3-byte form.
std::string NarrowToUtf8(std::u16string_view text);
// As above for a NUL-terminated string (null gives "").
std::string NarrowToUtf8(const WCHAR* text);
