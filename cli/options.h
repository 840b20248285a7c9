// A small command-line option reader: "--name value" options, flags and
// positional arguments, in any order; after "--" every argument is a
// positional one, so that a file named "-x.png" can be given.
#pragma once

#include <cstdint>
#include <string>

#include "cli/commands.h"

namespace cli {

class OptionParser {
 public:
  explicit OptionParser(const Args& args) : m_args(args) {}

  // Whether an argument is left; steps over the "--" that ends the options.
  bool More();
  // Each takes the option at the current position when its name matches.
  bool Flag(const char* name);
  bool Text(const char* name, std::string* value);
  bool Int(const char* name, std::int32_t* value);
  bool Unsigned(const char* name, std::uint32_t* value);
  // The current argument as a positional one; an unknown option fails.
  std::string Positional();

  bool Failed() const { return !m_error.empty(); }
  const std::string& Error() const { return m_error; }

 private:
  const Args& m_args;
  std::size_t m_index = 0;
  bool m_optionsEnded = false;
  std::string m_error;
};

// The arguments of a command that takes no options, "--" left out. False,
// with *error set, when one of them is an option.
[[nodiscard]] bool Operands(const Args& args, Args* operands, std::string* error);

}  // namespace cli
