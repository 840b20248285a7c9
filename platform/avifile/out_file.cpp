#include "platform/avifile/out_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/dib/little_endian.h"
#include "platform/kernel.h"

namespace avifile {

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;

}  // namespace

std::unique_ptr<OutFile> OutFile::Open(const char* path) {
  // Non-blocking, so that a FIFO without a reader fails (ENXIO) instead of
  // holding the job in open() beyond the reach of a stop request.
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) {
    SetLastError(DWORD(errno));
    return nullptr;
  }
  std::unique_ptr<OutFile> file(new OutFile(fd));
  // The file is written at offsets: a pipe or socket cannot take it.
  struct stat kind {};
  if (::fstat(fd, &kind) != 0 || S_ISFIFO(kind.st_mode) || S_ISSOCK(kind.st_mode)) {
    SetLastError(DWORD(ESPIPE));
    return nullptr;
  }
  (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  // An open-file-description lock: two jobs of one process exclude each
  // other too. Where locks are not supported, the file is written unlocked.
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(fd, F_OFD_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES)) {
    SetLastError(DWORD(EWOULDBLOCK));
    return nullptr;
  }
  // Devices (/dev/null, /dev/full) have nothing to truncate.
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
    SetLastError(DWORD(errno));
    return nullptr;
  }
  return file;
}

OutFile::OutFile(int fd) : m_fd(fd) { m_buf.reserve(kBufferBytes); }

OutFile::~OutFile() {
  if (m_fd >= 0) ::close(m_fd);
}

bool OutFile::Append(const void* data, std::size_t size) {
  if (m_failed) return false;
  if (m_buf.size() + size > kBufferBytes && !Flush()) return false;
  if (size >= kBufferBytes) {
    iovec iov{const_cast<void*>(data), size};
    return WriteVec(&iov, 1);
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  m_buf.insert(m_buf.end(), bytes, bytes + size);
  return true;
}

bool OutFile::AppendChunk(FOURCC id, const void* data, std::uint32_t size) {
  if (m_failed) return false;
  std::uint8_t header[8];
  dib::PutLE32(header, id);
  dib::PutLE32(header + 4, size);
  static const std::uint8_t pad = 0;
  iovec iov[4];
  int count = 0;
  if (!m_buf.empty()) iov[count++] = {m_buf.data(), m_buf.size()};
  iov[count++] = {header, 8};
  iov[count++] = {const_cast<void*>(data), size};
  if (size & 1) iov[count++] = {const_cast<std::uint8_t*>(&pad), 1};
  return WriteVec(iov, count);
}

bool OutFile::Patch(std::uint64_t offset, const void* data, std::size_t size) {
  if (m_failed) return false;
  if (offset + size > Tell()) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (offset < m_bufStart) {
    const std::size_t onDisk = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_bufStart - offset));
    if (!PWriteAll(bytes, onDisk, offset)) return Failed(errno);
    bytes += onDisk;
    offset += onDisk;
    size -= onDisk;
  }
  if (size > 0) std::memcpy(m_buf.data() + (offset - m_bufStart), bytes, size);
  return true;
}

bool OutFile::PatchLE32(std::uint64_t offset, std::uint32_t value) {
  std::uint8_t b[4];
  dib::PutLE32(b, value);
  return Patch(offset, b, 4);
}

bool OutFile::Flush() {
  if (m_failed) return false;
  if (m_buf.empty()) return true;
  iovec iov{m_buf.data(), m_buf.size()};
  return WriteVec(&iov, 1);
}

void OutFile::Rewind(std::uint64_t offset) {
  m_buf.clear();
  // A device such as /dev/full cannot be truncated; the result only matters
  // for regular files, where it does not fail.
  (void)::ftruncate(m_fd, static_cast<off_t>(offset));
  m_bufStart = offset;
  m_failed = false;
}

bool OutFile::Close() {
  bool ok = Flush();
  if (m_fd >= 0 && ::close(m_fd) != 0) {
    SetLastError(DWORD(errno));
    ok = false;
  }
  m_fd = -1;
  return ok;
}

// Records the OS error for the caller's message (0: a write that made no
// progress, which on a regular file means no room).
bool OutFile::Failed(int error) {
  SetLastError(DWORD(error != 0 ? error : ENOSPC));
  m_failed = true;
  m_buf.clear();
  return false;
}

// Writes the buffer's bytes, then anything else in iov, at m_bufStart, with
// as few calls as the kernel allows. m_bufStart advances by what reached the
// file, so after a failure it is how far the file is intact. Empties the
// buffer either way (iov[0] is the buffer when it is not empty).
bool OutFile::WriteVec(iovec* iov, int count) {
  while (count > 0) {
    ssize_t n = ::pwritev(m_fd, iov, count, static_cast<off_t>(m_bufStart));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Failed(n < 0 ? errno : 0);
    m_bufStart += static_cast<std::uint64_t>(n);
    std::size_t done = static_cast<std::size_t>(n);
    while (count > 0 && done >= iov->iov_len) {
      done -= iov->iov_len;
      ++iov;
      --count;
    }
    if (count > 0) {
      iov->iov_base = static_cast<std::uint8_t*>(iov->iov_base) + done;
      iov->iov_len -= done;
    }
  }
  m_buf.clear();
  return true;
}

bool OutFile::PWriteAll(const std::uint8_t* data, std::size_t size, std::uint64_t offset) {
  while (size > 0) {
    ssize_t n = ::pwrite(m_fd, data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = 0;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

}  // namespace avifile
