#include "tests/support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace testsupport {

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("stillweaver-test-" + std::to_string(rd()) + "-" + std::to_string(attempt));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      m_path = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

int DibStride(int width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

CommandResult RunCommand(const std::string& commandLine) {
  CommandResult result;
  FILE* pipe = popen(commandLine.c_str(), "r");
  if (!pipe) return result;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ShellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

std::string CliPath() {
  const char* path = std::getenv("STILLWEAVER_CLI");
  return path ? path : "";
}

std::string CliCommand(const std::string& args) { return ShellQuote(CliPath()) + " " + args; }

bool HaveFfmpeg() {
  static const bool have = RunCommand("ffmpeg -version >/dev/null 2>&1 && ffprobe -version >/dev/null 2>&1").exitCode == 0;
  return have;
}

std::vector<std::string> FfmpegFrameMd5s(const std::string& path, const std::string& inputArgs,
                                         const std::string& outputArgs) {
  const auto result = RunCommand("ffmpeg -nostdin -v error " + inputArgs + " -i " + ShellQuote(path) + " " +
                                 outputArgs + " -f framemd5 -");
  std::vector<std::string> md5s;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    // stream, dts, pts, duration, size, hash[, side data...]
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 6 && std::getline(fields, field, ','); ++i) {
    }
    field.erase(0, field.find_first_not_of(' '));
    md5s.push_back(field);
  }
  return md5s;
}

std::string Ffprobe(const std::string& path, const std::string& args) {
  return RunCommand("ffprobe -v error " + args + " -of default=nw=1 " + ShellQuote(path)).out;
}

}  // namespace testsupport
