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
  std::fprintf(stderr, "usage: stillweaver-cli make|codecs|info|framemd5|export ... (stillweaver-cli --help)\n");
  return 2;
}

}  // namespace cli

namespace {

constexpr char kHelp[] =
    "usage: stillweaver-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Stillweaver's jobs without windows.\n"
    "\n"
    "  make      make an AVI from pictures\n"
    "  codecs    list the compressors make can use\n"
    "  info      describe an AVI's video stream\n"
    "  framemd5  print the MD5 of each decoded frame\n"
    "  export    save frames of an AVI as JPEG files\n"
    "\n"
    "  --help     show this help; COMMAND --help explains a command\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error; make also 3, 130, 143.\n"
    "Errors go to standard error as CAPTION: TEXT.\n";

struct Command {
  const char* name;
  int (*run)(const cli::Args&);
  const char* help;
};

constexpr Command kCommands[] = {
    {"make", cli::CmdMake, cli::kMakeHelp},
    {"codecs", cli::CmdCodecs, cli::kCodecsHelp},
    {"info", cli::CmdInfo, cli::kInfoHelp},
    {"framemd5", cli::CmdFramemd5, cli::kFramemd5Help},
    {"export", cli::CmdExport, cli::kExportHelp},
};

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

int Print(const char* text) {
  std::fputs(text, stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

const Command* Find(const std::string& name) {
  for (const Command& command : kCommands)
    if (name == command.name) return &command;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return cli::UsageError("no command given");
  const std::string first = argv[1];
  if (IsHelp(first)) return Print(kHelp);
  if (first == "--version") return Print("stillweaver-cli " STILLWEAVER_VERSION "\n");
  const cli::Args args(argv + 2, argv + argc);
  if (first == "help") {
    if (args.empty()) return Print(kHelp);
    const Command* command = Find(args[0]);
    return command ? Print(command->help) : cli::UsageError("unknown command '" + args[0] + "'");
  }
  const Command* command = Find(first);
  if (!command) return cli::UsageError("unknown command '" + first + "'");
  // COMMAND ... --help explains the command and runs nothing; after "--"
  // it is a file name.
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (IsHelp(arg)) return Print(command->help);
  }
  return command->run(args);
}
