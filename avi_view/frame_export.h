// Saving drawn frames as JPEG files named after their index, in the
// process's current folder.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wintypes.h"

namespace avi_view {

// The position of the first image encoder whose MIME type equals mimeType,
// its class id copied into *clsid; -1 (clsid untouched) when there is none
// or the list cannot be had.
int FindEncoderByMime(const WCHAR* mimeType, CLSID* clsid);

// The code page that turns the 8-bit export name into UTF-16; chosen once
// per process. Any thread may call it.
UINT ConversionCodePage();

// "Save%04d.jpg" of the index.
std::string ExportFileName(std::int32_t index);

// Saves a decoded frame (a packed DIB: 40-byte header, then the pixels) as
// ExportFileName(index) with the encoder. Failures are silent: playback goes
// on.
void ExportFrame(const void* frame, std::int32_t index, const CLSID& encoder);

}  // namespace avi_view
