// GdipCreateBitmapFromFile: maps the file and hands it to the decoder its
// first bytes name.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/gdip/decoders.h"
#include "platform/text.h"

using namespace gdip;

namespace {

// A read-only view of a whole file; unmapped when it goes.
class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() {
    if (m_data) munmap(m_data, m_size);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  GpStatus Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES || errno == EPERM ? AccessDenied : FileNotFound;
    struct stat info;
    GpStatus status = Ok;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      status = FileNotFound;
    } else if (info.st_size > 0) {
      void* data = mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (data == MAP_FAILED) {
        status = OutOfMemory;
      } else {
        m_data = data;
        m_size = static_cast<std::size_t>(info.st_size);
      }
    }
    ::close(fd);
    return status;
  }
  const BYTE* data() const { return static_cast<const BYTE*>(m_data); }
  std::size_t size() const { return m_size; }

 private:
  void* m_data = nullptr;
  std::size_t m_size = 0;
};

bool StartsWith(const BYTE* data, std::size_t size, const char* magic, std::size_t length) {
  return size >= length && std::memcmp(data, magic, length) == 0;
}

}  // namespace

GpStatus GdipCreateBitmapFromFile(const WCHAR* filename, GpBitmap** bitmap) {
  if (!filename || !bitmap) return InvalidParameter;
  *bitmap = nullptr;
  MappedFile file;
  const GpStatus opened = file.Open(NarrowToUtf8(filename));
  if (opened != Ok) return opened;
  const BYTE* data = file.data();
  const std::size_t size = file.size();

  Decoded decoded;
  GpStatus status;
  if (StartsWith(data, size, "BM", 2))
    status = DecodeBmp(data, size, &decoded);
  else if (StartsWith(data, size, "\xFF\xD8\xFF", 3))
    status = DecodeJpeg(data, size, &decoded);
  else if (StartsWith(data, size, "\x89PNG\r\n\x1A\n", 8))
    status = DecodePng(data, size, &decoded);
  else if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6))
    status = DecodeGif(data, size, &decoded);
  else if (StartsWith(data, size, "II*\0", 4) || StartsWith(data, size, "MM\0*", 4) ||
           StartsWith(data, size, "II+\0", 4) || StartsWith(data, size, "MM\0+", 4))
    status = DecodeTiff(data, size, &decoded);
  else
    status = UnknownImageFormat;
  if (status != Ok) return status;
  *bitmap = decoded.release();
  return Ok;
}
