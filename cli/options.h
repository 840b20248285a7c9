// A small command-line option reader: "--name value" options, flags and
// positional arguments, in any order.
#pragma once

#include <cstdint>
#include <string>

#include "cli/commands.h"

namespace cli {

class OptionParser {
 public:
  explicit OptionParser(const Args& args) : m_args(args) {}

  bool More() const { return m_index < m_args.size() && m_error.empty(); }
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
  std::string m_error;
};

// Appends the non-empty lines of the list file name ("-": standard input),
// a trailing CR dropped; false when it cannot be read.
[[nodiscard]] bool ReadList(const std::string& name, std::vector<std::string>* entries);

}  // namespace cli
