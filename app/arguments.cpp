#include "app/arguments.h"

namespace app {

const char kHelp[] =
    "usage: stillweaver [FILE...]\n"
    "\n"
    "Turns an ordered list of still pictures into an AVI video, and plays AVI\n"
    "videos frame by frame.\n"
    "\n"
    "A single AVI among the files opens in the player, as View AVI does;\n"
    "pictures and folders go into the list, as a drop does. Without files the\n"
    "window starts with an empty list.\n"
    "\n"
    "  --help     show this help\n"
    "  --version  show the version\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are taken as well.\n";

Arguments ParseArguments(const std::vector<std::string>& args) {
  Arguments result;
  bool optionsEnd = false;
  for (const std::string& arg : args) {
    if (optionsEnd || arg == "-" || arg.empty() || arg[0] != '-') {
      result.files.push_back(arg);
    } else if (arg == "--") {
      optionsEnd = true;
    } else if (arg == "--help" || arg == "-h") {
      return {ArgumentAction::Help, {}, {}};
    } else if (arg == "--version") {
      result.action = ArgumentAction::Version;
    } else if (result.error.empty()) {
      result.error = "unknown option '" + arg + "'";
    }
  }
  if (result.action == ArgumentAction::Version) return {ArgumentAction::Version, {}, {}};
  if (!result.error.empty()) result.action = ArgumentAction::UsageError;
  return result;
}

}  // namespace app
