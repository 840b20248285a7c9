#include "cli/commands.h"

namespace cli {

int CmdCodecs(const Args&) { return UsageError("codecs is not available yet"); }

}  // namespace cli
