// Whether the Make-AVI job may write its file where the user asked: never
// over one of the pictures it is about to read (FFmpeg refuses an output
// that is one of its inputs too), and only to a regular file or a new name
// (opening a FIFO waits for a reader; a device is no place for an AVI).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace avi_build {

// Which file a path names, following links.
struct FileIdentity {
  dev_t device;
  ino_t inode;
  bool operator==(const FileIdentity&) const = default;
};
// Nothing when the path names no file that can be looked at.
[[nodiscard]] std::optional<FileIdentity> IdentityOf(const std::string& path);

// Empty when output may be written; otherwise the sentence telling the user
// why not. An existing output must be a regular file and none of the entries
// (same device and inode); a new one must not be an entry's path once both
// are resolved.
[[nodiscard]] std::string CheckOutputPath(const std::string& output, const std::vector<std::string>& entries);

}  // namespace avi_build
