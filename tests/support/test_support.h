// Helpers shared by every test executable: scratch folders, whole-file I/O,
// bytes of binary layouts and running external tools (ffmpeg, ffprobe,
// stillweaver-cli). Nothing here links platform/.
#pragma once

#include <cstddef>
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

// Bytes of a DIB row: whole 32-bit words.
int DibStride(int width, int bitCount = 24);
// The little-endian 32-bit value at `at`, read and written in place.
std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at);
void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);

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
// The shell command line running stillweaver-cli with `args`.
std::string CliCommand(const std::string& args);

// True when ffmpeg and ffprobe both run.
bool HaveFfmpeg();
// Runs `ffmpeg -v error [inputArgs] -i path outputArgs -f framemd5 -` and
// returns the hash of each frame (or packet, with -c copy).
std::vector<std::string> FfmpegFrameMd5s(const std::string& path, const std::string& inputArgs,
                                         const std::string& outputArgs);
// `ffprobe -v error ARGS -of default=nw=1 path`: key=value lines.
std::string Ffprobe(const std::string& path, const std::string& args);

}  // namespace testsupport
