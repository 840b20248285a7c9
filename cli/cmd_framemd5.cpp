#include "cli/commands.h"

namespace cli {

int CmdFramemd5(const Args&) { return UsageError("framemd5 is not available yet"); }

}  // namespace cli
