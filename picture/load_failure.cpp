#include "picture/load_failure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/picture_probe.h"

namespace {

std::string SystemReason(int error) {
  if (error == ENOENT || error == ENOTDIR) return "not found";
  if (error == EACCES || error == EPERM) return "permission denied";
  return std::strerror(error);
}

// Whether the first bytes name one of the formats the codecs read: such a
// file that does not load is damaged rather than foreign.
bool HasPictureSignature(int fd) {
  unsigned char head[8] = {};
  if (read(fd, head, sizeof head) < 4) return false;
  const auto starts = [&](const char* magic, std::size_t size) { return std::memcmp(head, magic, size) == 0; };
  return starts("BM", 2) || starts("\xFF\xD8\xFF", 3) || starts("\x89PNG", 4) || starts("GIF8", 4) ||
         starts("II*\0", 4) || starts("MM\0*", 4);
}

// The codecs refuse pictures whose pixels pass 1 GiB.
constexpr std::uint64_t kPixelLimit = std::uint64_t{1} << 30;

}  // namespace

std::string LoadFailureReason(const char* path) {
  struct stat info {};
  if (!path || stat(path, &info) != 0) return SystemReason(path ? errno : ENOENT);
  if (S_ISDIR(info.st_mode)) return "a folder, not a picture";
  if (!S_ISREG(info.st_mode)) return "not a picture we read";
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return SystemReason(errno);
  const bool signature = HasPictureSignature(fd);
  close(fd);
  PictureProbe probe;
  if (!ProbePictureFile(path, &probe)) return signature ? "damaged" : "not a picture we read";
  const std::uint64_t area = std::uint64_t(probe.width) * std::uint64_t(probe.height);
  if (area > kPixelLimit / 3) return "too large";
  return "damaged";
}
