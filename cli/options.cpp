#include "cli/options.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace cli {

bool OptionParser::More() {
  if (!m_optionsEnded && m_index < m_args.size() && m_args[m_index] == "--") {
    m_optionsEnded = true;
    ++m_index;
  }
  return m_index < m_args.size() && m_error.empty();
}

bool OptionParser::Flag(const char* name) {
  if (!More() || m_optionsEnded || m_args[m_index] != name) return false;
  ++m_index;
  return true;
}

bool OptionParser::Text(const char* name, std::string* value) {
  if (!More() || m_optionsEnded || m_args[m_index] != name) return false;
  if (m_index + 1 >= m_args.size()) {
    m_error = std::string(name) + " needs a value";
    return false;
  }
  *value = m_args[m_index + 1];
  m_index += 2;
  return true;
}

bool OptionParser::Int(const char* name, std::int32_t* value) {
  std::string text;
  if (!Text(name, &text)) return false;
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end || errno || number < std::numeric_limits<std::int32_t>::min() ||
      number > std::numeric_limits<std::int32_t>::max()) {
    m_error = std::string(name) + " needs a whole number, not '" + text + "'";
    return false;
  }
  *value = static_cast<std::int32_t>(number);
  return true;
}

bool OptionParser::Unsigned(const char* name, std::uint32_t* value) {
  std::int32_t number = 0;
  if (!Int(name, &number)) return false;
  if (number < 0) {
    m_error = std::string(name) + " needs a positive number";
    return false;
  }
  *value = static_cast<std::uint32_t>(number);
  return true;
}

std::string OptionParser::Positional() {
  const std::string& arg = m_args[m_index];
  if (!m_optionsEnded && arg.size() > 1 && arg[0] == '-') {
    m_error = "unknown option '" + arg + "'";
    return {};
  }
  ++m_index;
  return arg;
}

bool Operands(const Args& args, Args* operands, std::string* error) {
  OptionParser parser(args);
  while (parser.More()) {
    std::string operand = parser.Positional();
    if (parser.Failed()) break;
    operands->push_back(std::move(operand));
  }
  *error = parser.Error();
  return !parser.Failed();
}

}  // namespace cli
