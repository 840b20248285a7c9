// Helpers for front ends that pick a compressor by FourCC instead of a
// dialog: the CLI's --codec option and scripted tests.
#pragma once

#include <string>
#include <vector>

#include "platform/vfw.h"

namespace codec {

// "none" (any case) is 0, uncompressed; four characters are that FourCC.
// False for anything else.
[[nodiscard]] bool ParseCompressorName(const std::string& text, FOURCC* fcc);
// The FourCC as its four characters, or "none" for 0.
std::string CompressorName(FOURCC fcc);
// A chooser that takes the offered entry with that FourCC (0: uncompressed),
// compared case-insensitively, with these settings; it cancels (-1) when no
// such entry is offered or it declines the frame.
CompressorChooser ChooserPicking(FOURCC fcc, const CompressorSettings& settings = {});

// What ICCompressorChoose offers for frames of format `in` (null: any):
// uncompressed first, then every installed compressor with what it takes
// and, where it cannot take `in`, why.
std::vector<CompressorChoice> OfferedCompressors(const BITMAPINFOHEADER* in);
// The entry for fcc (0: uncompressed) in `offered`, or null.
const CompressorChoice* FindChoice(const std::vector<CompressorChoice>& offered, FOURCC fcc);

}  // namespace codec
