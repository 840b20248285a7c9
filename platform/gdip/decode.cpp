// GdipCreateBitmapFromFile: reads the file and hands it to the decoder its
// first bytes name.
#include <cerrno>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/gdip/decoders.h"
#include "platform/gdip/orientation.h"
#include "platform/picture_probe.h"
#include "platform/text.h"

using namespace gdip;

namespace {

// The whole file, read into pooled memory; files too large for that (no
// picture file is) are mapped instead, so nothing unbounded is allocated.
class FileBytes {
 public:
  FileBytes() = default;
  ~FileBytes() {
    if (m_mapped) munmap(m_mapped, m_size);
  }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  GpStatus Open(const std::string& path) {
    // Non-blocking, so that a FIFO without a writer does not hold the open;
    // only a regular file is read (a FIFO or a device could never end).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES || errno == EPERM ? AccessDenied : FileNotFound;
    const GpStatus status = Read(fd);
    ::close(fd);
    return status;
  }
  const BYTE* data() const { return m_mapped ? static_cast<const BYTE*>(m_mapped) : m_buffer.get(); }
  std::size_t size() const { return m_size; }

 private:
  static constexpr off_t kReadLimit = off_t{256} << 20;

  GpStatus Read(int fd) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return FileNotFound;
    if (info.st_size == 0) return Ok;
    const auto size = static_cast<std::size_t>(info.st_size);
    if (info.st_size > kReadLimit) {
      void* data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
      if (data == MAP_FAILED) return OutOfMemory;
      m_mapped = data;
      m_size = size;
      return Ok;
    }
    m_buffer = AllocatePixels(size, false, nullptr, KeptRole::kFile);
    if (!m_buffer) return OutOfMemory;
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = pread(fd, m_buffer.get() + done, size - done, static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the file shrank: decode what is there
      done += static_cast<std::size_t>(n);
    }
    m_size = done;
    return Ok;
  }

  PixelBuffer m_buffer;
  void* m_mapped = nullptr;
  std::size_t m_size = 0;
};

bool StartsWith(const BYTE* data, std::size_t size, const char* magic, std::size_t length) {
  return size >= length && std::memcmp(data, magic, length) == 0;
}

}  // namespace

GpStatus GdipCreateBitmapFromFile(const WCHAR* filename, GpBitmap** bitmap) {
  return GdipCreateBitmapFromFileToFit(filename, 0, 0, bitmap);
}

GpStatus GdipCreateBitmapFromFileToFit(const WCHAR* filename, INT fitWidth, INT fitHeight, GpBitmap** bitmap) {
  return GdipCreateBitmapFromFileClipped(filename, fitWidth, fitHeight, 0, 0, bitmap);
}

GpStatus GdipCreateBitmapFromFileClipped(const WCHAR* filename, INT fitWidth, INT fitHeight, INT clipCols,
                                         INT clipRows, GpBitmap** bitmap) {
  if (!filename || !bitmap) return InvalidParameter;
  *bitmap = nullptr;
  FileBytes file;
  const GpStatus opened = file.Open(NarrowToUtf8(filename));
  if (opened != Ok) return opened;
  const BYTE* data = file.data();
  const std::size_t size = file.size();

  // Pictures are handed out upright; a quarter turn swaps the sides the
  // fit is measured against.
  const int orientation = FileOrientation(MemoryBytes(data, size));
  if (orientation >= 5) std::swap(fitWidth, fitHeight);
  Decoded decoded;
  GpStatus status;
  if (StartsWith(data, size, "BM", 2))
    status = DecodeBmp(data, size, &decoded, fitWidth, fitHeight);
  else if (StartsWith(data, size, "\xFF\xD8\xFF", 3))
    // A turned picture's middle is cut after it is upright.
    status = clipCols > 0 && clipRows > 0 && orientation == 1
                 ? DecodeJpegClipped(data, size, &decoded, clipCols, clipRows)
                 : DecodeJpeg(data, size, &decoded, fitWidth, fitHeight);
  else if (StartsWith(data, size, "\x89PNG\r\n\x1A\n", 8))
    status = DecodePng(data, size, &decoded, fitWidth, fitHeight);
  else if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6))
    status = DecodeGif(data, size, &decoded, fitWidth, fitHeight);
  else if (StartsWith(data, size, "II*\0", 4) || StartsWith(data, size, "MM\0*", 4) ||
           StartsWith(data, size, "II+\0", 4) || StartsWith(data, size, "MM\0+", 4))
    status = DecodeTiff(data, size, &decoded, fitWidth, fitHeight);
  else
    status = UnknownImageFormat;
  if (status != Ok) return status;
  if ((status = GdipImageRotateFlip(AsImage(decoded.get()), UprightTurn(orientation))) != Ok) return status;
  *bitmap = decoded.release();
  return Ok;
}
