#include "cli/commands.h"

namespace cli {

int CmdExport(const Args&) { return UsageError("export is not available yet"); }

}  // namespace cli
