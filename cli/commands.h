// The subcommands of stillweaver-cli. Each takes the arguments after its
// name and returns the process exit code: 0 success, 1 failure, 2 usage error
// (make also 3, and 128 + the signal that stopped it).
#pragma once

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

// make: a file was made, but entries were skipped or it has no frames.
constexpr int kExitIncomplete = 3;

// What each command prints for COMMAND --help, beside its code; the man page
// and the bash completion list the same options.
extern const char kMakeHelp[];
extern const char kCodecsHelp[];
extern const char kInfoHelp[];
extern const char kFramemd5Help[];
extern const char kExportHelp[];

[[nodiscard]] int CmdMake(const Args& args);
[[nodiscard]] int CmdCodecs(const Args& args);
[[nodiscard]] int CmdInfo(const Args& args);
[[nodiscard]] int CmdFramemd5(const Args& args);
[[nodiscard]] int CmdExport(const Args& args);

// Prints "CAPTION: TEXT" on stderr, the form every failure takes.
void ReportError(const std::string& caption, const std::string& text);
// Prints a usage line on stderr and returns 2.
[[nodiscard]] int UsageError(const std::string& message);

}  // namespace cli
