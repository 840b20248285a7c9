// The AVI writer's output file: an append buffer over a descriptor, with
// patches of bytes already written. Internal to platform/avifile.
//
// Small pieces (headers, index entries) collect in the buffer; every chunk
// goes to the file in one call together with whatever the buffer holds, so
// that a frame written is on disk even if the process is killed before the
// end. Every write goes to an explicit offset (pwritev), so the descriptor's
// own position never matters. After a failed write every call fails until
// Rewind; Durable() is how far the file is intact. Failures record the OS
// error with SetLastError. One thread at a time.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/wintypes.h"

namespace avifile {

class OutFile {
 public:
  // Creates or replaces the file and holds a lock on it until Close. Truncated
  // only once the lock is ours: a second writer of the same file fails with
  // EWOULDBLOCK as the last error and leaves the first one's frames alone.
  // Null when the file cannot be opened; GetLastError() then tells why.
  [[nodiscard]] static std::unique_ptr<OutFile> Open(const char* path);
  ~OutFile();
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  // The offset the next byte appended lands at.
  std::uint64_t Tell() const { return m_bufStart + m_buf.size(); }
  // How far the file on disk is intact.
  std::uint64_t Durable() const { return m_bufStart; }

  [[nodiscard]] bool Append(const void* data, std::size_t size);
  [[nodiscard]] bool Append(const std::vector<std::uint8_t>& v) { return Append(v.data(), v.size()); }
  // A chunk: header, data and the pad byte of an odd size, handed to the
  // file at once.
  [[nodiscard]] bool AppendChunk(FOURCC id, const void* data, std::uint32_t size);

  // Overwrites bytes already appended (on disk or still buffered).
  [[nodiscard]] bool Patch(std::uint64_t offset, const void* data, std::size_t size);
  [[nodiscard]] bool PatchLE32(std::uint64_t offset, std::uint32_t value);

  [[nodiscard]] bool Flush();
  // Drops everything from offset on, in the buffer and in the file, and
  // accepts writes again.
  void Rewind(std::uint64_t offset);
  // Flushes and closes the descriptor; false if either failed.
  [[nodiscard]] bool Close();

 private:
  explicit OutFile(int fd);

  [[nodiscard]] bool Failed(int error);
  [[nodiscard]] bool WriteVec(iovec* iov, int count);
  [[nodiscard]] bool PWriteAll(const std::uint8_t* data, std::size_t size, std::uint64_t offset);

  int m_fd;
  std::vector<std::uint8_t> m_buf;
  std::uint64_t m_bufStart = 0;
  bool m_failed = false;
};

}  // namespace avifile
