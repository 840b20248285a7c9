#include "cli/commands.h"

namespace cli {

int CmdInfo(const Args&) { return UsageError("info is not available yet"); }

}  // namespace cli
