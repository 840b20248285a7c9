#include "cli/commands.h"

namespace cli {

int CmdMake(const Args&) { return UsageError("make is not available yet"); }

}  // namespace cli
