// Writes one video stream into an AVI file: RIFF 'AVI ' with hdrl, movi and
// idx1, continuing as OpenDML AVI 2.0 (RIFF 'AVIX' parts with ix00 standard
// indexes and an indx super index) past the part size limit. Internal to
// platform/avifile; the handle functions in avifile_api.cpp drive it.
//
// Errors are sticky: after the first failed write every call reports
// AVIERR_FILEWRITE, and Finish still leaves the frames that reached the disk
// as a playable file. A frame is handed to the OS before WriteFrame returns.
// Failures record the OS error with SetLastError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/avifile.h"
#include "platform/avifile/source_table.h"

namespace avifile {

class OutFile;

class AviWriter {
 public:
  // Creates (or replaces) the file, locked against other writers until
  // Finish. AVIERR_FILEOPEN when it cannot, or while another writer holds it;
  // GetLastError() then tells why.
  [[nodiscard]] static HRESULT Create(const char* path, std::unique_ptr<AviWriter>* writer);
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  [[nodiscard]] HRESULT AddStream(const AVISTREAMINFOA& info);
  bool HasStream() const { return m_hasStream; }
  [[nodiscard]] HRESULT SetFormat(LONG pos, const void* format, LONG size);
  [[nodiscard]] HRESULT WriteFrame(LONG start, const void* data, LONG size, DWORD flags);
  [[nodiscard]] HRESULT SetPartLimit(std::uint64_t bytes);
  // Records the source of frame pos, a frame already written; the table goes
  // to the file at Finish.
  [[nodiscard]] HRESULT SetFrameSource(LONG pos, const char* source, const char* time);

  // Hands every byte written so far to the file. Returns the sticky result.
  [[nodiscard]] HRESULT Flush();
  // Writes the indexes and the final sizes and closes the file. Once only;
  // later calls return the first result.
  [[nodiscard]] HRESULT Finish();

  // The stream header as given, with dwLength the frames written so far.
  AVISTREAMINFOA Info() const;
  const std::vector<std::uint8_t>& Format() const { return m_format; }
  std::uint32_t FrameCount() const { return static_cast<std::uint32_t>(m_entries.size()); }

 private:
  struct Entry {
    std::uint64_t offset;  // of the chunk header
    std::uint32_t size;    // of the chunk data
    bool key;
  };
  struct Part {
    std::uint64_t riffStart;  // 'RIFF' fourcc
    std::uint64_t moviStart;  // 'LIST' fourcc of the movi list
    std::uint64_t headerEnd;  // just after the 'movi' fourcc
    std::size_t firstFrame;
    bool closed = false;
    std::uint64_t closeEnd = 0;
    std::uint64_t ixOffset = 0;  // the part's ix00 chunk
    std::uint32_t ixSize = 0;    // including its 8-byte header
  };

  explicit AviWriter(std::unique_ptr<OutFile> out);
  [[nodiscard]] bool WriteHeaders();
  [[nodiscard]] bool StartPart();
  [[nodiscard]] bool ClosePart(bool withStandardIndex);
  [[nodiscard]] bool WriteStandardIndex(Part& part);
  [[nodiscard]] bool WriteLegacyIndex(const Part& part);
  [[nodiscard]] bool PatchHeaders(bool hasIndex);
  [[nodiscard]] bool WriteSourceTable();
  std::uint64_t ClosingBytes(const Part& part, std::size_t frames) const;
  void Recover();
  HRESULT Fail();

  std::unique_ptr<OutFile> m_out;
  HRESULT m_error = AVIERR_OK;
  bool m_finished = false;
  HRESULT m_finishResult = AVIERR_OK;

  bool m_hasStream = false;
  AVISTREAMINFOA m_info{};
  std::vector<std::uint8_t> m_format;
  FOURCC m_chunkId = 0;
  bool m_uncompressed = true;

  std::uint64_t m_partLimit = 1ull << 30;
  bool m_headersWritten = false;
  std::uint64_t m_avihData = 0;  // offsets of chunk data, for the final patches
  std::uint64_t m_strhData = 0;
  std::uint64_t m_indxChunk = 0;  // fourcc of the reserved super index
  std::uint64_t m_odmlChunk = 0;  // fourcc of the reserved odml list
  std::vector<Part> m_parts;
  std::vector<Entry> m_entries;
  std::uint32_t m_largestChunk = 0;
  std::vector<FrameSource> m_sources;  // by frame; empty until one is set
};

}  // namespace avifile
