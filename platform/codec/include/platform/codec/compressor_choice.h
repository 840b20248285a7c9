// Helpers for front ends that pick a compressor by FourCC instead of a
// dialog: the CLI's --codec option and scripted tests.
#pragma once

#include <string>

#include "platform/vfw.h"

namespace codec {

// "none" (any case) is 0, uncompressed; four characters are that FourCC.
// False for anything else.
[[nodiscard]] bool ParseCompressorName(const std::string& text, FOURCC* fcc);
// The FourCC as its four characters, or "none" for 0.
std::string CompressorName(FOURCC fcc);
// A chooser that takes the offered entry with that FourCC (0: uncompressed),
// compared case-insensitively; it cancels (-1) when no such entry is offered,
// e.g. when the compressor declines the frame size.
CompressorChooser ChooserPicking(FOURCC fcc);

}  // namespace codec
