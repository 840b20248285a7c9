#include "ui/picture_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>

#include "ui/natural_order.h"

namespace ui {
namespace {

bool StartsWith(const unsigned char* data, ssize_t size, const char* signature, ssize_t length) {
  return size >= length && std::memcmp(data, signature, std::size_t(length)) == 0;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

bool HasPictureSignature(const std::string& path) {
  struct stat info {};
  // Only regular files are opened: a FIFO or a device would wait for a
  // writer or never end.
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  // O_NONBLOCK as well, in case the name was swapped for a FIFO meanwhile.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char head[8];
  ssize_t size = -1;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    do {
      size = read(fd, head, sizeof head);
    } while (size < 0 && errno == EINTR);
  }
  close(fd);
  return StartsWith(head, size, "BM", 2) || StartsWith(head, size, "\xFF\xD8\xFF", 3) ||
         StartsWith(head, size, "\x89PNG\r\n\x1A\n", 8) || StartsWith(head, size, "GIF87a", 6) ||
         StartsWith(head, size, "GIF89a", 6) || StartsWith(head, size, "II*\0", 4) ||
         StartsWith(head, size, "MM\0*", 4) || StartsWith(head, size, "II+\0", 4) ||
         StartsWith(head, size, "MM\0+", 4);
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> PicturesInFolder(const std::string& folder, const std::atomic<bool>* aborted) {
  std::vector<std::string> pictures;
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return pictures;
  const std::string prefix = !folder.empty() && folder.back() == '/' ? folder : folder + '/';
  while (const dirent* entry = readdir(dir.get())) {
    if (aborted && aborted->load()) break;
    if (entry->d_name[0] == '.') continue;  // hidden, and . and ..
    const std::string path = prefix + entry->d_name;
    if (HasPictureSignature(path)) pictures.push_back(path);
  }
  return SortedNaturally(std::move(pictures));
}

std::vector<std::string> ExpandFolders(const std::vector<std::string>& paths, const std::atomic<bool>* aborted) {
  std::vector<std::string> expanded;
  for (const std::string& path : paths) {
    if (aborted && aborted->load()) break;
    if (!IsFolder(path)) {
      expanded.push_back(path);
      continue;
    }
    std::vector<std::string> pictures = PicturesInFolder(path, aborted);
    expanded.insert(expanded.end(), std::make_move_iterator(pictures.begin()),
                    std::make_move_iterator(pictures.end()));
  }
  return expanded;
}

}  // namespace ui
