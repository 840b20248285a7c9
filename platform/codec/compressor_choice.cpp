#include "platform/codec/compressor_choice.h"

#include <cctype>

namespace codec {

namespace {

bool SameFourcc(FOURCC a, FOURCC b) {
  for (int i = 0; i < 32; i += 8)
    if (std::toupper(static_cast<int>((a >> i) & 0xFF)) != std::toupper(static_cast<int>((b >> i) & 0xFF)))
      return false;
  return true;
}

}  // namespace

bool ParseCompressorName(const std::string& text, FOURCC* fcc) {
  if (!fcc) return false;
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "none") {
    *fcc = 0;
    return true;
  }
  if (text.size() != 4) return false;
  *fcc = mmioFOURCC(text[0], text[1], text[2], text[3]);
  return true;
}

std::string CompressorName(FOURCC fcc) {
  if (fcc == 0) return "none";
  std::string name;
  for (int i = 0; i < 32; i += 8) name += static_cast<char>((fcc >> i) & 0xFF);
  return name;
}

CompressorChooser ChooserPicking(FOURCC fcc) {
  return [fcc](HWND, const std::string&, const std::vector<CompressorChoice>& offered) {
    for (std::size_t i = 0; i < offered.size(); ++i) {
      const bool match = fcc == 0 ? offered[i].fccHandler == 0
                                  : offered[i].fccHandler != 0 && SameFourcc(offered[i].fccHandler, fcc);
      if (match) return static_cast<int>(i);
    }
    return -1;
  };
}

}  // namespace codec
