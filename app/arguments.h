// The stillweaver command line: --help, --version, and the files to open.
// No Qt here, so it is read before the application (and its display) starts.
#pragma once

#include <string>
#include <vector>

namespace app {

enum class ArgumentAction { Run, Help, Version, UsageError };

struct Arguments {
  ArgumentAction action = ArgumentAction::Run;
  std::vector<std::string> files;  // in the order given
  std::string error;               // for UsageError
};

// args: the arguments after the program's name. --help (-h) and --version
// win wherever they stand before "--"; "--" ends the options; any other
// argument starting with '-' is a usage error.
[[nodiscard]] Arguments ParseArguments(const std::vector<std::string>& args);

extern const char kHelp[];

}  // namespace app
