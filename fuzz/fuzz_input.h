// The fuzz input as a file: it lives in an in-memory file reopened by its
// /proc path, so the reader runs its real file code without touching the disk.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzz {

// The path of a file holding exactly data, or nullptr when it cannot be made.
inline const char* InputFile(const std::uint8_t* data, std::size_t size) {
  static const int memfd = memfd_create("stillweaver_fuzz", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(memfd);
  if (memfd < 0 || ftruncate(memfd, 0) != 0) return nullptr;
  if (size > 0 && pwrite(memfd, data, size, 0) != static_cast<ssize_t>(size)) return nullptr;
  return path.c_str();
}

// A file holding exactly data under a path ending in `name`, for readers
// that go by the file's name: a link to a second in-memory file, in a
// private temporary folder removed at exit. nullptr when it cannot be made.
inline const char* InputFileNamed(const std::uint8_t* data, std::size_t size, const char* name) {
  static const int memfd = memfd_create("stillweaver_fuzz_named", MFD_CLOEXEC);
  static std::string folder;
  static std::string link;
  if (memfd < 0) return nullptr;
  if (link.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/stillweaver_fuzz_XXXXXX";
    if (!mkdtemp(pattern.data())) return nullptr;
    const std::string target = "/proc/self/fd/" + std::to_string(memfd);
    const std::string path = pattern + "/" + name;
    if (symlink(target.c_str(), path.c_str()) != 0) {
      rmdir(pattern.c_str());
      return nullptr;
    }
    folder = pattern;
    link = path;
    std::atexit([] {
      unlink(link.c_str());
      rmdir(folder.c_str());
    });
  }
  if (ftruncate(memfd, 0) != 0) return nullptr;
  if (size > 0 && pwrite(memfd, data, size, 0) != static_cast<ssize_t>(size)) return nullptr;
  return link.c_str();
}

}  // namespace fuzz
