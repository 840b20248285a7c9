#include "avi_build/output_check.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace avi_build {
namespace {

std::string SameFile(const std::string& output, const std::string& entry) {
  return output + " is the picture " + entry + " in the list; the AVI file would overwrite it. Choose another name.";
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}

std::string CheckOutputPath(const std::string& output, const std::vector<std::string>& entries) {
  struct stat info {};
  if (::stat(output.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) return output + " is not a regular file. Choose another name.";
    const FileIdentity id{info.st_dev, info.st_ino};
    for (const std::string& entry : entries)
      if (IdentityOf(entry) == id) return SameFile(output, entry);
    return {};
  }
  // No file yet: an entry naming the same place would be the AVI file by
  // the time the job reads it.
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(output, error);
  if (error) return {};
  for (const std::string& entry : entries) {
    const std::filesystem::path other = std::filesystem::weakly_canonical(entry, error);
    if (!error && other == resolved) return SameFile(output, entry);
  }
  return {};
}

}  // namespace avi_build
