// stillweaver-cli codecs: the compressors the Make-AVI job can use, one per
// line as FOURCC<TAB>name, uncompressed first as "none".
#include <cstdio>

#include "cli/commands.h"
#include "platform/codec/compressor_choice.h"
#include "platform/vfw.h"

namespace cli {

const char kCodecsHelp[] =
    "usage: stillweaver-cli codecs\n"
    "\n"
    "Lists the compressors make can use, one a line as FOURCC<TAB>name,\n"
    "uncompressed first as \"none\". Pass the FOURCC to make --codec.\n";

int CmdCodecs(const Args& args) {
  if (!args.empty() && args != Args{"--"}) return UsageError("codecs takes no arguments");
  std::printf("none\tFull Frames (Uncompressed)\n");
  ICINFO info;
  for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &info); ++i)
    std::printf("%s\t%s\n", codec::CompressorName(info.fccHandler).c_str(), info.szDescription);
  return 0;
}

}  // namespace cli
