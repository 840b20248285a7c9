// Which way up a picture file says its pixels are meant to be seen: the
// Orientation tag (1-8) of a TIFF file's first directory, or of the EXIF
// block a JPEG (APP1) or PNG (eXIf) carries. Internal to platform/gdip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gdip/bitmap.h"

namespace gdip {

// Reads `length` bytes at `offset` into out; false past the end.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  [[nodiscard]] virtual bool Read(std::uint64_t offset, void* out, std::size_t length) const = 0;
};

class MemoryBytes final : public ByteSource {
 public:
  MemoryBytes(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}
  bool Read(std::uint64_t offset, void* out, std::size_t length) const override;

 private:
  const BYTE* m_data;
  std::size_t m_size;
};

// 1 (as stored) unless the file names another of the eight orientations.
// Bounded walk: malformed or missing data gives 1.
int FileOrientation(const ByteSource& bytes);
// The EXIF DateTimeOriginal of a JPEG, PNG or TIFF file with its
// SubSecTimeOriginal as nine digits: "YYYY:MM:DD HH:MM:SS.nnnnnnnnn", or
// empty when it has none.
std::string FileCaptureTime(const ByteSource& bytes);

}  // namespace gdip
