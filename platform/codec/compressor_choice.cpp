#include "platform/codec/compressor_choice.h"

#include <cctype>

#include "platform/codec/compressor_table.h"

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

const CompressorChoice* FindChoice(const std::vector<CompressorChoice>& offered, FOURCC fcc) {
  for (const CompressorChoice& choice : offered) {
    const bool match =
        fcc == 0 ? choice.fccHandler == 0 : choice.fccHandler != 0 && SameFourcc(choice.fccHandler, fcc);
    if (match) return &choice;
  }
  return nullptr;
}

CompressorChooser ChooserPicking(FOURCC fcc, const CompressorSettings& settings) {
  return [fcc, settings](HWND, const std::string&, const std::vector<CompressorChoice>& offered,
                         CompressorSettings& chosen) {
    const CompressorChoice* choice = FindChoice(offered, fcc);
    if (!choice || !choice->declined.empty()) return -1;
    chosen = settings;
    return static_cast<int>(choice - offered.data());
  };
}

std::vector<CompressorChoice> OfferedCompressors(const BITMAPINFOHEADER* in) {
  std::vector<CompressorChoice> offered(1);
  offered[0].fccHandler = 0;
  offered[0].name = "Full Frames (Uncompressed)";
  for (const CompressorEntry* entry : InstalledCompressors()) {
    CompressorChoice choice;
    choice.fccHandler = entry->fcc;
    choice.name = entry->description;
    if (in) (void)QueryInput(*entry, in, &choice.declined);  // the reason is what counts here
    choice.hasQuality = entry->quality != QualityControl::kNone;
    choice.hasKeyInterval = entry->keyFrames != KeyFrames::kAll;
    offered.push_back(std::move(choice));
  }
  return offered;
}

}  // namespace codec
