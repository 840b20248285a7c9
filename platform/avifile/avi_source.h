// Reads an AVI file: its stream headers and formats, and for each stream a
// frame index built from the OpenDML indexes, the legacy idx1 or a scan of the
// movi lists. Internal to platform/avifile.
//
// Sizes read from the file are untrusted: every one is checked against its
// parent chunk and the file size, and memory grows only with what the file
// holds (index entries it really contains).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/avifile.h"
#include "platform/avifile/source_table.h"

namespace avifile {

#pragma pack(push, 4)
struct FrameEntry {
  std::uint64_t offset;  // of the sample data
  std::uint32_t size;
};
#pragma pack(pop)
static_assert(sizeof(FrameEntry) == 12);

struct StreamData {
  AVISTREAMINFOA info{};  // dwLength = frames.size()
  std::vector<std::uint8_t> format;
  std::vector<FrameEntry> frames;
  std::vector<std::int32_t> keys;  // positions of key frames, ascending
  std::vector<FrameSource> sources;  // by frame, from the file's table; often empty
};

class AviSource {
 public:
  // AVIERR_FILEOPEN (missing, not a regular file, no permission),
  // AVIERR_NODATA (empty), AVIERR_BADFORMAT (not an AVI), AVIERR_FILEREAD.
  [[nodiscard]] static HRESULT Open(const char* path, std::unique_ptr<AviSource>* source);
  ~AviSource();
  AviSource(const AviSource&) = delete;
  AviSource& operator=(const AviSource&) = delete;

  const std::vector<StreamData>& Streams() const { return m_streams; }

  // Copies sample pos of the stream into buffer with one read. With a null
  // buffer, only *bytes is set.
  [[nodiscard]] HRESULT ReadSample(const StreamData& stream, LONG pos, void* buffer, LONG bufferSize, LONG* bytes) const;

 private:
  friend class Parser;
  explicit AviSource(int fd) : m_fd(fd) {}

  int m_fd;
  std::vector<StreamData> m_streams;
};

}  // namespace avifile
