// stillweaver-cli codecs: the compressors the Make-AVI job can use, one per
// line as FOURCC<TAB>name<TAB>the make options it takes ("-" for none),
// uncompressed first as "none".
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "platform/codec/compressor_choice.h"
#include "platform/vfw.h"

namespace cli {

const char kCodecsHelp[] =
    "usage: stillweaver-cli codecs\n"
    "\n"
    "Lists the compressors make can use, one a line as FOURCC<TAB>name<TAB>\n"
    "the make settings it takes (--quality, --keyint, or - for none),\n"
    "uncompressed first as \"none\". Pass the FOURCC to make --codec.\n";

int CmdCodecs(const Args& args) {
  if (!args.empty() && args != Args{"--"}) return UsageError("codecs takes no arguments");
  for (const CompressorChoice& choice : codec::OfferedCompressors(nullptr)) {
    std::string settings;
    if (choice.hasQuality) settings += "--quality";
    if (choice.hasKeyInterval) settings += settings.empty() ? "--keyint" : " --keyint";
    std::printf("%s\t%s\t%s\n", codec::CompressorName(choice.fccHandler).c_str(), choice.name.c_str(),
                settings.empty() ? "-" : settings.c_str());
  }
  return 0;
}

}  // namespace cli
