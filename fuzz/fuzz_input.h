// The fuzz input as a file: it lives in an in-memory file reopened by its
// /proc path, so the reader runs its real file code without touching the disk.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
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

}  // namespace fuzz
