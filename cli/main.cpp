// stillweaver-cli: the Make-AVI and viewing jobs without windows.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"

namespace cli {

void ReportError(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "stillweaver-cli: %s\n", message.c_str());
  std::fprintf(stderr, "usage: stillweaver-cli make|codecs|info|framemd5|export ... (see README.md)\n");
  return 2;
}

}  // namespace cli

namespace {

struct Command {
  const char* name;
  int (*run)(const cli::Args&);
};

constexpr Command kCommands[] = {
    {"make", cli::CmdMake},       {"codecs", cli::CmdCodecs}, {"info", cli::CmdInfo},
    {"framemd5", cli::CmdFramemd5}, {"export", cli::CmdExport},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return cli::UsageError("no command given");
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) == 0) return command.run(cli::Args(argv + 2, argv + argc));
  }
  return cli::UsageError(std::string("unknown command '") + argv[1] + "'");
}
