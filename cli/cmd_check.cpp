// stillweaver-cli check: what making a file from a picture list would meet,
// from the pictures' headers alone.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "avi_build/list_check.h"
#include "avi_build/make_avi.h"
#include "cli/commands.h"
#include "cli/options.h"

namespace cli {

const char kCheckHelp[] =
    "usage: stillweaver-cli check [OPTIONS] [PICTURE...]\n"
    "\n"
    "Reads the header of each picture, in the order given, and reports the\n"
    "entries that will not open and why, sizes, bit depths and orientations\n"
    "that differ from most, files listed twice, gaps in numbered names\n"
    "(img0041 then img0043), and the frames and running time the list makes.\n"
    "\n"
    "  --fps N      frames a second, at least 1 (default 10)\n"
    "  --list FILE  read further picture paths from FILE, one a line\n"
    "               (- for standard input)\n"
    "\n"
    "Exit status: 0 every entry will open, 1 failed, 2 usage error,\n"
    "3 some entries will not open.\n";

int CmdCheck(const Args& args) {
  std::uint32_t fps = avi_build::MakeAviSettings{}.fps;
  std::string listFile;
  std::vector<std::string> pictures;
  OptionParser parser(args);
  while (parser.More()) {
    if (parser.Unsigned("--fps", &fps) || parser.Text("--list", &listFile)) continue;
    if (parser.Failed()) return UsageError(parser.Error());
    pictures.push_back(parser.Positional());
  }
  if (parser.Failed()) return UsageError(parser.Error());
  if (fps < 1) return UsageError("FPS must be at least 1.");
  if (!listFile.empty() && !ReadList(listFile, &pictures)) {
    ReportError("Error", "cannot read the list " + listFile);
    return 1;
  }
  if (pictures.empty()) return UsageError("check needs pictures or --list FILE");

  const avi_build::ListCheck check = avi_build::CheckList(pictures, fps);
  std::fputs(check.text.c_str(), stdout);
  if (std::fflush(stdout) != 0) return 1;
  return check.unopened > 0 ? kExitIncomplete : 0;
}

}  // namespace cli
