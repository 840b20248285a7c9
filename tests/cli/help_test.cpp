// stillweaver-cli --help, --version and COMMAND --help, and the man page and
// bash completion offering the options each command's help lists.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "tests/support/test_support.h"

namespace {

using testsupport::RunCommand;
using testsupport::ShellQuote;

const char* const kCommands[] = {"make", "check", "codecs", "info", "framemd5", "export"};

std::string Cli(const std::string& args) { return testsupport::CliCommand(args + " 2>/dev/null"); }

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string SourceText(const std::string& path) {
  const auto bytes = testsupport::ReadFileBytes(std::string(STILLWEAVER_SOURCE_DIR) + "/" + path);
  return std::string(bytes.begin(), bytes.end());
}

// The options a help text lists, one an indented line ("  --cols N  ...").
std::set<std::string> HelpOptions(const std::string& text) {
  static const std::regex option(R"((?:^|\n) +(--?[a-z][a-z0-9-]*))");
  std::set<std::string> found;
  for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) found.insert((*it)[1]);
  return found;
}

// The options in a completion's word list.
std::set<std::string> OptionsIn(const std::string& text) {
  static const std::regex option(R"((?:^|\s)(--?[a-z][a-z0-9-]*))");
  std::set<std::string> found;
  for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) found.insert((*it)[1]);
  return found;
}

TEST(CliHelp, AnswersOnStdoutAndRunsNothing) {
  struct Case {
    const char* args;
    int exitCode;
    std::string firstLine;
  };
  const Case cases[] = {
      {"--help", 0, "usage: stillweaver-cli COMMAND [ARGUMENTS]"},
      {"-h", 0, "usage: stillweaver-cli COMMAND [ARGUMENTS]"},
      {"--version", 0, "stillweaver-cli " STILLWEAVER_VERSION},
      {"help info", 0, "usage: stillweaver-cli info [--frames] FILE.avi"},
      // Nothing is written: the option list ends at --help.
      {"make -o /nonexistent/out.avi --help", 0, "usage: stillweaver-cli make [OPTIONS] -o OUT.avi [PICTURE...]"},
      {"help bogus", 2, ""},
      {"bogus --help", 2, ""},
  };
  for (const Case& c : cases) {
    const auto result = RunCommand(Cli(c.args));
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args;
    EXPECT_EQ(FirstLine(result.out), c.firstLine) << c.args;
  }
  for (const char* command : kCommands) {
    const auto result = RunCommand(Cli(std::string(command) + " --help"));
    EXPECT_EQ(result.exitCode, 0) << command;
    EXPECT_EQ(FirstLine(result.out).rfind(std::string("usage: stillweaver-cli ") + command, 0), 0u) << result.out;
  }
}

// What a command's help lists is what its man page documents and its
// completion offers, so a new option needs adding to all three.
TEST(CliHelp, ManPageAndCompletionListTheHelpsOptions) {
  std::string manPage = SourceText("docs/man/stillweaver-cli.1");
  manPage = std::regex_replace(manPage, std::regex(R"(\\-)"), "-");
  const std::string completion = SourceText("res/stillweaver-cli.bash");
  for (const char* command : kCommands) {
    std::set<std::string> helped = HelpOptions(RunCommand(Cli(std::string(command) + " --help")).out);
    helped.insert("--help");
    for (const std::string& option : helped)
      EXPECT_TRUE(std::regex_search(manPage, std::regex("(^|\\s)" + option + "(\\s|$)"))) << command << " " << option;
    // The completion's "CMD) options=..." line (or "A|B) options=...").
    std::set<std::string> offered;
    static const std::regex line(R"re(\n\s*([a-z0-9|]+)\) options="([^"]*)")re");
    for (std::sregex_iterator it(completion.begin(), completion.end(), line), end; it != end; ++it) {
      std::istringstream names((*it)[1].str());
      for (std::string name; std::getline(names, name, '|');)
        if (name == command) offered = OptionsIn((*it)[2].str());
    }
    EXPECT_EQ(offered, helped) << command;
  }
}

}  // namespace
