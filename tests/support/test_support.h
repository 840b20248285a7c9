// Helpers shared by every test executable: scratch folders, whole-file I/O
// and running external tools (ffmpeg, ffprobe, stillweaver-cli).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system temp folder, removed with its contents
// when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return m_path; }
  std::string file(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
};

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteFileText(const std::string& path, const std::string& text);

struct CommandResult {
  int exitCode = -1;
  std::string out;  // stdout
};
// Runs a shell command line, capturing stdout (stderr goes to the test log).
CommandResult RunCommand(const std::string& commandLine);
// Quotes an argument for the shell.
std::string ShellQuote(const std::string& arg);

// Path of the built stillweaver-cli (from STILLWEAVER_CLI), or empty.
std::string CliPath();

}  // namespace testsupport
